#include "modes/milling/milling_session.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "figures/picture_art.h"
#include "link/link.h"
#include "link/serial_port.h"
#include "link/window_link.h"
#include "support/recording_frontend.h"
#include "util/numbers.h"

namespace vertolin {
namespace {

using Lines = std::vector<std::string>;

constexpr const char* kNotParsed =
    "Изображение не загружено или не разобрано.\r\n"
    "Если изображение загружено, нажмите кнопку 'Разобрать'.\r\n"
    "Необходимо, чтобы программа построила дерево вложения фигур.";
constexpr const char* kNoFigure = "Не выбрана фигура.\r\nВыберите фигуру в дереве.";

// A board that acknowledges every line at once. The hooks are where a
// person would act: onWrite after the n-th line is written (from 1), onWait
// while the n-th line's acknowledgement is awaited.
struct Board {
  Lines written;
  std::deque<char> replies;
  std::size_t acks = 0;
  std::function<void(std::size_t)> onWrite;
  std::function<void(std::size_t)> onWait;
};

class AckingPort : public SerialPort {
 public:
  explicit AckingPort(Board& board) : board_(board) {}
  void Write(std::string_view bytes) override {
    board_.written.emplace_back(bytes);
    board_.replies.push_back('T');
    if (board_.onWrite) board_.onWrite(board_.written.size());
  }
  bool WriteChecked(std::string_view bytes, std::chrono::milliseconds) override {
    Write(bytes);
    return true;
  }
  int ReadByte() override {
    if (board_.replies.empty()) return -1;
    if (board_.onWait) board_.onWait(++board_.acks);
    const char c = board_.replies.front();
    board_.replies.pop_front();
    return static_cast<unsigned char>(c);
  }

