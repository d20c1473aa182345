#include "modes/positioning/positioning_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "settings/settings_store.h"
#include "link/link.h"
#include "link/sim_port.h"
#include "link/texts.h"
#include "link/window_link.h"
#include "support/recording_frontend.h"
#include "support/scripted_port.h"
#include "support/temp_folder.h"

namespace vertolin {
namespace {

using Lines = std::vector<std::string>;

// A scripted port whose far end answers the identification query with a
// fixed reply, and every later command with "T".
class ReplyingPort : public test::ScriptedPort {
 public:
  ReplyingPort(Shared& shared, std::string reply)
      : ScriptedPort(shared), reply_(std::move(reply)) {}
  void Write(std::string_view bytes) override {
    ScriptedPort::Write(bytes);
    if (bytes == "V;") Script(reply_);
  }

 private:
  std::string reply_;
};

class PositioningWindowTest : public ::testing::Test {
 protected:
  PositioningWindowTest() {
    link_.wholeSeconds = [s = std::int64_t{0}]() mutable { return s++; };
  }

  SimulatedBoard& UseBoard(char kind, BoardFaults faults = {}) {
    auto port = std::make_unique<SimPort>(SimulatedBoard(kind, std::move(faults)));
    SimulatedBoard& board = port->board();
    link_.Attach(std::move(port));
    return board;
  }

  void UseReply(std::string reply) {
    link_.Attach(std::make_unique<ReplyingPort>(script_, std::move(reply)));
  }

  // Everything the board took after the identification query.
  static Lines Moves(const SimulatedBoard& board) {
    Lines lines;
    for (const auto& command : board.Record()) {
      if (command.text != "V;") lines.push_back(command.text);
    }
    return lines;
  }

  template <class T>
  T* Find(const char* name) {
    T* found = window_.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QString Text(const char* name) { return Find<QLabel>(name)->text(); }
  void Click(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
  void Fill(const char* name, const char* text) {
    Find<QLineEdit>(name)->setText(QString::fromUtf8(text));
  }
  void MoveBy(const char* x, const char* y, const char* z) {
    Fill("tx", x);
    Fill("ty", y);
    Fill("tz", z);
    Click("Command3");
  }

  void Open() {
    window_.Load();
    window_.show();
  }
  void Press(int key, const QString& text = {}, bool autoRepeat = false, QWidget* to = nullptr) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text, autoRepeat);
    QApplication::sendEvent(to != nullptr ? to : &window_, &press);
  }

  // The six controls keyboard mode disables.
  std::vector<bool> Enabled() {
    std::vector<bool> enabled;
    for (const char* name : {"tx", "ty", "tz", "Text1"}) {
      enabled.push_back(Find<QLineEdit>(name)->isEnabled());
    }
    for (const char* name : {"Command3", "Command9"}) {
      enabled.push_back(Find<QPushButton>(name)->isEnabled());
    }
    return enabled;
  }

