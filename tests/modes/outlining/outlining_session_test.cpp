// The outlining jobs on the figure session with the laser head, against a
// board that acknowledges every line: the lines each job sends, and what
// they do when a field is wrong, a figure cannot be walked or the job stops.
#include "modes/outlining/outlining_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "figures/picture_art.h"
#include "link/link.h"
#include "link/serial_port.h"
#include "link/window_link.h"
#include "support/laser_lines.h"
#include "support/recording_frontend.h"
#include "util/numbers.h"

namespace vertolin {
namespace {

using Lines = std::vector<std::string>;

// Acknowledges every line at once. onWait runs while the n-th line's
// acknowledgement (n from 1) is awaited, where a person would press "Стоп";
// once failReadsAfter lines are written, every read fails (the cable is
// pulled).
struct Board {
  Lines written;
  std::deque<char> replies;
  std::function<void(std::size_t)> onWait;
  std::size_t failReadsAfter = 0;  // 0: never
};

class AckingPort : public SerialPort {
 public:
  explicit AckingPort(Board& board) : board_(board) {}
  void Write(std::string_view bytes) override {
    board_.written.emplace_back(bytes);
    board_.replies.push_back('T');
  }
  bool WriteChecked(std::string_view bytes, std::chrono::milliseconds) override {
    Write(bytes);
    return true;
  }
  int ReadByte() override {
    if (board_.failReadsAfter != 0 && board_.written.size() >= board_.failReadsAfter) return -2;
    if (board_.replies.empty()) return -1;
    if (board_.onWait) board_.onWait(board_.written.size());
    const char c = board_.replies.front();
    board_.replies.pop_front();
    return static_cast<unsigned char>(c);
  }

 private:
  Board& board_;
};

struct Fields : OutliningFields {
  std::string width;             // set from the picture: 10 steps per pixel
  std::string diameter = "0,1";  // with the width above: a spot of 2 pixels, radius 1
  std::string delay = "1000";
  bool back = false;
  std::string Width() const override { return width; }
  std::string Depth() const override { return "no depth for the laser"; }
  std::string Diameter() const override { return diameter; }
  std::string Delay() const override { return delay; }
  bool ReturnToOrigin() const override { return back; }
};

struct View : OutliningView {
  int trees = 0;
  std::function<void()> onTree;
  void ProgressPainted(const PixelBox&) override {}
  void LayersChanged() override {}
  void TreeChanged() override {
    ++trees;
    if (onTree) onTree();
  }
};

const std::vector<std::string> kRing{".......", ".#####.", ".#...#.", ".#.#.#.",
                                     ".#...#.", ".#####.", "......."};

// The laser switched on (+1) and off (−1) by the lines, in order.
std::vector<int> LaserSwitches(const Lines& lines) {
  std::vector<int> switches;
  for (const std::string& line : lines) {
    if (const int laser = test::LaserValue(line); laser != 0) switches.push_back(laser);
  }
  return switches;
}

// On and off alternate, starting on, and the laser ends off.
void ExpectBalanced(const Lines& lines) {
  const std::vector<int> switches = LaserSwitches(lines);
  for (std::size_t i = 0; i < switches.size(); ++i) {
    EXPECT_EQ(switches[i], i % 2 == 0 ? 1 : -1) << "switch " << i;
  }
  EXPECT_EQ(switches.size() % 2, 0u) << "the laser is left on";
}

class OutliningSessionTest : public ::testing::Test {
 protected:
  OutliningSessionTest() {
    link_.Attach(std::make_unique<AckingPort>(board_));
    window_.SetDriveSwitch([this] { return drive_; });
    session_.Reset();
    // A fill that never ends must fail the test, not hang it.
    view_.onTree = [this] {
      if (view_.trees > 200) {
        frontend_.yesNoAnswers.clear();
        link_.RequestStop();
      }
    };
  }

