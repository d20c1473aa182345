#include "settings/machine_profile.h"

#include <gtest/gtest.h>

#include "settings/settings_store.h"
#include "app/app_test_support.h"

namespace vertolin {
namespace {

using test::RecordingFrontend;
using test::WriteBytes;

class MachineProfileTest : public test::TempFolderTest {
 protected:
  MachineProfile Load(std::string_view fileBytes) {
    WriteBytes(File(), fileBytes);
    return LoadMachineProfile(SettingsStore(File(), frontend_), frontend_);
  }

  std::filesystem::path File() const { return folder_ / "cnc.ini"; }

  RecordingFrontend frontend_;
};

TEST_F(MachineProfileTest, NoFileGivesDefaults) {
  const MachineProfile profile = LoadMachineProfile(SettingsStore(File(), frontend_), frontend_);
  EXPECT_EQ(profile.xRatio, 0.005);
  EXPECT_EQ(profile.yRatio, 0.005);
  EXPECT_EQ(profile.zRatio, 0.005);
  EXPECT_EQ(profile.idleDelay, 2000);
  EXPECT_EQ(profile.optim, 0);
  EXPECT_EQ(profile.port, "com1");
  EXPECT_EQ(profile.baud, 9600);
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_FALSE(std::filesystem::exists(File()));
}

TEST_F(MachineProfileTest, ReadsStoredValues) {
  const MachineProfile profile = Load(
      "[CNC]\r\nSM_X_ratio=0,01\r\nSM_Y_ratio=0.01\r\nSM_Z_ratio=-0,0025\r\n"
      "SM_delay=1500.5\r\nSM_optim=1\r\nport=COM4\r\nSPEED=115200\r\n");
  EXPECT_EQ(profile.xRatio, 0.01);
  EXPECT_EQ(profile.yRatio, 0.01);
  EXPECT_EQ(profile.zRatio, -0.0025);  // a reversed axis
  EXPECT_EQ(profile.idleDelay, 1500);  // halves go to even
  EXPECT_TRUE(profile.Optimised());
  EXPECT_EQ(profile.port, "COM4");
  EXPECT_EQ(profile.baud, 115200);
  EXPECT_TRUE(frontend_.messages.empty());
}

TEST_F(MachineProfileTest, ZeroOrEmptySpeedMeans9600) {
  EXPECT_EQ(Load("[CNC]\r\nspeed=0\r\n").baud, 9600);
  EXPECT_EQ(Load("[CNC]\r\nspeed=\r\n").baud, 9600);
  EXPECT_TRUE(frontend_.messages.empty());
}

TEST_F(MachineProfileTest, BadValuesFallBackWithOneMessage) {
  const MachineProfile profile = Load(
      "[CNC]\r\nSM_X_ratio=abc\r\nSM_Y_ratio=0,02\r\nSM_Z_ratio=0\r\n"
      "SM_delay=2147483648\r\nSM_optim=1\r\nspeed=fast\r\n");
  EXPECT_EQ(profile.xRatio, 0.005);
  EXPECT_EQ(profile.yRatio, 0.02);
  EXPECT_EQ(profile.zRatio, 0.005);
  EXPECT_EQ(profile.idleDelay, 2000);
  EXPECT_EQ(profile.optim, 1);
  EXPECT_EQ(profile.baud, 9600);

  const std::u8string path8 = File().u8string();
  const std::string in = " в файле " + std::string(path8.begin(), path8.end()) + " («";
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
  EXPECT_EQ(frontend_.messages[0].text, "Значение ключа SM_X_ratio" + in +
                                            "abc») не является числом.\r\n"
                                            "Используется значение по умолчанию: 0.005.\r\n"
                                            "Значение ключа SM_Z_ratio" +
                                            in +
                                            "0») равно нулю.\r\n"
                                            "Используется значение по умолчанию: 0.005.\r\n"
                                            "Значение ключа SM_delay" +
                                            in +
                                            "2147483648») не является числом.\r\n"
                                            "Используется значение по умолчанию: 2000.\r\n"
                                            "Значение ключа speed" +
                                            in +
                                            "fast») не является числом.\r\n"
                                            "Используется значение по умолчанию: 9600.");
}

}  // namespace
}  // namespace vertolin
