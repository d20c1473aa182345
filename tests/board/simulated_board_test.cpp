#include "board/simulated_board.h"

#include <gtest/gtest.h>

#include <random>

namespace vertolin {
namespace {

using namespace std::chrono_literals;
using namespace std::string_view_literals;
using Clock = SimulatedBoard::Clock;
using Position = std::array<std::int64_t, 3>;

const Clock::time_point kStart = Clock::time_point{} + 1h;

template <typename Change>
BoardFaults With(Change change) {
  BoardFaults faults;
  change(faults);
  return faults;
}

// Sends one line and collects what is due at the same moment.
std::string Exchange(SimulatedBoard& board, std::string_view line, Clock::time_point at = kStart) {
  board.Receive(line, at);
  return board.TakeOutput(at);
}

TEST(SimulatedBoardTest, IdentifiesItsKindAndRecordsTheQuestion) {
  for (const char kind : {'M', 'S', 'P', 'B', 'O', 'Q'}) {
    SimulatedBoard board(kind);
    EXPECT_EQ(Exchange(board, "V;"), (std::string{kind, 'T'}));
    ASSERT_EQ(board.Record().size(), 1u);
    EXPECT_EQ(board.Record()[0].text, "V;");
    EXPECT_EQ(board.Position(), (Position{0, 0, 0}));
  }
}

TEST(SimulatedBoardTest, MillingMovesAllThreeAxesAndKeepsEmptyFieldsApart) {
  SimulatedBoard board('M');
  EXPECT_EQ(Exchange(board, "10,-5,3,100;"), "T");
  EXPECT_EQ(Exchange(board, "0,0,-7,50;"), "T");
  // A command split over two reads is one command, answered only when whole.
  board.Receive("-4,", kStart);
  EXPECT_EQ(board.TakeOutput(kStart), "");
  EXPECT_EQ(Exchange(board, "2;"), "T");
  EXPECT_EQ(board.Position(), (Position{6, -3, -4}));

  EXPECT_EQ(Exchange(board, ",7,,;"), "T");
  const BoardCommand& last = board.Record().back();
  EXPECT_EQ(last.text, ",7,,;");
  ASSERT_EQ(last.fields.size(), 4u);
  EXPECT_FALSE(last.fields[0].has_value());
  EXPECT_EQ(last.fields[1], 7);
  EXPECT_EQ(last.positionAfter, (Position{6, 4, -4}));
  EXPECT_FALSE(board.LaserOn());
}

TEST(SimulatedBoardTest, OutliningLinesWithTrailingZerosDroppedSwitchTheLaser) {
  for (const char kind : {'P', 'O'}) {
    SimulatedBoard board(kind);
    EXPECT_EQ(Exchange(board, "12;"), "T");
    EXPECT_EQ(Exchange(board, "5,3;"), "T");
    EXPECT_EQ(board.Position(), (Position{17, 3, 0}));
    Exchange(board, "0,0,1,800;");
    EXPECT_TRUE(board.LaserOn());
    Exchange(board, "4,-1;");  // 0 leaves the laser as it is
    EXPECT_TRUE(board.LaserOn());
    Exchange(board, "1,1,-1;");
    EXPECT_FALSE(board.LaserOn());
    // The third field is a switch, not an axis.
    EXPECT_EQ(board.Position(), (Position{22, 3, 0}));
    EXPECT_FALSE(board.Record()[2].burn);
  }
}

TEST(SimulatedBoardTest, RasterLinesBurnOnlyAfterTheOpeningLine) {
  SimulatedBoard laser('P');
  Exchange(laser, "5,0,7;");
  EXPECT_FALSE(laser.Record().back().burn);

  EXPECT_EQ(Exchange(laser, ",,,2,400;"), "T");
  Exchange(laser, "4,0,300;");
  EXPECT_TRUE(laser.Record().back().burn);
  EXPECT_EQ(laser.Record().back().burnDelay, 300);
  EXPECT_TRUE(laser.LaserOn());
  Exchange(laser, "-4,1,0;");
  EXPECT_FALSE(laser.Record().back().burn);
  EXPECT_FALSE(laser.LaserOn());
  EXPECT_EQ(laser.Position(), (Position{5, 1, 0}));

  // A manual move has more fields than a raster line: the job is over.
  Exchange(laser, "1,1,,,500;");
  Exchange(laser, "2,0,9;");
  EXPECT_FALSE(laser.Record().back().burn);

  SimulatedBoard wood('B');
  Exchange(wood, ",,500;");
  Exchange(wood, "3,0,250;");
  EXPECT_TRUE(wood.Record().back().burn);
  EXPECT_EQ(wood.Record().back().burnDelay, 250);
  Exchange(wood, "V;");  // a new session leaves raster mode
  Exchange(wood, "3,0,250;");
  EXPECT_FALSE(wood.Record().back().burn);
  EXPECT_EQ(wood.Position(), (Position{6, 0, 0}));
}

TEST(SimulatedBoardTest, PauseLinesCompleteOnlyAfterSilence) {
  SimulatedBoard board('P');
  Exchange(board, "0,0,1;");
  board.Receive("0,0,-1", kStart);
  EXPECT_EQ(board.TakeOutput(kStart + 4ms), "");
  EXPECT_EQ(board.Record().size(), 1u);
  EXPECT_EQ(board.NextEventTime(), kStart + SimulatedBoard::kPauseLineSilence);
  EXPECT_EQ(board.TakeOutput(kStart + SimulatedBoard::kPauseLineSilence), "T");
  EXPECT_EQ(board.Record().back().text, "0,0,-1");
  EXPECT_FALSE(board.LaserOn());

  // Completed by the next bytes too, when the silence had already run out.
  board.Receive("0,0,1", kStart + 10ms);
  board.Receive("3;", kStart + 20ms);
  ASSERT_EQ(board.Record().size(), 4u);
  EXPECT_EQ(board.Record()[2].text, "0,0,1");
  EXPECT_TRUE(board.Record()[2].laserOn);
  EXPECT_EQ(board.TakeOutput(kStart + 20ms), "TT");

  // In raster mode a pause line is still a switch, never a burn.
  Exchange(board, ",,,1,300;");
  board.Receive("0,0,1", kStart + 30ms);
  board.TakeOutput(kStart + 40ms);
  EXPECT_FALSE(board.Record().back().burn);
  EXPECT_TRUE(board.LaserOn());

  // Boards without a laser do not guess at unterminated lines.
  SimulatedBoard mill('M');
  mill.Receive("0,0,-1", kStart);
  EXPECT_EQ(mill.TakeOutput(kStart + 1s), "");
  EXPECT_EQ(mill.NextEventTime(), std::nullopt);
}

TEST(SimulatedBoardTest, ProbeAnswersTheHeightWhereTheScannerStands) {
  SimulatedBoard board('S');
  const std::string first = Exchange(board, "0,0,200;");
  ASSERT_GE(first.size(), 3u);
  EXPECT_EQ(first.substr(first.size() - 2), "OK");
  const int height = std::stoi(first);
  EXPECT_GE(height, 0);
  EXPECT_LE(height, 1000);
  EXPECT_EQ(Exchange(board, "0,0,200;"), first);  // deterministic

  board.SetHeightFunction([](std::int64_t x, std::int64_t y) { return x * 10 + y; });
  EXPECT_EQ(Exchange(board, "3,4,1;"), "T");
  EXPECT_EQ(Exchange(board, "0,0,200;"), "34OK");
  EXPECT_EQ(board.Position(), (Position{3, 4, 0}));
  board.SetHeightFunction([](std::int64_t, std::int64_t) { return -5; });
  EXPECT_EQ(Exchange(board, "0,0,200;"), "0OK");
}

TEST(SimulatedBoardTest, DelayedRepliesFallDueLateAndInOrder) {
  SimulatedBoard board('M', With([](BoardFaults& f) { f.replyDelay = 30ms; }));
  board.Receive("V;1;", kStart);
  board.Receive("2;", kStart + 10ms);
  EXPECT_EQ(board.NextEventTime(), kStart + 30ms);
  EXPECT_EQ(board.TakeOutput(kStart + 29ms), "");
  EXPECT_EQ(board.TakeOutput(kStart + 30ms), "MTT");
  EXPECT_EQ(board.NextEventTime(), kStart + 40ms);
  EXPECT_EQ(board.TakeOutput(kStart + 40ms), "T");
  EXPECT_EQ(board.NextEventTime(), std::nullopt);
}

TEST(SimulatedBoardTest, PacedAnswersComeWhenTheBytesHaveArrivedAndTheMotorsHaveStepped) {
  struct Sent {
    std::chrono::microseconds at;
    std::string_view bytes;
  };
  struct Answer {
    std::chrono::microseconds at;
    std::string text;
  };
  struct Case {
    const char* name;
    char kind;
    std::chrono::milliseconds replyDelay;
    std::vector<Sent> sent;
    std::vector<Answer> answers;
  };
  // 10000 baud: a byte takes 1 ms; the idle delay is 2000 µs.
  const Case cases[] = {
      // 12 bytes, then 10 steps at 100 µs; 8 bytes, then 7 steps at the idle delay.
      {"router: its own delay or the idle one",
       'M',
       0ms,
       {{0us, "10,-5,3,100;"}, {20ms, "0,0,-7,;"}},
       {{13ms, "T"}, {42ms, "T"}}},
      // The second line is whole at 20 ms but waits for the first's 50 ms of steps.
      {"one command after another",
       'M',
       0ms,
       {{0us, "100,0,0,500;1,0,0,0;"}},
       {{62ms, "T"}, {64ms, "T"}}},
      // The laser field is a switch, not an axis; a missing delay is the idle one;
      // a pause line counts from its last byte's arrival.
      {"outline: compact lines",
       'P',
       0ms,
       {{0us, "0,0,1,800;5,-3;3,0,0,300;"}, {100ms, "0,0,-1"}},
       {{10ms, "T"}, {25ms, "T"}, {25900us, "T"}, {111ms, "T"}}},
      // Travel at the opening line's idle delay, not the board's; a burn at its own.
      {"laser raster",
       'P',
       0ms,
       {{0us, ",,,10,1500;20,0,0;-10,0,4000;"}},
       {{11ms, "T"}, {48ms, "T"}, {88ms, "T"}}},
      {"hot-wire raster",
       'B',
       0ms,
       {{0us, ",,700;10,0,700;0,1,2500;"}},
       {{6ms, "T"}, {22ms, "T"}, {26500us, "T"}}},
      // The probe answers once it has moved there.
      {"scanner", 'S', 0ms, {{0us, "100,0,200;"}}, {{210ms, "102OK"}}},
      // A late board answers that much after the steps, and in order.
      {"late answers", 'M', 5ms, {{0us, "10,0,0,1000;V;"}}, {{27ms, "TMT"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedBoard board(c.kind, With([&c](BoardFaults& f) {
                           f.pace = true;
                           f.baud = 10000;
                           f.idleDelay = 2000;
                           f.replyDelay = c.replyDelay;
                         }));
    std::vector<Answer> answers;
    std::size_t next = 0;
    // Lines go out at their times; answers are taken the moment they fall due.
    while (true) {
      const auto due = board.NextEventTime();
      if (next < c.sent.size() && (!due || kStart + c.sent[next].at <= *due)) {
        board.Receive(c.sent[next].bytes, kStart + c.sent[next].at);
        ++next;
        continue;
      }
      if (!due) break;
      const std::string text = board.TakeOutput(*due);
      if (!text.empty()) {
        answers.push_back(
            {std::chrono::duration_cast<std::chrono::microseconds>(*due - kStart), text});
      }
    }
    ASSERT_EQ(answers.size(), c.answers.size());
    for (std::size_t i = 0; i < answers.size(); ++i) {
      EXPECT_EQ(answers[i].at.count(), c.answers[i].at.count()) << i;
      EXPECT_EQ(answers[i].text, c.answers[i].text) << i;
    }
  }
}

TEST(SimulatedBoardTest, OutputIsHandedOutNoMoreThanAsked) {
  SimulatedBoard board('P', With([](BoardFaults& f) { f.crlf = true; }));
  board.Receive("V;1;", kStart);
  EXPECT_EQ(board.TakeOutput(kStart, 3), "PT\r");
  EXPECT_EQ(board.TakeOutput(kStart, 3), "\nT\r");
  EXPECT_EQ(board.TakeOutput(kStart), "\n");
}

TEST(SimulatedBoardTest, SilentBoardCarriesOutButNeverAnswers) {
  SimulatedBoard board('M', With([](BoardFaults& f) { f.silent = true; }));
  board.Receive("V;1,2,3;", kStart);
  EXPECT_EQ(board.TakeOutput(kStart + 1s), "");
  EXPECT_EQ(board.NextEventTime(), std::nullopt);
  EXPECT_EQ(board.Position(), (Position{1, 2, 3}));
}

TEST(SimulatedBoardTest, GarbageGoesBeforeAcknowledgementsOnly) {
  SimulatedBoard board('S', With([](BoardFaults& f) {
                         f.garbageBeforeAck = "x?";
                         f.crlf = true;
                       }));
  EXPECT_EQ(Exchange(board, "V;"), "x?ST\r\n");
  EXPECT_EQ(Exchange(board, "1,1,0;"), "x?T\r\n");
  board.SetHeightFunction([](std::int64_t, std::int64_t) { return 137; });
  EXPECT_EQ(Exchange(board, "0,0,200;"), "137OK\r\n");
}

TEST(SimulatedBoardTest, BabbleNeverEndsNeverAcknowledgesAndComesInSmallBursts) {
  SimulatedBoard board('M', With([](BoardFaults& f) { f.babble = true; }));
  board.Receive("V;1;", kStart);
  for (int i = 0; i < 10; ++i) {
    const auto next = board.NextEventTime();
    ASSERT_TRUE(next.has_value());
    EXPECT_LE(*next, kStart);
    const std::string bytes = board.TakeOutput(kStart);
    EXPECT_GT(bytes.size(), 0u);
    EXPECT_LE(bytes.size(), 64u);
    EXPECT_EQ(bytes.find('T'), std::string::npos);
  }
  EXPECT_EQ(board.TakeOutput(kStart, 5).size(), 5u);
  EXPECT_EQ(board.Record().size(), 2u);
}

TEST(SimulatedBoardTest, FaultsCanBeginAfterSomeAnsweredCommands) {
  SimulatedBoard silent('M', With([](BoardFaults& f) {
                          f.silent = true;
                          f.faultAfter = 2;
                        }));
  EXPECT_EQ(Exchange(silent, "V;"), "MT");
  EXPECT_EQ(Exchange(silent, "1,0,0,0;"), "T");
  EXPECT_EQ(Exchange(silent, "2,0,0,0;"), "");
  EXPECT_EQ(silent.NextEventTime(), std::nullopt);
  EXPECT_EQ(silent.Position(), (Position{3, 0, 0}));

  SimulatedBoard babbler('M', With([](BoardFaults& f) {
                           f.babble = true;
                           f.faultAfter = 2;
                           f.replyDelay = 5ms;
                         }));
  babbler.Receive("V;", kStart);
  EXPECT_EQ(babbler.TakeOutput(kStart + 5ms), "MT");
  babbler.Receive("1;", kStart + 5ms);
  // The second answer goes out whole before the babble begins.
  EXPECT_EQ(babbler.TakeOutput(kStart + 5ms), "");
  EXPECT_EQ(babbler.TakeOutput(kStart + 10ms), "T");
  const std::string bytes = babbler.TakeOutput(kStart + 10ms);
  EXPECT_GT(bytes.size(), 0u);
  EXPECT_EQ(bytes.find('T'), std::string::npos);
}

TEST(SimulatedBoardTest, LineDropsOnceTheCommandsBeforeItAreAnswered) {
  SimulatedBoard board('M', With([](BoardFaults& f) {
                         f.replyDelay = 10ms;
                         f.dropAfter = 2;
                       }));
  board.Receive("V;1;2;", kStart);
  EXPECT_EQ(board.Record().size(), 2u);  // the third is never taken
  EXPECT_FALSE(board.LineDropped());
  EXPECT_EQ(board.TakeOutput(kStart + 10ms), "MTT");
  EXPECT_TRUE(board.LineDropped());
  EXPECT_EQ(board.NextEventTime(), std::nullopt);
  board.Receive("3;", kStart + 20ms);
  EXPECT_EQ(board.TakeOutput(kStart + 1s), "");
  EXPECT_EQ(board.Position(), (Position{1, 0, 0}));

  EXPECT_TRUE(SimulatedBoard('M', With([](BoardFaults& f) { f.dropAfter = 0; })).LineDropped());
  SimulatedBoard silent('M', With([](BoardFaults& f) {
                          f.silent = true;
                          f.dropAfter = 1;
                        }));
  silent.Receive("V;", kStart);
  EXPECT_TRUE(silent.LineDropped());
}

TEST(SimulatedBoardTest, MalformedLinesAreAcknowledgedAndRecordedWithoutFields) {
  SimulatedBoard board('M');
  for (const std::string_view line :
       {"abc;", "1,2x;", "+5;", "-;", "99999999999999999999;", "1 ;"}) {
    EXPECT_EQ(Exchange(board, line), "T") << line;
    EXPECT_TRUE(board.Record().back().fields.empty()) << line;
  }
  EXPECT_EQ(board.Position(), (Position{0, 0, 0}));

  // An overlong line keeps only its start and is answered once.
  const std::string longLine(1000, '7');
  EXPECT_EQ(Exchange(board, longLine + ";"), "T");
  EXPECT_EQ(board.Record().back().text.size(), 256u);

  // Positions saturate rather than overflow.
  Exchange(board, "9223372036854775807;");
  Exchange(board, "9223372036854775807;");
  EXPECT_EQ(board.Position()[0], INT64_MAX);
}

TEST(SimulatedBoardTest, RandomBytesNeverUpsetAnyKind) {
  std::mt19937 random(20240611);
  const std::string_view alphabet = "0123456789,,,;;;--VTax\r\n\0\xff"sv;
  for (const char kind : {'M', 'S', 'P', 'B', 'O'}) {
    SimulatedBoard board(kind, With([kind](BoardFaults& f) {
                           f.replyDelay = 1ms;
                           f.garbageBeforeAck = "#";
                           f.crlf = kind == 'S';
                           f.pace = kind != 'O';  // hostile numbers must not overflow the clock
                         }));
    auto now = kStart;
    for (int chunk = 0; chunk < 2000; ++chunk) {
      std::string bytes(random() % 40, ' ');
      for (char& c : bytes) c = alphabet[random() % alphabet.size()];
      now += std::chrono::milliseconds(random() % 8);
      board.Receive(bytes, now);
      board.TakeOutput(now, random() % 16);
    }
    for (const BoardCommand& command : board.Record()) EXPECT_LE(command.text.size(), 257u);
  }
}

}  // namespace
}  // namespace vertolin