  void Load(const PixelImage& picture) {
    session_.LoadPicture(picture);
    fields_.width = FieldText(picture.width() * 0.05);
  }
  void LoadParsed(const PixelImage& picture) {
    Load(picture);
    session_.Parse(view_);
  }

  test::RecordingFrontend frontend_;
  Link link_{frontend_};
  Board board_;
  WindowLink window_{link_, formats::kOutlining};
  OutliningSession session_{window_};
  Fields fields_;
  View view_;
  bool drive_ = true;
};

TEST_F(OutliningSessionTest, OnePixelFigureIsTravelLaserOnAndOffWithoutAStep) {
  PixelImage picture(5, 4);
  picture.SetGrey(3, 2, 0);
  LoadParsed(picture);
  fields_.back = true;
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Done);
  // Travel with the idle delay, on with Text4's delay, off with the idle
  // delay, and back by 1 − x, 1 − y with its trailing zeros dropped.
  EXPECT_EQ(board_.written, (Lines{"20,10,0,2000;", "0,0,1,1000;", "0,0,-1,2000;", "-20,-10;"}));
  EXPECT_EQ(session_.x(), 1);
  EXPECT_EQ(session_.depth(), 0);
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_FALSE(window_.LaserLit());
}

TEST_F(OutliningSessionTest, OutlineStepsLoseTheirTrailingZeroFields) {
  // A bar three pixels long: two steps right, two back.
  LoadParsed(PictureFromArt({"......", ".###..", "......"}));
  ASSERT_TRUE(session_.HasTree());
  EXPECT_EQ(session_.MillSelected(2, fields_, view_), JobOutcome::Done);
  EXPECT_EQ(board_.written,
            (Lines{"10,10,0,2000;", "0,0,1,1000;", "10;", "10;", "-10;", "-10;", "0,0,-1,2000;"}));

  // Diagonal steps keep both fields; a return of nothing sends nothing.
  board_.written.clear();
  LoadParsed(PictureFromArt({".....", ".#...", "..#..", "....."}));
  fields_.back = true;
  EXPECT_EQ(session_.MillSelected(2, fields_, view_), JobOutcome::Done);
  EXPECT_EQ(board_.written, (Lines{"10,10,0,2000;", "0,0,1,1000;", "10,10;", "-10,-10;",
                                   "0,0,-1,2000;", "-10,-10;"}));
}

TEST_F(OutliningSessionTest, AllOnTheRingOutlinesTheCentreFirstAndReturnsFromWhereItEnded) {
  LoadParsed(PictureFromArt(kRing));
  fields_.back = true;
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Done);
  const Lines& lines = board_.written;
  ASSERT_EQ(lines.size(), 3u + (2u + 12u + 1u) + (2u + 16u + 1u) + 1u);
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 6),
            (Lines{"30,30,0,2000;", "0,0,1,1000;", "0,0,-1,2000;", "-10,-20,0,2000;", "0,0,1,1000;",
                   "-10,10;"}));
  EXPECT_EQ(lines[18], "-10,0,0,2000;");  // to the outside's start, (2, 2)
  EXPECT_EQ(lines.back(), "-10,-10;");    // from (2, 2): 1 − x, 1 − y
  ExpectBalanced(lines);
  EXPECT_EQ(session_.figures()->figures[2].state, kFigureMilled);

  // Done figures stay done until the next parse.
  board_.written.clear();
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Done);
  EXPECT_TRUE(board_.written.empty());
}

TEST_F(OutliningSessionTest, SelectedOnTheBackgroundIsRefusedWithAMessage) {
  LoadParsed(PictureFromArt(kRing));
  EXPECT_EQ(session_.MillSelected(1, fields_, view_), JobOutcome::Refused);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
  EXPECT_EQ(frontend_.messages[0].text,
            "Фигура касается края изображения (это фон), её контур не гравируется.\r\n"
            "Выберите другую фигуру.");
  EXPECT_TRUE(board_.written.empty());
}

