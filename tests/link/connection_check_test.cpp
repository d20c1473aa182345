#include "link/connection_check.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "link/link.h"
#include "link/link_error.h"
#include "link/serial_port.h"
#include "link/sim_port.h"
#include "link/texts.h"
#include "support/recording_frontend.h"
#include "support/temp_folder.h"

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

namespace vertolin {
namespace {

SettingsFields GoodFields() {
  SettingsFields fields;
  fields.xRatio = "0.01";
  fields.yRatio = "0,02";
  fields.zRatio = "-0,005";
  fields.delay = "1500";
  fields.baud = "115200";
  fields.port = "com3";
  fields.optimised = true;
  return fields;
}

TEST(SettingsFieldsReading, GivesTheWholeProfileWithEitherSeparator) {
  const FieldsReading reading = ReadSettingsFields(GoodFields());
  ASSERT_TRUE(reading.ok()) << reading.message;
  EXPECT_DOUBLE_EQ(reading.profile.xRatio, 0.01);
  EXPECT_DOUBLE_EQ(reading.profile.yRatio, 0.02);
  EXPECT_DOUBLE_EQ(reading.profile.zRatio, -0.005);  // a reversed axis is allowed
  EXPECT_EQ(reading.profile.idleDelay, 1500);
  EXPECT_EQ(reading.profile.baud, 115200);
  EXPECT_EQ(reading.profile.port, "com3");
  EXPECT_EQ(reading.profile.optim, 1);

  SettingsFields plain = GoodFields();
  plain.optimised = false;
  EXPECT_EQ(ReadSettingsFields(plain).profile.optim, 0);
}

TEST(SettingsFieldsReading, RefusesTheFirstBadFieldByItsLabel) {
  struct Case {
    void (*spoil)(SettingsFields&);
    SettingsField field;
    const char* message;
  };
  const Case cases[] = {
      {[](SettingsFields& f) { f.xRatio = "abc"; }, SettingsField::XRatio,
       "Значение в поле «X:» не является числом."},
      {[](SettingsFields& f) { f.yRatio = "0,0"; }, SettingsField::YRatio,
       "Значение в поле «Y:» не может быть равно нулю."},
      {[](SettingsFields& f) { f.zRatio = ""; }, SettingsField::ZRatio,
       "Значение в поле «Z:» не является числом."},
      {[](SettingsFields& f) { f.zRatio = "1,2,3"; }, SettingsField::ZRatio,
       "Значение в поле «Z:» не является числом."},
      {[](SettingsFields& f) { f.delay = "20o0"; }, SettingsField::Delay,
       "Значение в поле «микросекунд» не является числом."},
      {[](SettingsFields& f) { f.delay = "3000000000"; }, SettingsField::Delay,
       "Значение в поле «микросекунд» выходит за допустимые пределы."},
      {[](SettingsFields& f) { f.delay = "-5"; }, SettingsField::Delay,
       "Значение в поле «микросекунд» должно быть больше нуля."},
      {[](SettingsFields& f) { f.delay = "0,0"; }, SettingsField::Delay,
       "Значение в поле «микросекунд» должно быть больше нуля."},
      {[](SettingsFields& f) { f.baud = "0"; }, SettingsField::Baud,
       "Значение в поле «бод» должно быть больше нуля."},
      {[](SettingsFields& f) { f.baud = "-9600"; }, SettingsField::Baud,
       "Значение в поле «бод» должно быть больше нуля."},
      {[](SettingsFields& f) { f.baud = "быстро"; }, SettingsField::Baud,
       "Значение в поле «бод» не является числом."},
      // Several bad fields: the first in the window's order is named.
      {[](SettingsFields& f) {
         f.baud = "x";
         f.yRatio = "y";
       },
       SettingsField::YRatio, "Значение в поле «Y:» не является числом."},
  };
  for (const Case& c : cases) {
    SettingsFields fields = GoodFields();
    c.spoil(fields);
    const FieldsReading reading = ReadSettingsFields(fields);
    EXPECT_FALSE(reading.ok()) << c.message;
    EXPECT_EQ(reading.badField, c.field) << c.message;
    EXPECT_EQ(reading.message, std::string(c.message) + "\r\nНастройки не сохранены.");
  }
}

#ifndef _WIN32
TEST(PortDiscovery, ListsSerialDevicesBoardsFirstInNumericOrder) {
  test::TempFolder dev;
  for (const char* name : {"ttyS10", "ttyS2", "ttyUSB1", "ttyACM0", "ttyUSB0", "tty0", "ttyS",
                           "ttySAC0", "ttyUSB0x", "null"}) {
    std::ofstream(dev.path() / name).put('\n');
  }
  const std::vector<std::string> expected = {
      (dev.path() / "ttyUSB0").string(), (dev.path() / "ttyUSB1").string(),
      (dev.path() / "ttyACM0").string(), (dev.path() / "ttyS2").string(),
      (dev.path() / "ttyS10").string()};
  EXPECT_EQ(SerialDevicesIn(dev.path()), expected);
  EXPECT_TRUE(SerialDevicesIn(dev.path() / "missing").empty());
}
#endif

// A port that notes when it is closed.
class NotedPort : public SerialPort {
 public:
  explicit NotedPort(bool& closed) : closed_(closed) {}
  ~NotedPort() override { closed_ = true; }
  void Write(std::string_view) override {}
  bool WriteChecked(std::string_view, std::chrono::milliseconds) override { return true; }
  int ReadByte() override { return -1; }