 private:
  Board& board_;
};

struct Fields : MillingFields {
  std::string width;             // set from the picture: 10 steps per pixel
  std::string depth = "1,275";   // one step per grey level
  std::string diameter = "0,1";  // with the width above: radius 1 pixel
  std::string delay = "4000";
  bool back = false;
  std::string Width() const override { return width; }
  std::string Depth() const override { return depth; }
  std::string Diameter() const override { return diameter; }
  std::string Delay() const override { return delay; }
  bool ReturnToOrigin() const override { return back; }
};

struct View : MillingView {
  std::vector<PixelBox> painted;
  int layers = 0;
  int trees = 0;
  std::function<void()> onTree;
  void ProgressPainted(const PixelBox& box) override { painted.push_back(box); }
  void LayersChanged() override { ++layers; }
  void TreeChanged() override {
    ++trees;
    if (onTree) onTree();
  }
};

const std::vector<std::string> kRing{".......", ".#####.", ".#...#.", ".#.#.#.",
                                     ".#...#.", ".#####.", "......."};

void Append(Lines& lines, std::initializer_list<const char*> steps, int times = 1) {
  for (int i = 0; i < times; ++i) {
    for (const char* step : steps) lines.push_back(std::string(step) + ",0,0;");
  }
}

// "Все" on the ring: the centre (level 3), then the ring (level 1), round
// its hole from (3, 2) cutting the corners, then round the outside.
Lines RingAll() {
  Lines lines{"30,30,0,2000;", "0,0,-255,4000;", "0,0,255,2000;",  // centre: no cutting step
              "-10,-20,0,2000;", "0,0,-255,4000;"};
  Append(lines, {"-10,10", "0,10", "0,10", "10,10", "10,0", "10,0", "10,-10", "0,-10", "0,-10",
                 "-10,-10", "-10,0", "-10,0"});
  lines.insert(lines.end(), {"0,0,255,2000;", "-10,0,0,2000;", "0,0,-255,4000;"});
  Append(lines, {"10,0"}, 4);
  Append(lines, {"0,10"}, 4);
  Append(lines, {"-10,0"}, 4);
  Append(lines, {"0,-10"}, 4);
  lines.push_back("0,0,255,2000;");
  return lines;
}

struct Move {
  long x, y, z, delay;
};

Move Fields4(const std::string& line) {
  Move m{};
  EXPECT_EQ(std::sscanf(line.c_str(), "%ld,%ld,%ld,%ld;", &m.x, &m.y, &m.z, &m.delay), 4) << line;
  return m;
}

// The tool's place in steps at every plunge (a move straight down with the
// cutting delay).
std::vector<std::array<long, 3>> PlungePlaces(const Lines& lines) {
  std::vector<std::array<long, 3>> places;
  long x = 0, y = 0, z = 0;
  for (const std::string& line : lines) {
    const Move m = Fields4(line);
    x += m.x;
    y += m.y;
    z += m.z;
    if (m.x == 0 && m.y == 0 && m.z < 0 && m.delay == 4000) places.push_back({x, y, z});
  }
  return places;
}

bool IsRed(const PixelImage& image, int x, int y) {
  const std::size_t at = image.Offset(x, y);
  return image.bytes()[at] == 0 && image.bytes()[at + 1] == 0 && image.bytes()[at + 2] == 255;
}

class MillingSessionTest : public ::testing::Test {
 protected:
  MillingSessionTest() {
    link_.Attach(std::make_unique<AckingPort>(board_));
    window_.SetDriveSwitch([this] { return drive_; });
    window_.SetInterruptionPrompt(&frontend_);
    session_.Reset();
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
  WindowLink window_{link_, formats::kRouter};
  MillingSession session_{window_};
  Fields fields_;
  View view_;
  bool drive_ = true;
};

TEST_F(MillingSessionTest, AllOnTheRingMillsTheCentreFirstAndTheRingsHoleBeforeItsOutside) {
  LoadParsed(PictureFromArt(kRing));
  ASSERT_TRUE(session_.HasTree());
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Done);
  EXPECT_EQ(board_.written, RingAll());
  EXPECT_EQ(session_.x(), 2);
  EXPECT_EQ(session_.y(), 2);
  EXPECT_EQ(session_.depth(), 255);  // kept after the lift
  const FigureTable& table = session_.figures()->figures;
  EXPECT_EQ(table[2].state, kFigureMilled);
  EXPECT_EQ(table[4].state, kFigureMilled);
  EXPECT_EQ(table[1].state, kFigureInUse);  // light: not milled
  EXPECT_EQ(table[3].state, kFigureInUse);
  EXPECT_EQ(session_.jobKind(), std::nullopt);
  EXPECT_TRUE(frontend_.messages.empty());

  // Milled figures stay milled until the next parse.
  board_.written.clear();
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Done);
  EXPECT_TRUE(board_.written.empty());
  session_.Parse(view_);
  fields_.back = true;
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Done);
  ASSERT_FALSE(board_.written.empty());
  // The tool was left at (2, 2): the first travel starts from there.
  EXPECT_EQ(board_.written.front(), "20,20,0,2000;");
  EXPECT_EQ(board_.written.back(), "-10,-10,0,0;");
}

TEST_F(MillingSessionTest, DepthFollowsTheGreyOfEveryPathPixel) {
  PixelImage picture(7, 7);
  for (int y = 2; y <= 4; ++y) {
    for (int x = 2; x <= 4; ++x) picture.SetGrey(x, y, 50);
  }
  picture.SetGrey(4, 2, 0);
  LoadParsed(picture);
  fields_.back = true;
  EXPECT_EQ(session_.MillSelected(2, fields_, view_), JobOutcome::Done);
  EXPECT_EQ(board_.written,
            (Lines{"10,10,0,2000;", "0,0,-205,4000;",  // blue 50: 205 of 255
                   "10,0,0,0;", "10,0,-50,0;", "0,10,50,0;", "0,10,0,0;", "-10,0,0,0;",
                   "-10,0,0,0;", "0,-10,0,0;", "0,-10,0,0;", "0,0,205,2000;", "-10,-10,0,0;"}));
  EXPECT_EQ(session_.x(), 1);
  EXPECT_EQ(session_.y(), 1);
}