TEST_F(OutliningSessionTest, FieldsThatAreNoNumbersOrNotAboveZeroRefuseTheJob) {
  LoadParsed(PictureFromArt(kRing));
  const std::string width = fields_.width;
  struct Case {
    std::string width, diameter, delay, message;
  };
  const Case cases[] = {
      {"abc", "0,1", "1000", "Введите число в поле «Ширина»!"},
      {"0", "0,1", "1000",
       "Ширина готового изображения не может быть равна нулю.\r\nВведите в поле «Ширина» другое "
       "число."},
      {"-0,35", "0,1", "1000",
       "Ширина готового изображения должна быть больше нуля.\r\nВведите в поле «Ширина» другое "
       "число."},
      {width, "мм", "1000", "Введите число в поле «Диаметр»!"},
      {width, "0", "1000",
       "Диаметр должен быть больше нуля.\r\nВведите в поле «Диаметр» другое число."},
      {width, "-2", "1000",
       "Диаметр должен быть больше нуля.\r\nВведите в поле «Диаметр» другое число."},
      {width, "0,1", "быстро", "Введите число в поле «Задержка»!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width + " " + c.diameter + " " + c.delay);
    fields_.width = c.width;
    fields_.diameter = c.diameter;
    fields_.delay = c.delay;
    for (const int job : {0, 1, 2}) {
      frontend_.messages.clear();
      const JobResult result = job == 0   ? session_.MillSelected(4, fields_, view_)
                               : job == 1 ? session_.MillAll(fields_, view_)
                                          : session_.Fill(fields_, view_);
      EXPECT_EQ(result, JobOutcome::Refused) << job;
      ASSERT_EQ(frontend_.messages.size(), 1u) << job;
      EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
      EXPECT_EQ(frontend_.messages[0].text, c.message);
    }
  }
  EXPECT_TRUE(board_.written.empty());
  EXPECT_TRUE(session_.HasTree());  // the refused fill did not start
}

TEST_F(OutliningSessionTest, DryRunPaintsTheSpotAndSendsNothing) {
  LoadParsed(PictureFromArt(kRing));
  drive_ = false;
  fields_.back = true;
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Done);
  EXPECT_TRUE(board_.written.empty());
  const PixelImage& progress = session_.progress();
  const auto red = [&](int x, int y) {
    const std::uint8_t* p = progress.bytes().data() + progress.Offset(x, y);
    return p[0] == 0 && p[1] == 0 && p[2] == 255;
  };
  // A spot of radius 1 around every path pixel: the hole's inside too.
  EXPECT_TRUE(red(2, 2));
  EXPECT_TRUE(red(1, 2));
  EXPECT_TRUE(red(3, 3));
  EXPECT_FALSE(red(1, 1));  // corner: i² + j² = 2 > r²
  EXPECT_EQ(session_.x(), 1);
}

TEST_F(OutliningSessionTest, StopSwitchesTheLaserOffAroundTheQuestion) {
  // Going on first: a start after a stopped job would first ask about going back.
  for (const bool stop : {false, true}) {
    SCOPED_TRACE(stop);
    board_.written.clear();
    frontend_.questions.clear();
    LoadParsed(PictureFromArt(kRing));
    frontend_.yesNoAnswers = {stop};
    // "Стоп" once the ring's hole pass has begun (line 6 is its first step).
    board_.onWait = [this](std::size_t n) {
      if (n == 6) link_.RequestStop();
    };
    const JobResult result = session_.MillAll(fields_, view_);
    board_.onWait = nullptr;
    ASSERT_EQ(frontend_.questions.size(), 1u);
    EXPECT_EQ(frontend_.questions[0].title, "Внимание");
    EXPECT_EQ(frontend_.questions[0].text,
              "Гравировка остановлена. Остановить?\r\nДа - остановить. Нет - продолжить.");
    const Lines& lines = board_.written;
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[6], "0,0,-1");  // unterminated, before the question
    if (stop) {
      EXPECT_EQ(result, JobOutcome::Stopped);
      // Then only the whole laser-off line: the pause line has no ";".
      ASSERT_EQ(lines.size(), 8u);
      EXPECT_EQ(lines[7], "0,0,-1,2000;");
      EXPECT_TRUE(link_.StopRequested());
    } else {
      EXPECT_EQ(result, JobOutcome::Done);
      ASSERT_GE(lines.size(), 9u);
      EXPECT_EQ(lines[7], "0,0,1");  // on again, then the job goes on
      EXPECT_EQ(lines[8], "0,10;");
      EXPECT_EQ(lines.size(), 3u + 15u + 19u + 2u);
      ExpectBalanced(lines);
      EXPECT_FALSE(link_.StopRequested());
    }
    EXPECT_FALSE(window_.LaserLit());
    link_.ClearStop();
  }
}