 private:
  bool& closed_;
};

class ReconnectTest : public ::testing::Test {
 protected:
  ReconnectTest() {
    // A second per look keeps the handshake's waits short.
    link_.wholeSeconds = [s = std::int64_t{0}]() mutable { return s++; };
  }

  std::string MissingPath() const { return (folder_.path() / "ttyUSB7").string(); }

  test::TempFolder folder_;
  test::RecordingFrontend frontend_;
  Link link_{frontend_};
};

TEST_F(ReconnectTest, AnsweringBoardIsReportedAndStopFlagCleared) {
  bool oldClosed = false;
  link_.Attach(std::make_unique<NotedPort>(oldClosed));
  link_.RequestStop();

  EXPECT_EQ(Reconnect(link_, "sim:M", "9600", true), ReconnectResult::Answered);
  EXPECT_TRUE(oldClosed);
  EXPECT_FALSE(link_.StopRequested());
  auto* port = dynamic_cast<SimPort*>(link_.port());
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->board().kind(), 'M');
  ASSERT_FALSE(port->board().Record().empty());
  EXPECT_EQ(port->board().Record().back().text, "V;");
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Проверка соединения");
  EXPECT_EQ(frontend_.messages[0].text, "Com-порт открыт");
}

TEST_F(ReconnectTest, MissingPortShowsItsOwnMessageThenTheSystemText) {
  bool oldClosed = false;
  link_.Attach(std::make_unique<NotedPort>(oldClosed));

  EXPECT_EQ(Reconnect(link_, MissingPath(), "9600", true), ReconnectResult::PortFailed);
  // The old port is gone too: the system is without a port now.
  EXPECT_TRUE(oldClosed);
  EXPECT_FALSE(link_.PortOpen());
  ASSERT_EQ(frontend_.messages.size(), 2u);
  EXPECT_EQ(frontend_.messages[0].title, "Vertolin");
  EXPECT_EQ(frontend_.messages[0].text, PortNotFoundText(MissingPath()));
  EXPECT_NE(frontend_.messages[0].text.find(" не найден."), std::string::npos);
  EXPECT_EQ(frontend_.messages[1].title, "Проверка соединения");
  EXPECT_FALSE(SystemErrorText(kNotFoundError).empty());
  EXPECT_EQ(frontend_.messages[1].text,
            "Ошибка открытия Com-порта\r\n" + SystemErrorText(kNotFoundError));
}

TEST_F(ReconnectTest, BadSpeedLeavesTheConnectionInUse) {
  bool oldClosed = false;
  link_.Attach(std::make_unique<NotedPort>(oldClosed));
  SerialPort* before = link_.port();

  EXPECT_EQ(Reconnect(link_, "sim:M", "9600x", true), ReconnectResult::Refused);
  EXPECT_FALSE(oldClosed);
  EXPECT_EQ(link_.port(), before);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
  EXPECT_NE(frontend_.messages[0].text.find("«бод»"), std::string::npos);
}

#ifndef _WIN32
// The far end of a pseudo-terminal: a device that opens and says nothing.
class PseudoTerminal {
 public:
  PseudoTerminal() : master_(::posix_openpt(O_RDWR | O_NOCTTY)) {
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
      if (const char* name = ::ptsname(master_)) slave_ = name;
    }
  }
  ~PseudoTerminal() { HangUp(); }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  const std::string& slave() const { return slave_; }
  void HangUp() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_;
  std::string slave_;
};

TEST_F(ReconnectTest, SilentDeviceIsReportedAsNotAnswering) {
  PseudoTerminal terminal;
  ASSERT_FALSE(terminal.slave().empty());

  EXPECT_EQ(Reconnect(link_, terminal.slave(), "9600", true), ReconnectResult::NoAnswer);
  EXPECT_TRUE(link_.PortOpen());  // the port stays open all the same
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Проверка соединения");
  EXPECT_EQ(frontend_.messages[0].text,
            "Ардуино не отвечает. Возможные причины:\r\n"
            "   - прошивка устарела\r\n"
            "   - установлена неверная скорость COM-порта");
}

TEST_F(ReconnectTest, LineLostDuringTheCheckRaisesLinkError) {
  PseudoTerminal terminal;
  ASSERT_FALSE(terminal.slave().empty());
  frontend_.onEvents = [&terminal] { terminal.HangUp(); };

  EXPECT_THROW(Reconnect(link_, terminal.slave(), "9600", true), LinkError);
  EXPECT_TRUE(link_.StopRequested());
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].text, texts::kReadError);
}
#endif

}  // namespace
}  // namespace vertolin