TEST_F(MillingSessionTest, FootprintsAreDiscsAndReadAsFullDepthNextTime) {
  PixelImage picture(12, 12);
  for (int y = 2; y <= 4; ++y) {
    for (int x = 2; x <= 4; ++x) picture.SetGrey(x, y, 50);
  }
  LoadParsed(picture);
  EXPECT_EQ(session_.MillSelected(2, fields_, view_), JobOutcome::Done);
  EXPECT_EQ(board_.written[1], "0,0,-205,4000;");
  // Radius 1: the outline's pixels and their side neighbours, not the corners.
  const PixelImage& progress = session_.progress();
  EXPECT_TRUE(IsRed(progress, 1, 2));
  EXPECT_TRUE(IsRed(progress, 3, 3));
  EXPECT_FALSE(IsRed(progress, 1, 1));
  EXPECT_FALSE(IsRed(progress, 6, 6));
  EXPECT_EQ(progress.Grey(6, 6), 255);
  EXPECT_EQ(session_.base().Grey(3, 3), 50);  // only the Progress layer is painted
  // One small box per cutting step, never the whole picture (the radius
  // comes out a hair above 1, so the bound is 2).
  ASSERT_EQ(view_.painted.size(), 8u);
  for (const PixelBox& box : view_.painted) {
    EXPECT_LE(box.right - box.left, 4);
    EXPECT_LE(box.bottom - box.top, 4);
  }

  board_.written.clear();
  EXPECT_EQ(session_.MillSelected(2, fields_, view_), JobOutcome::Done);
  ASSERT_EQ(board_.written.size(), 11u);
  EXPECT_EQ(board_.written[1], "0,0,-255,4000;");  // red reads as black
  for (std::size_t i = 2; i < 10; ++i) EXPECT_EQ(Fields4(board_.written[i]).z, 0) << i;
  EXPECT_EQ(board_.written[10], "0,0,255,2000;");
}

TEST_F(MillingSessionTest, LonePixelsAndTheDarkThreshold) {
  PixelImage picture(6, 3);
  picture.SetGrey(2, 2, 100);  // dark: the threshold itself
  picture.SetGrey(4, 2, 101);  // light: part of the background
  LoadParsed(picture);
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Done);
  // A travel, a plunge, no cutting step, a lift.
  EXPECT_EQ(board_.written, (Lines{"10,10,0,2000;", "0,0,-155,4000;", "0,0,155,2000;"}));
}

TEST_F(MillingSessionTest, FigureWithTwoHolesIsThreeLoopsHolesFirst) {
  LoadParsed(PictureFromArt({".........", ".#######.", ".#.###.#.", ".#######.", "........."}));
  EXPECT_EQ(session_.MillSelected(2, fields_, view_), JobOutcome::Done);
  Lines travels;
  for (std::size_t i = 0; i < board_.written.size(); ++i) {
    const Move m = Fields4(board_.written[i]);
    if (m.delay == 2000 && m.z == 0) {
      travels.push_back(board_.written[i]);
      if (i > 0) {
        EXPECT_EQ(board_.written[i - 1], "0,0,255,2000;");  // lifted between loops
      }
    }
  }
  // To (3, 2) above the first hole, to (7, 2) above the second, to (2, 2).
  EXPECT_EQ(travels, (Lines{"20,10,0,2000;", "40,0,0,2000;", "-50,0,0,2000;"}));
  EXPECT_EQ(PlungePlaces(board_.written).size(), 3u);
  EXPECT_EQ(board_.written.back(), "0,0,255,2000;");
}