TEST_F(OutliningSessionTest, LostLinkEndsWithTheLaserSwitchedOff) {
  LoadParsed(PictureFromArt(kRing));
  board_.failReadsAfter = 7;  // in the middle of the hole's pass
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::LinkLost);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_NE(frontend_.messages[0].text.find("Ошибка чтения данных"), std::string::npos);
  ASSERT_EQ(board_.written.size(), 8u);
  EXPECT_EQ(board_.written[6], "0,10;");
  EXPECT_EQ(board_.written[7], "0,0,-1,2000;");  // switched off, not awaited
  ExpectBalanced(board_.written);
  EXPECT_FALSE(window_.LaserLit());
}

TEST_F(OutliningSessionTest, FillWithoutDarkPixelsEngravesNothing) {
  Load(PixelImage(12, 12));
  fields_.back = true;
  EXPECT_EQ(session_.Fill(fields_, view_), JobOutcome::Done);
  EXPECT_TRUE(board_.written.empty());  // the return of zero steps sends nothing
  EXPECT_FALSE(session_.HasTree());
  EXPECT_TRUE(frontend_.messages.empty());
}

TEST_F(OutliningSessionTest, FillIsConcentricOutlinesOneSpotApartFirstOnePixelInside) {
  // A black square 3..20 on white: "Градиент" whitens its edge pixels, so the
  // first outline runs one pixel inside, from (4, 4); each next one starts
  // about one spot diameter (2 pixels) further in.
  PixelImage picture(23, 23);
  for (int y = 3; y <= 20; ++y) {
    for (int x = 3; x <= 20; ++x) picture.SetGrey(x, y, 0);
  }
  Load(picture);
  fields_.back = true;
  EXPECT_EQ(session_.Fill(fields_, view_), JobOutcome::Done);
  EXPECT_TRUE(frontend_.messages.empty());
  std::vector<std::pair<long, long>> starts;  // where the laser goes on, in steps
  long x = 0, y = 0;
  for (const std::string& line : board_.written) {
    long dx = 0, dy = 0;
    std::sscanf(line.c_str(), "%ld,%ld", &dx, &dy);
    x += dx;
    y += dy;
    if (line == "0,0,1,1000;") starts.push_back({x, y});
  }
  ASSERT_GE(starts.size(), 3u);
  EXPECT_EQ(starts[0], std::make_pair(30L, 30L));
  for (std::size_t i = 1; i < starts.size(); ++i) {
    EXPECT_EQ(starts[i].first - starts[i - 1].first, 20) << i;
    EXPECT_EQ(starts[i].second - starts[i - 1].second, 20) << i;
  }
  EXPECT_EQ(x, 0);  // back at the origin
  EXPECT_EQ(y, 0);
  ExpectBalanced(board_.written);
}

