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
  EXPECT_EQ(frontend_.messages[0].text, "Передаточное число оси X (мм на шаг)" + in +
                                            "abc») не является числом.\r\n"
                                            "Используется значение по умолчанию: 0.005.\r\n"
                                            "Передаточное число оси Z (мм на шаг)" +
                                            in +
                                            "0») равно нулю.\r\n"
                                            "Используется значение по умолчанию: 0.005.\r\n"
                                            "Задержка между шагами (микросекунд)" +
                                            in +
                                            "2147483648») не является числом.\r\n"
                                            "Используется значение по умолчанию: 2000.\r\n"
                                            "Скорость порта (бод)" +
                                            in +
                                            "fast») не является числом.\r\n"
                                            "Используется значение по умолчанию: 9600.");
}

// The protocol and the G-code keys: read as given, any case for Protocol, the
// laser's power following S max unless set, and each bad value replaced by
// its default with the key named (also what --set refuses).
TEST_F(MachineProfileTest, ProtocolAndGcodeKeys) {
  MachineProfile profile = Load("[CNC]\r\n");
  EXPECT_EQ(profile.protocol, BoardProtocol::Native);
  EXPECT_EQ(profile.grbl.LaserPower(), 1000);
  EXPECT_EQ(profile.grbl.spindleSpeed, 0);

  profile = Load(
      "[CNC]\r\nProtocol=GRBL\r\ngrbl_S_max=255\r\ngrbl_raster_feed=1500,5\r\n"
      "grbl_spindle_speed=12000\r\ngrbl_probe_depth=2.5\r\ngrbl_probe_feed=50\r\n");
  EXPECT_EQ(profile.protocol, BoardProtocol::Grbl);
  EXPECT_EQ(profile.grbl.maxPower, 255);
  EXPECT_EQ(profile.grbl.LaserPower(), 255);
  EXPECT_EQ(profile.grbl.rasterFeed, 1500.5);
  EXPECT_EQ(profile.grbl.spindleSpeed, 12000);
  EXPECT_EQ(profile.grbl.probeDepth, 2.5);
  EXPECT_EQ(profile.grbl.probeFeed, 50);
  EXPECT_TRUE(frontend_.messages.empty());

  struct Bad {
    const char* key;
    const char* value;
  };
  const Bad bad[] = {{"Protocol", "gcode"},         {"grbl_S_max", "0"},
                     {"grbl_laser_power", "-1"},    {"grbl_raster_feed", "0"},
                     {"grbl_spindle_speed", "1.5"}, {"grbl_probe_depth", "deep"},
                     {"grbl_probe_feed", "-100"}};
  for (const Bad& b : bad) {
    frontend_.messages.clear();
    profile = Load(std::string("[CNC]\r\n") + b.key + "=" + b.value + "\r\n");
    EXPECT_EQ(profile.protocol, BoardProtocol::Native) << b.key;
    EXPECT_EQ(profile.grbl.maxPower, 1000) << b.key;
    EXPECT_EQ(profile.grbl.rasterFeed, 1000) << b.key;
    EXPECT_EQ(profile.grbl.probeDepth, 5) << b.key;
    EXPECT_EQ(profile.grbl.LaserPower(), 1000) << b.key;
    ASSERT_EQ(frontend_.messages.size(), 1u) << b.key;
    EXPECT_NE(frontend_.messages[0].text.find(std::string("ключа ") + b.key), std::string::npos)
        << frontend_.messages[0].text;
    EXPECT_TRUE(ProfileValueProblem(b.key, b.value)) << b.key;
  }
  EXPECT_FALSE(ProfileValueProblem("grbl_laser_power", ""));  // none: S max
  EXPECT_FALSE(ProfileValueProblem("protocol", "Native"));
}

}  // namespace
}  // namespace vertolin