  test::TempFolder folder_;
  test::RecordingFrontend frontend_;
  SettingsStore settings_{folder_.path() / "cnc.ini", frontend_};
  Link link_{frontend_};
  test::ScriptedPort::Shared script_;
  PositioningWindow window_{link_, settings_};
};

const std::vector<bool> kAllEnabled(6, true);
const std::vector<bool> kAllDisabled(6, false);

TEST_F(PositioningWindowTest, OpensWithItsDesignCaptions) {
  EXPECT_EQ(window_.objectName(), QStringLiteral("Form6"));
  EXPECT_EQ(Text("Label19"), QStringLiteral("Поехали"));
  EXPECT_EQ(Text("Label4"), QStringLiteral("Ошибка открытия Com-порта"));
  EXPECT_EQ(Find<QLineEdit>("tz")->toolTip(), QStringLiteral("Перемещение по оси Z, мм"));
}

TEST_F(PositioningWindowTest, AnyKindPassesAndChoosesTheMoveText) {
  const std::pair<char, const char*> kinds[] = {{'M', "200,-500,600,2000;"},
                                                {'P', "200,-500,,,2000;"},
                                                {'S', "200,-500,,2000;"},
                                                {'O', "200,-500,,2000;"},
                                                {'B', "200,-500,,2000;"}};
  for (const auto& [kind, expected] : kinds) {
    SCOPED_TRACE(kind);
    SimulatedBoard& board = UseBoard(kind);
    Open();
    EXPECT_EQ(Text("Label4"), QStringLiteral("Com-порт открыт"));
    EXPECT_EQ(window_.windowLink().kindLetter(), kind);
    EXPECT_TRUE(window_.windowLink().Ready());
    EXPECT_EQ(Enabled(), kAllEnabled);
    MoveBy("1", "-2,5", "3");
    EXPECT_EQ(Moves(board), Lines{expected});
    EXPECT_TRUE(window_.windowLink().Ready());
    window_.reject();
  }
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_TRUE(frontend_.firmwareWarnings.empty());
}

TEST_F(PositioningWindowTest, FieldWithoutANumberNamesItsAxisAndNothingMoves) {
  SimulatedBoard& board = UseBoard('M');
  Open();
  MoveBy("abc", "1", "1");
  MoveBy("1", "", "1");
  MoveBy("1", "1", "-");
  ASSERT_EQ(frontend_.messages.size(), 3u);
  EXPECT_EQ(frontend_.messages[0].text, "Введите число в поле для перемещения по 1-ой оси!");
  EXPECT_EQ(frontend_.messages[1].text, "Введите число в поле для перемещения по 2-ой оси!");
  EXPECT_EQ(frontend_.messages[2].text, "Введите число в поле для перемещения по 3-ей оси!");
  for (const auto& message : frontend_.messages) EXPECT_EQ(message.title, "Ошибка");
  EXPECT_TRUE(Moves(board).empty());
}

TEST_F(PositioningWindowTest, FieldsTurnATypedPointIntoAComma) {
  QLineEdit* tx = Find<QLineEdit>("tx");
  QTest::keyClicks(tx, "1.5");
  EXPECT_EQ(tx->text(), QStringLiteral("1,5"));
}

TEST_F(PositioningWindowTest, HalfMillimetreStepOnTheLeftArrow) {
  settings_.WriteSetting("hand_step", "0,5");
  SimulatedBoard& milling = UseBoard('M');
  Open();
  EXPECT_EQ(Find<QLineEdit>("Text1")->text(), QStringLiteral("0,5"));
  Click("Command1");
  Press(Qt::Key_Left);
  EXPECT_EQ(Moves(milling), Lines{"100,0,0,2000;"});
  window_.reject();

  SimulatedBoard& laser = UseBoard('P');
  Open();
  Click("Command1");
  Press(Qt::Key_Left);
  EXPECT_EQ(Moves(laser), Lines{"100,0,,,2000;"});
}

TEST_F(PositioningWindowTest, KeyTableInKeyboardModeOnly) {
  SimulatedBoard& board = UseBoard('M');
  Open();
  Press(Qt::Key_Q, QStringLiteral("q"));
  Press(Qt::Key_Left);
  EXPECT_TRUE(Moves(board).empty());

  link_.RequestStop();
  Click("Command1");
  EXPECT_TRUE(window_.KeyboardMode());
  EXPECT_FALSE(link_.StopRequested());
  EXPECT_EQ(Enabled(), kAllDisabled);
  EXPECT_EQ(Text("Label19"), QStringLiteral("Стоп"));

  Press(Qt::Key_Left);
  Press(Qt::Key_Right);
  Press(Qt::Key_Up);
  Press(Qt::Key_Down);
  Press(Qt::Key_Q, QStringLiteral("Q"));
  Press(Qt::Key_A, QStringLiteral("a"));
  Press(0x419, QStringLiteral("й"));  // the Q key on a Russian layout
  Press(0x424, QStringLiteral("Ф"));  // the A key on a Russian layout
  Press(Qt::Key_W, QStringLiteral("w"));
  EXPECT_EQ(Moves(board),
            (Lines{"200,0,0,2000;", "-200,0,0,2000;", "0,-200,0,2000;", "0,200,0,2000;",
                   "0,0,200,2000;", "0,0,-200,2000;", "0,0,200,2000;", "0,0,-200,2000;"}));

  // The caption label toggles as the button does.
  QTest::mouseClick(Find<QLabel>("Label19"), Qt::LeftButton);
  EXPECT_FALSE(window_.KeyboardMode());
  EXPECT_EQ(Enabled(), kAllEnabled);
  EXPECT_EQ(Text("Label19"), QStringLiteral("Поехали"));
  Press(Qt::Key_Q, QStringLiteral("q"));
  EXPECT_EQ(Moves(board).size(), 8u);
}

TEST_F(PositioningWindowTest, KeysReachTheWindowBeforeItsControls) {
  SimulatedBoard& board = UseBoard('M');
  Open();
  Click("Command1");
  // An arrow sent to the focused button moves the machine once instead of
  // moving the focus.
  Press(Qt::Key_Down, {}, false, Find<QPushButton>("Command1"));
  EXPECT_EQ(Moves(board), Lines{"0,200,0,2000;"});
}

TEST_F(PositioningWindowTest, HeldKeyRepeatsAndStepIsReadAtEachPress) {
  SimulatedBoard& board = UseBoard('M');
  Open();
  Fill("Text1", "0.25");
  Click("Command1");
  for (int i = 0; i < 3; ++i) Press(Qt::Key_Right, {}, true);
  EXPECT_EQ(Moves(board), Lines(3, "-50,0,0,2000;"));

  // A step that is no number moves nothing and says nothing.
  Click("Command1");
  Fill("Text1", "abc");
  Click("Command1");
  Press(Qt::Key_Right);
  EXPECT_EQ(Moves(board).size(), 3u);
  EXPECT_TRUE(frontend_.messages.empty());
}

TEST_F(PositioningWindowTest, PressesDuringAMoveAreDropped) {
  UseBoard('M');
  Open();
  BoardFaults late;
  late.replyDelay = std::chrono::milliseconds(80);
  SimulatedBoard& board = UseBoard('M', late);
  Click("Command1");
  int presses = 0;
  int runs = 0;
  frontend_.onEvents = [&] {
    ++runs;
    // Ten repeats spread over the polls of the one wait.
    for (int i = 0; i < 5 && presses < 10; ++i, ++presses) {
      if (presses % 2 == 0) {
        Press(Qt::Key_Left, {}, true);
      } else {
        Press(Qt::Key_Q, QStringLiteral("q"), true);
      }
    }
  };
  Press(Qt::Key_Up);
  EXPECT_EQ(presses, 10);
  EXPECT_GE(runs, 2);
  EXPECT_EQ(Moves(board), Lines{"0,-200,0,2000;"});
  EXPECT_TRUE(window_.windowLink().Ready());
  frontend_.onEvents = nullptr;
  Press(Qt::Key_Left);
  EXPECT_EQ(Moves(board).size(), 2u);
}

TEST_F(PositioningWindowTest, StopSetsTheFlagAndTheNextMoveClearsIt) {
  SimulatedBoard& board = UseBoard('S');
  Open();
  Click("Command9");
  EXPECT_TRUE(link_.StopRequested());
  MoveBy("0", "0,005", "0");
  EXPECT_EQ(Moves(board), Lines{"0,1,,2000;"});
  EXPECT_FALSE(link_.StopRequested());
}

TEST_F(PositioningWindowTest, WithoutAPortTheKeysRefuse) {
  Open();
  EXPECT_EQ(Text("Label4"), QStringLiteral("Ошибка открытия Com-порта"));
  EXPECT_FALSE(Find<QPushButton>("Command3")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>("Command9")->isEnabled());
  EXPECT_FALSE(window_.windowLink().Ready());
  Click("Command1");
  QTest::mouseClick(Find<QLabel>("Label19"), Qt::LeftButton);
  ASSERT_EQ(frontend_.messages.size(), 2u);
  for (const auto& message : frontend_.messages) {
    EXPECT_EQ(message.title, "Ошибка");
    EXPECT_EQ(message.text, "Нет связи с Com-портом\r\nПроверьте соединение с Ардуино");
  }
  EXPECT_FALSE(window_.KeyboardMode());
  EXPECT_TRUE(Find<QLineEdit>("Text1")->isEnabled());
  EXPECT_EQ(Text("Label19"), QStringLiteral("Поехали"));
  EXPECT_TRUE(frontend_.firmwareWarnings.empty());
}

TEST_F(PositioningWindowTest, SilentBoardAsksForAFirmwareUpdate) {
  BoardFaults silent;
  silent.silent = true;
  SimulatedBoard& board = UseBoard('M', silent);
  Open();
  EXPECT_EQ(Text("Label4"), QStringLiteral("Обновите прошивку"));
  EXPECT_EQ(frontend_.firmwareWarnings, Lines{std::string(texts::kWarningOutdated)});
  EXPECT_FALSE(Find<QPushButton>("Command3")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>("Command9")->isEnabled());

  // Keyboard mode can be entered, but nothing moves; leaving it does not
  // bring back the buttons the handshake disabled.
  Click("Command1");
  EXPECT_TRUE(window_.KeyboardMode());
  Press(Qt::Key_Left);
  EXPECT_TRUE(Moves(board).empty());
  Click("Command1");
  EXPECT_TRUE(Find<QLineEdit>("tx")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>("Command3")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>("Command9")->isEnabled());
}

TEST_F(PositioningWindowTest, ReplyTAloneIsWrongFirmware) {
  UseReply("T\r\n");
  Open();
  EXPECT_EQ(Text("Label4"), QStringLiteral("Некорректная прошивка"));
  EXPECT_EQ(frontend_.firmwareWarnings, Lines{""});  // the warning's default text
  EXPECT_FALSE(Find<QPushButton>("Command3")->isEnabled());
  EXPECT_EQ(window_.windowLink().kindLetter(), 0);
}

TEST_F(PositioningWindowTest, UnknownKindOpensButRefusesToMove) {
  SimulatedBoard& board = UseBoard('X');
  Open();
  EXPECT_EQ(Text("Label4"), QStringLiteral("Com-порт открыт"));
  EXPECT_EQ(window_.windowLink().kindLetter(), 'X');
  MoveBy("1", "1", "1");
  EXPECT_TRUE(Moves(board).empty());
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_TRUE(window_.windowLink().Ready());
  EXPECT_TRUE(Find<QPushButton>("Command3")->isEnabled());
}

TEST_F(PositioningWindowTest, ReadFailuresAreShownAndTheWindowStaysOpen) {
  // During the handshake: the design caption stays, nothing can move.
  script_.reads = {-2};
  UseReply("MT");
  Open();
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].text, texts::kReadError);
  EXPECT_EQ(Text("Label4"), QStringLiteral("Ошибка открытия Com-порта"));
  EXPECT_FALSE(Find<QPushButton>("Command3")->isEnabled());
  EXPECT_TRUE(frontend_.firmwareWarnings.empty());
  window_.reject();