TEST_F(MillingSessionTest, SelectedIsRefusedBeforeAParseWithoutAFigureAndOnTheBackground) {
  Load(PictureFromArt(kRing));
  EXPECT_EQ(session_.MillSelected(2, fields_, view_), JobOutcome::Refused);
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Refused);
  session_.Parse(view_);
  EXPECT_EQ(session_.MillSelected(std::nullopt, fields_, view_), JobOutcome::Refused);
  EXPECT_EQ(session_.MillSelected(1, fields_, view_), JobOutcome::Refused);   // the root
  EXPECT_EQ(session_.MillSelected(99, fields_, view_), JobOutcome::Refused);  // no such node
  // After "Градиент" the old figures are gone: a new parse is needed.
  EXPECT_EQ(session_.Gradient(fields_, view_), JobOutcome::Done);
  EXPECT_EQ(session_.figures(), nullptr);
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Refused);

  ASSERT_EQ(frontend_.messages.size(), 6u);
  for (const auto& message : frontend_.messages) EXPECT_EQ(message.title, "Ошибка");
  EXPECT_EQ(frontend_.messages[0].text, kNotParsed);
  EXPECT_EQ(frontend_.messages[1].text, kNotParsed);
  EXPECT_EQ(frontend_.messages[2].text, kNoFigure);
  EXPECT_EQ(frontend_.messages[3].text,
            "Фигура касается края изображения (это фон), её контур не фрезеруется.\r\n"
            "Выберите другую фигуру.");
  EXPECT_NE(frontend_.messages[4].text.find("99"), std::string::npos);
  EXPECT_EQ(frontend_.messages[5].text, kNotParsed);
  EXPECT_TRUE(board_.written.empty());
  EXPECT_EQ(session_.jobKind(), std::nullopt);
}

TEST_F(MillingSessionTest, FieldsThatAreNotNumbersRefuseTheJobNamingTheField) {
  LoadParsed(PictureFromArt(kRing));
  const Fields good = fields_;
  struct Case {
    std::string Fields::*field;
    std::string text;
    std::string named;
  };
  const Case cases[] = {
      {&Fields::width, "x", "«Ширина»"},       {&Fields::width, "0", "«Ширина»"},
      {&Fields::width, "", "«Ширина»"},        {&Fields::depth, "1..2", "«Глубина»"},
      {&Fields::diameter, "три", "«Диаметр»"}, {&Fields::delay, "", "«Задержка»"},
      {&Fields::delay, "1e12", "«Задержка»"},
  };
  for (const Case& c : cases) {
    fields_ = good;
    fields_.*c.field = c.text;
    frontend_.messages.clear();
    EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Refused) << c.named << c.text;
    EXPECT_EQ(session_.MillSelected(4, fields_, view_), JobOutcome::Refused);
    EXPECT_EQ(session_.Relief(fields_, view_), JobOutcome::Refused);
    ASSERT_EQ(frontend_.messages.size(), 3u);
    EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
    EXPECT_NE(frontend_.messages[0].text.find(c.named), std::string::npos)
        << frontend_.messages[0].text;
  }
  // "Градиент" and "Отступить" need the width and the diameter only.
  fields_ = good;
  fields_.delay = "x";
  EXPECT_EQ(session_.Offset(fields_, view_), JobOutcome::Done);
  fields_.diameter = "x";
  const PixelImage work = session_.work();
  EXPECT_EQ(session_.Gradient(fields_, view_), JobOutcome::Refused);
  EXPECT_EQ(session_.work(), work);
  EXPECT_TRUE(board_.written.empty());
}

TEST_F(MillingSessionTest, DryRunSendsNothingButPaintsTheFootprints) {
  drive_ = false;
  LoadParsed(PictureFromArt(kRing));
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Done);
  EXPECT_TRUE(board_.written.empty());
  EXPECT_TRUE(IsRed(session_.progress(), 2, 2));
  EXPECT_TRUE(IsRed(session_.progress(), 4, 4));
  EXPECT_EQ(session_.x(), 2);
  EXPECT_EQ(session_.y(), 2);
  // The rounding carry went on as if the steps had been sent.
  EXPECT_EQ(window_.accounted()[0], 10);
  EXPECT_EQ(window_.accounted()[2], 0);
}