TEST_F(OutliningSessionTest, GradientSeparatesForty51ButNotForty50) {
  // Two dark areas side by side inside a white frame.
  for (const int right : {51, 50}) {
    SCOPED_TRACE(right);
    PixelImage picture(16, 9);
    for (int y = 2; y <= 8; ++y) {
      for (int x = 2; x <= 15; ++x)
        picture.SetGrey(x, y, static_cast<std::uint8_t>(x <= 8 ? 40 : right));
    }
    Load(picture);
    fields_.diameter = "100";  // the spot plays no part in this "Градиент"
    EXPECT_EQ(session_.Gradient(fields_, view_), JobOutcome::Done);
    const PixelImage& work = session_.work();
    EXPECT_EQ(work.Grey(7, 5), 40);
    EXPECT_EQ(work.Grey(8, 5), right == 51 ? 255 : 40);
    EXPECT_EQ(work.Grey(9, 5), right == 51 ? 255 : 50);
    EXPECT_EQ(work.Grey(10, 5), right);
    EXPECT_EQ(work.Grey(2, 5), 255);  // next to the white frame
    session_.Parse(view_);
    int dark = 0;
    const FigureTable& table = session_.figures()->figures;
    for (int f = 1; f <= table.size(); ++f) {
      if (table.Contains(f) && table[f].inUse() && table[f].dark()) ++dark;
    }
    EXPECT_EQ(dark, right == 51 ? 2 : 1);
  }
}

TEST_F(OutliningSessionTest, FillWhoseRoundChangesNothingStopsAndSaysWhy) {
  // A block in the corner: its pixels along the edges lie in the margin that
  // "Отступить" never changes.
  PixelImage picture(20, 20);
  for (int y = 1; y <= 6; ++y) {
    for (int x = 1; x <= 6; ++x) picture.SetGrey(x, y, 0);
  }
  Load(picture);
  EXPECT_EQ(session_.Fill(fields_, view_), JobOutcome::Done);
  EXPECT_TRUE(frontend_.questions.empty());
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Внимание");
  EXPECT_EQ(frontend_.messages[0].text,
            "Фигуры больше не уменьшаются: «Отступить» не изменило рисунок.\r\n"
            "Гравировка с заполнением остановлена.");
  EXPECT_LE(view_.trees, 12);  // a few rounds, not dozens
  ExpectBalanced(board_.written);
}

TEST_F(OutliningSessionTest, FillLeavesAStopPressedBeforeAndAllAfterItClearsOne) {
  PixelImage picture(16, 16);
  for (int y = 4; y <= 12; ++y) {
    for (int x = 4; x <= 12; ++x) picture.SetGrey(x, y, 0);
  }
  Load(picture);
  // "Стоп" before the fill: its first move asks; going on runs it whole.
  link_.RequestStop();
  frontend_.yesNoAnswers = {false};
  EXPECT_EQ(session_.Fill(fields_, view_), JobOutcome::Done);
  EXPECT_EQ(frontend_.questions.size(), 1u);
  ASSERT_FALSE(board_.written.empty());
  EXPECT_EQ(board_.written.front(), "40,40,0,2000;");  // the laser was off: no pause lines
  ExpectBalanced(board_.written);

  // Stopped before, "Стоп" is asked again at once and ends the whole fill.
  board_.written.clear();
  frontend_.questions.clear();
  link_.RequestStop();
  Load(picture);
  EXPECT_EQ(session_.Fill(fields_, view_), JobOutcome::Stopped);
  EXPECT_EQ(frontend_.questions.size(), 1u);
  EXPECT_TRUE(board_.written.empty());

  // "Все" alone clears the stop at its start and returns to the origin.
  frontend_.questions.clear();
  session_.Parse(view_);
  ASSERT_TRUE(session_.HasTree());
  fields_.back = true;
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Done);
  EXPECT_TRUE(frontend_.questions.empty());
  ASSERT_FALSE(board_.written.empty());
  EXPECT_EQ(board_.written.back(), "-40,-40;");  // from (5, 5), the first pixel left
}

}  // namespace
}  // namespace vertolin