  // During a move: the message, then the window is ready again.
  UseReply("MT");
  Open();
  ASSERT_TRUE(window_.windowLink().Ready());
  script_.reads = {-2};
  MoveBy("1", "0", "0");
  EXPECT_EQ(frontend_.messages.size(), 2u);
  EXPECT_TRUE(window_.windowLink().Ready());
  script_.ackEveryWrite = true;
  MoveBy("0", "1", "0");
  EXPECT_EQ(script_.written.back(), "0,200,0,2000;");
  EXPECT_EQ(frontend_.messages.size(), 2u);
}

TEST_F(PositioningWindowTest, HandStepIsReadAtLoadAndWrittenOnceAtClose) {
  UseBoard('M');
  Open();
  EXPECT_EQ(Find<QLineEdit>("Text1")->text(), QStringLiteral("1"));
  Fill("Text1", "2,5");
  window_.close();
  EXPECT_FALSE(window_.isVisible());
  EXPECT_EQ(settings_.ReadSetting("hand_step", ""), "2,5");

  settings_.WriteSetting("hand_step", "7");
  window_.reject();  // a second close of the same opening writes nothing
  EXPECT_EQ(settings_.ReadSetting("hand_step", ""), "7");
  Open();
  EXPECT_EQ(Find<QLineEdit>("Text1")->text(), QStringLiteral("7"));
}

TEST_F(PositioningWindowTest, ClosingLeavesKeyboardModeAndEndsAWaitingMove) {
  UseBoard('M');
  Open();
  BoardFaults silent;
  silent.silent = true;
  SimulatedBoard& deaf = UseBoard('M', silent);
  Click("Command1");
  frontend_.onEvents = [&] { window_.reject(); };
  Press(Qt::Key_Left);  // returns although the board never answers
  frontend_.onEvents = nullptr;
  EXPECT_EQ(Moves(deaf), Lines{"200,0,0,2000;"});
  EXPECT_FALSE(window_.KeyboardMode());
  EXPECT_EQ(settings_.ReadSetting("hand_step", ""), "1");

  // Opened again, it starts out of keyboard mode and moves as before.
  SimulatedBoard& board = UseBoard('M');
  Open();
  EXPECT_EQ(Enabled(), kAllEnabled);
  EXPECT_EQ(Text("Label19"), QStringLiteral("Поехали"));
  MoveBy("0", "0", "1");
  EXPECT_EQ(Moves(board), Lines{"0,0,200,2000;"});
}

}  // namespace
}  // namespace vertolin