TEST_F(MillingSessionTest, StopInTheInterruptionDialogEndsTheJobQuietly) {
  LoadParsed(PictureFromArt(kRing));
  board_.onWait = [this](std::size_t n) {
    if (n == 5) link_.RequestStop();  // "Стоп" during the ring's plunge
  };
  frontend_.dialogAnswers = {0};
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Stopped);
  EXPECT_EQ(frontend_.dialogs, 1);
  EXPECT_EQ(board_.written.size(), 5u);  // nothing after the stop: no lift, no return
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_EQ(session_.jobKind(), std::nullopt);
}

TEST_F(MillingSessionTest, GoingOnSendsThePendingMoveAndTheJobCarriesOn) {
  LoadParsed(PictureFromArt(kRing));
  board_.onWait = [this](std::size_t n) {
    if (n == 5) link_.RequestStop();
  };
  frontend_.dialogAnswers = {1};
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Done);
  EXPECT_EQ(frontend_.dialogs, 1);
  EXPECT_EQ(board_.written, RingAll());
  EXPECT_FALSE(link_.StopRequested());
}

TEST_F(MillingSessionTest, ManualStepsDuringAJobJoinTheNextMove) {
  LoadParsed(PictureFromArt(kRing));
  board_.onWrite = [this](std::size_t n) {
    if (n != 2) return;
    // What "Ручная уст-ка" does while a job runs.
    EXPECT_EQ(session_.jobKind(), FigureJob::All);
    window_.AddPendingSteps({7, 0, -3});
  };
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Done);
  Lines expected = RingAll();
  // The centre's one step goes nowhere, yet it carries the correction.
  expected.insert(expected.begin() + 2, "7,0,-3,0;");
  EXPECT_EQ(board_.written, expected);
}

TEST_F(MillingSessionTest, OptimisationCollectsEveryAcknowledgementOnce) {
  link_.profile().optim = 1;
  int idle = 0;
  frontend_.onEvents = [&] {
    // A wait for an acknowledgement that never comes would hang the test.
    if (++idle > 1000) link_.SetClosing(true);
  };
  LoadParsed(PictureFromArt(kRing));
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Done);
  EXPECT_EQ(board_.written, RingAll());
  EXPECT_TRUE(board_.replies.empty());
  EXPECT_FALSE(window_.reply().HasAck());
}

TEST_F(MillingSessionTest, AToolWiderThanThePicturePaintsItOnlyOnce) {
  fields_.diameter = "1e308";
  LoadParsed(PictureFromArt(kRing));
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Done);
  ASSERT_EQ(view_.painted.size(), 1u);
  for (int y = 1; y <= session_.progress().height(); ++y) {
    for (int x = 1; x <= session_.progress().width(); ++x)
      EXPECT_EQ(session_.progress().Grey(x, y), 0);
  }
}

TEST_F(MillingSessionTest, JobStartedInsideAJobLeavesTheOuterKind) {
  LoadParsed(PictureFromArt(kRing));
  std::vector<std::optional<FigureJob>> kinds;
  bool once = true;
  frontend_.onEvents = [&] {
    if (!once) return;
    once = false;
    // "Выделенная" clicked while "Все" runs.
    board_.onWrite = [&](std::size_t) { kinds.push_back(session_.jobKind()); };
    EXPECT_EQ(session_.MillSelected(4, fields_, view_), JobOutcome::Done);
    board_.onWrite = nullptr;
  };
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Done);
  ASSERT_FALSE(kinds.empty());
  for (const auto& kind : kinds) EXPECT_EQ(kind, FigureJob::All);
  EXPECT_EQ(session_.jobKind(), std::nullopt);
}

class ReliefTest : public MillingSessionTest {
 protected:
  ReliefTest() {
    // A relief that never ends must fail the test, not hang it: after
    // many rounds "Стоп" is pressed and the dialog answers stop.
    view_.onTree = [this] {
      if (view_.trees > 200) link_.RequestStop();
    };
  }
};

TEST_F(ReliefTest, WhitePictureCutsNothing) {
  Load(PixelImage(12, 12));
  fields_.back = true;
  EXPECT_EQ(session_.Relief(fields_, view_), JobOutcome::Done);
  EXPECT_TRUE(board_.written.empty());
  EXPECT_FALSE(session_.HasTree());
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_EQ(session_.jobKind(), std::nullopt);
}

TEST_F(ReliefTest, BlackDiscIsCutByConcentricOutlinesOutermostFirst) {
  PixelImage picture(24, 24);
  for (int y = 1; y <= 24; ++y) {
    for (int x = 1; x <= 24; ++x) {
      if ((x - 12.5) * (x - 12.5) + (y - 12.5) * (y - 12.5) <= 81) picture.SetGrey(x, y, 0);
    }
  }
  Load(picture);
  fields_.back = true;
  EXPECT_EQ(session_.Relief(fields_, view_), JobOutcome::Done);
  const auto plunges = PlungePlaces(board_.written);
  ASSERT_GE(plunges.size(), 3u);
  EXPECT_LE(plunges.size(), 6u);
  for (std::size_t i = 0; i < plunges.size(); ++i) {
    EXPECT_EQ(plunges[i][2], -255);  // full depth every time
    if (i > 0) {
      EXPECT_GT(plunges[i][1], plunges[i - 1][1]) << "round " << i;  // further in
    }
  }
  // Back at the origin and at the surface.
  long x = 0, y = 0, z = 0;
  for (const std::string& line : board_.written) {
    const Move m = Fields4(line);
    x += m.x;
    y += m.y;
    z += m.z;
  }
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(z, 0);
  EXPECT_EQ(session_.x(), 1);
  EXPECT_EQ(session_.y(), 1);
  EXPECT_FALSE(session_.HasTree());
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_EQ(frontend_.dialogs, 0);
  EXPECT_EQ(session_.jobKind(), std::nullopt);
}

TEST_F(ReliefTest, FiguresThatCannotShrinkEndTheJobWithAMessage) {
  // A block in the top-left corner: its pixels along the edges lie in the
  // margin that "Отступить" never changes.
  PixelImage picture(20, 20);
  for (int y = 1; y <= 6; ++y) {
    for (int x = 1; x <= 6; ++x) picture.SetGrey(x, y, 0);
  }
  Load(picture);
  EXPECT_EQ(session_.Relief(fields_, view_), JobOutcome::Done);
  EXPECT_EQ(frontend_.dialogs, 0);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Внимание");
  EXPECT_EQ(frontend_.messages[0].text,
            "Фигуры больше не уменьшаются: «Отступить» не изменило рисунок.\r\n"
            "Резка рельефа остановлена.");
  EXPECT_TRUE(session_.HasTree());  // what is left stays shown
  EXPECT_LE(view_.trees, 12);       // a few rounds, not dozens
  EXPECT_EQ(session_.jobKind(), std::nullopt);
}

TEST_F(ReliefTest, OneStopEndsTheWholeReliefAndLeavesNoChainBehind) {
  PixelImage picture(16, 16);
  for (int y = 4; y <= 12; ++y) {
    for (int x = 4; x <= 12; ++x) picture.SetGrey(x, y, 0);
  }
  Load(picture);
  board_.onWait = [this](std::size_t n) {
    if (n == 3) link_.RequestStop();
  };
  EXPECT_EQ(session_.Relief(fields_, view_), JobOutcome::Stopped);
  EXPECT_EQ(frontend_.dialogs, 1);
  EXPECT_EQ(board_.written.size(), 3u);
  EXPECT_EQ(session_.jobKind(), std::nullopt);
  EXPECT_TRUE(frontend_.messages.empty());

  // "Все" afterwards is not chained: it clears the stop and returns home.
  board_.onWait = nullptr;
  board_.written.clear();
  session_.Parse(view_);
  fields_.back = true;
  EXPECT_EQ(session_.MillAll(fields_, view_), JobOutcome::Done);
  ASSERT_FALSE(board_.written.empty());
  const Move home = Fields4(board_.written.back());
  EXPECT_EQ(home.z, 0);
  EXPECT_EQ(home.delay, 0);
  EXPECT_EQ(session_.x(), 1);
}

}  // namespace
}  // namespace vertolin
