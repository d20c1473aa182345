#include "modes/cutting/stroke_cut.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "link/link.h"
#include "link/window_link.h"
#include "modes/cutting/cut_reference.h"
#include "modes/cutting/picture_filters.h"
#include "picture/pixel_image.h"
#include "support/recording_frontend.h"
#include "support/scripted_port.h"
#include "util/numbers.h"

namespace vertolin {
namespace {

using Lines = std::vector<std::string>;
using Pixels = std::vector<std::pair<int, int>>;

struct Fields : CutFields {
  std::string width;
  std::string delay = "1000";
  bool back = false;
  std::string Width() const override { return width; }
  std::string Delay() const override { return delay; }
  bool ReturnToStart() const override { return back; }
};

struct View : CutView {
  Pixels marked;
  int redraws = 0;
  void Marked(int x, int y) override { marked.emplace_back(x, y); }
  void Redraw() override { ++redraws; }
};

// A port that runs `onWait` with the number of lines written so far at the
// first read after each write: while the job waits for that line.
class HookedPort : public test::ScriptedPort {
 public:
  HookedPort(Shared& shared, std::function<void(std::size_t)>& onWait)
      : ScriptedPort(shared), shared_(shared), onWait_(onWait) {}
  void Write(std::string_view bytes) override {
    ScriptedPort::Write(bytes);
    waiting_ = true;
  }
  int ReadByte() override {
    if (std::exchange(waiting_, false) && onWait_) onWait_(shared_.written.size());
    return ScriptedPort::ReadByte();
  }

 private:
  Shared& shared_;
  std::function<void(std::size_t)>& onWait_;
  bool waiting_ = false;
};

PixelImage WithBlack(int w, int h, const Pixels& black) {
  PixelImage picture(w, h);
  for (const auto& [x, y] : black) picture.SetGrey(x, y, 0);
  return picture;
}

Pixels Row(int from, int to, int y) {
  Pixels pixels;
  for (int x = from; from <= to ? x <= to : x >= to; x += from <= to ? 1 : -1)
    pixels.emplace_back(x, y);
  return pixels;
}
Pixels Column(int x, int from, int to) {
  Pixels pixels;
  for (int y = from; y <= to; ++y) pixels.emplace_back(x, y);
  return pixels;
}
template <typename List>
List Join(std::initializer_list<List> parts) {
  List all;
  for (const List& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class StrokeCutTest : public ::testing::Test {
 protected:
  StrokeCutTest() {
    script_.ackEveryWrite = true;
    link_.profile().xRatio = 1;
    link_.profile().yRatio = 1;
    link_.profile().idleDelay = 2000;
    link_.Attach(std::make_unique<HookedPort>(script_, onWait_));
    window_.SetDriveSwitch([this] { return drive_; });
    // A wait that never ends would hang the test: leave it instead.
    frontend_.onEvents = [this] {
      if (++events_ > 100000) link_.SetClosing(true);
    };
  }

  // One motor step per pixel unless the width is set.
  JobResult Run(PixelImage& trace) {
    if (fields_.width.empty()) fields_.width = std::to_string(trace.width());
    return cut_.Run(trace, fields_, view_);
  }

  test::RecordingFrontend frontend_;
  Link link_{frontend_};
  test::ScriptedPort::Shared script_;
  std::function<void(std::size_t)> onWait_;
  WindowLink window_{link_, formats::kCutting};
  StrokeCut cut_{window_};
  Fields fields_;
  View view_;
  bool drive_ = true;
  int events_ = 0;
};

TEST_F(StrokeCutTest, StrokesOfTheDefinedShapes) {
  struct Case {
    const char* name;
    int w, h;
    Pixels black;
    Lines lines;
    Pixels marked;  // in the order cut
  };
  const Pixels ring = Join({Row(5, 9, 5), Row(5, 9, 9), Column(5, 6, 8), Column(9, 6, 8)});
  const Pixels tee = Join({Row(5, 15, 5), Column(10, 6, 11)});
  const std::vector<Case> cases = {
      {"isolated pixel",
       10,
       10,
       {{5, 4}},
       {"4,3,0,2000;", "0,0,1,1000;", "0,0,-1,2000;"},
       {{5, 4}}},
      {"line cut from its far end", 30, 10, Row(10, 20, 5),
       Join({Lines{"19,4,0,2000;", "0,0,1,1000;"}, Lines(10, "-1;"), Lines{"0,0,-1,2000;"}}),
       Row(20, 10, 5)},
      {"ring", 15, 15, ring,
       Join({Lines{"4,4,0,2000;", "0,0,1,1000;"}, Lines(4, "1;"), Lines(4, "0,1;"), Lines(4, "-1;"),
             Lines(3, "0,-1;"), Lines{"0,0,-1,2000;"}}),
       Join({Row(5, 9, 5), Column(9, 6, 9), Row(8, 5, 9), Pixels{{5, 8}, {5, 7}, {5, 6}}})},
      {"T shape", 20, 15, tee,
       Join({Lines{"14,4,0,2000;", "0,0,1,1000;"}, Lines(4, "-1;"), Lines{"-1,1;"},
             Lines(5, "0,1;"), Lines{"0,0,-1,2000;", "0,-6,0,2000;", "0,0,1,1000;"},
             Lines(5, "-1;"), Lines{"0,0,-1,2000;"}}),
       Join({Row(15, 11, 5), Column(10, 6, 11), Row(10, 5, 5)})},
      {"stroke in the last row", 12, 6, Row(3, 8, 6), {}, {}},
      {"stroke reaching the last row",
       12,
       6,
       Column(4, 4, 6),
       Join({Lines{"3,5,0,2000;", "0,0,1,1000;"}, Lines(2, "0,-1;"), Lines{"0,0,-1,2000;"}}),
       {{4, 6}, {4, 5}, {4, 4}}},
      {"blank picture", 9, 9, {}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    script_.written.clear();
    frontend_.messages.clear();
    view_.marked.clear();
    fields_.width.clear();
    PixelImage trace = WithBlack(c.w, c.h, c.black);
    const JobResult result = Run(trace);
    EXPECT_EQ(result, JobOutcome::Done);
    EXPECT_EQ(script_.written, c.lines);
    EXPECT_EQ(view_.marked, c.marked);
    EXPECT_EQ(result.acknowledged, result.linesSent);
    ASSERT_EQ(frontend_.messages.size(), 1u);
    EXPECT_EQ(frontend_.messages[0].title, "Vertolin");
    EXPECT_EQ(frontend_.messages[0].text, "Готово");
    EXPECT_EQ(trace, test::ReferenceCut(WithBlack(c.w, c.h, c.black), 2000, 1000, false).trace);
  }
}

TEST_F(StrokeCutTest, MarksTheTraceAroundCutPixelsInsideThePictureOnly) {
  PixelImage trace = WithBlack(6, 6, Row(1, 6, 1));  // along the top edge
  ASSERT_EQ(Run(trace), JobOutcome::Done);
  for (int x = 1; x <= 6; ++x) {
    for (int y = 1; y <= 2; ++y) {
      const std::uint8_t* pixel = trace.bytes().data() + trace.Offset(x, y);
      EXPECT_EQ(pixel[0] + pixel[1] * 256 + pixel[2] * 65536, 255 * 65536) << x << "," << y;
    }
    EXPECT_EQ(trace.Grey(x, 3), 255);
  }
}

TEST_F(StrokeCutTest, ASecondCutFindsNothingAndReturnsWithoutAMove) {
  PixelImage trace = WithBlack(20, 12, Join({Row(3, 15, 4), Column(8, 5, 10)}));
  fields_.back = true;
  ASSERT_EQ(Run(trace), JobOutcome::Done);
  EXPECT_FALSE(script_.written.empty());
  script_.written.clear();
  frontend_.messages.clear();
  EXPECT_EQ(Run(trace), JobOutcome::Done);
  EXPECT_TRUE(script_.written.empty());
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].text, "Готово");
  EXPECT_EQ(std::make_pair(cut_.x(), cut_.y()), std::make_pair(1, 1));
}

TEST_F(StrokeCutTest, BelowOneStepPerPixelTheFractionsAddUpAcrossStrokesAndCuts) {
  PixelImage trace = WithBlack(40, 5, Join({Row(2, 11, 2), Row(20, 29, 3)}));
  fields_.width = "16";  // 0.4 steps per pixel
  ASSERT_EQ(Run(trace), JobOutcome::Done);
  int sumX = 0;
  int moves = 0;
  for (const std::string& line : script_.written) {
    std::vector<int> fields;
    for (std::size_t at = 0; at < line.size(); at = line.find_first_of(",;", at) + 1) {
      fields.push_back(std::stoi(line.substr(at)));
    }
    if (fields.size() >= 3 && (fields[2] == 1 || fields[2] == -1)) continue;  // the laser's switch
    sumX += fields[0];
    ++moves;
  }
  // Travel to (11, 2), 9 steps left, travel to (29, 3), 9 steps left: the
  // head ends at pixel 20, 7.6 steps from pixel 1, never more than half a
  // step off; the moves that round to no step sent nothing.
  EXPECT_EQ(sumX, 8);
  EXPECT_EQ(window_.accounted()[0], 8);
  EXPECT_LT(moves, 2 + 18);
  // The next cut goes on from that carry: its travel of 2 pixels (0.8
  // steps) from pixel 1 to 3 ends at 8.4 and sends no X step.
  PixelImage again = WithBlack(40, 5, {{3, 2}});
  script_.written.clear();
  ASSERT_EQ(Run(again), JobOutcome::Done);
  EXPECT_EQ(window_.accounted()[0], 8);
  ASSERT_FALSE(script_.written.empty());
  EXPECT_EQ(script_.written[0], "0,0,0,2000;");
}

TEST_F(StrokeCutTest, OptimisationModeAwaitsOnlyWhatWasSent) {
  link_.profile().optim = 1;
  for (const int idle : {2000, 0}) {
    SCOPED_TRACE(idle);
    link_.profile().idleDelay = idle;
    script_.written.clear();
    // With no idle delay the travel to a start at (1, 1) sends nothing, so
    // there is no travel acknowledgement to collect.
    PixelImage trace = WithBlack(8, 8, Join({Pixels{{1, 1}}, Row(5, 7, 5)}));
    const JobResult result = Run(trace);
    EXPECT_EQ(result, JobOutcome::Done);
    EXPECT_EQ(result.acknowledged, result.linesSent);
    EXPECT_EQ(script_.reads.size(), 0u);
  }
}

TEST_F(StrokeCutTest, FieldsThatCannotCutRefuseWithAMessageAndSendNothing) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"abc", "1000"}, {"0", "1000"}, {"-5", "1000"}, {"100", "x"}, {"100", ""}};
  for (const auto& [width, delay] : cases) {
    SCOPED_TRACE(width + " / " + delay);
    frontend_.messages.clear();
    fields_.width = width;
    fields_.delay = delay;
    PixelImage trace = WithBlack(10, 10, Row(2, 6, 3));
    const PixelImage before = trace;
    EXPECT_EQ(Run(trace), JobOutcome::Refused);
    EXPECT_TRUE(script_.written.empty());
    EXPECT_EQ(trace, before);
    ASSERT_EQ(frontend_.messages.size(), 1u);
    EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
  }
}

TEST_F(StrokeCutTest, StopAndLostLinkEndWithTheLaserOff) {
  // "Стоп" while the third line (the first move along the line) is awaited.
  onWait_ = [this](std::size_t written) {
    if (written == 3) link_.RequestStop();
  };
  {
    SCOPED_TRACE("stop, then go on");
    frontend_.yesNoAnswers = {false};
    PixelImage trace = WithBlack(12, 4, Row(2, 6, 2));
    EXPECT_EQ(Run(trace), JobOutcome::Done);
    EXPECT_EQ(script_.written, (Lines{"5,1,0,2000;", "0,0,1,1000;", "-1;", "0,0,-1", "0,0,1", "-1;",
                                      "-1;", "-1;", "0,0,-1,2000;"}));
  }
  {
    SCOPED_TRACE("stop");
    script_.written.clear();
    frontend_.messages.clear();
    PixelImage trace = WithBlack(12, 4, Row(2, 6, 2));
    EXPECT_EQ(Run(trace), JobOutcome::Stopped);
    EXPECT_EQ(script_.written,
              (Lines{"5,1,0,2000;", "0,0,1,1000;", "-1;", "0,0,-1", "0,0,-1,2000;"}));
    EXPECT_TRUE(frontend_.messages.empty());  // no "Готово"
  }
  {
    SCOPED_TRACE("lost link");
    script_.written.clear();
    onWait_ = [this](std::size_t written) {
      if (written == 3) {
        script_.ackEveryWrite = false;
        script_.reads = {-2};
      }
    };
    PixelImage trace = WithBlack(12, 4, Row(2, 6, 2));
    EXPECT_EQ(Run(trace), JobOutcome::LinkLost);
    ASSERT_EQ(script_.written.size(), 4u);
    EXPECT_EQ(script_.written.back(), "0,0,-1,2000;");
  }
}

TEST_F(StrokeCutTest, AnEndSearchGoingRoundForEverEndsWhereItRepeats) {
  // One start (red 0) among pixels that are on a stroke but cannot start one
  // (red 50): the search from (2, 3) goes round below it and never comes
  // back to the start. Unbounded, it would never end.
  PixelImage trace(5, 8);
  for (const auto& [x, y] :
       Pixels{{2, 2}, {1, 3}, {3, 3}, {2, 4}, {1, 5}, {2, 5}, {1, 7}, {2, 7}, {3, 7}}) {
    trace.SetPixel(x, y, 50, 50, 50);
  }
  trace.SetPixel(2, 3, 0, 0, 0);
  const PixelImage before = trace;
  ASSERT_EQ(Run(trace), JobOutcome::Done);
  ASSERT_FALSE(script_.written.empty());
  EXPECT_EQ(script_.written[0], "1,3,0,2000;");  // to (2, 4), where the search repeated
  EXPECT_EQ(trace, test::ReferenceCut(before, 2000, 1000, false).trace);
}

TEST_F(StrokeCutTest, DryRunPaintsTheSameAndSendsNothing) {
  drive_ = false;
  PixelImage trace = WithBlack(20, 15, Join({Row(5, 15, 5), Column(10, 6, 11)}));
  PixelImage expected = trace;
  EXPECT_EQ(Run(trace), JobOutcome::Done);
  EXPECT_TRUE(script_.written.empty());
  EXPECT_EQ(trace, test::ReferenceCut(expected, 2000, 1000, false).trace);
}

// Random pictures: noise with every kind of red byte, and line drawings as
// the processing run leaves them (the thinning of random blobs).
PixelImage RandomPicture(std::mt19937& random, int round) {
  const int w = 3 + static_cast<int>(random() % 28);
  const int h = 3 + static_cast<int>(random() % 28);
  PixelImage picture(w, h);
  const std::uint8_t reds[] = {0, 0, 0, 40, 100, 101, 200, 255};
  const unsigned density = 1 + random() % 6;
  for (int y = 1; y <= h; ++y) {
    for (int x = 1; x <= w; ++x) {
      if (random() % 8 >= density) continue;
      const std::uint8_t red = round % 2 == 0 ? reds[random() % 8] : 0;
      picture.SetPixel(x, y, red, red, red);
    }
  }
  if (round % 2 == 1) {
    while (RemovePatterns(picture)) {
    }
  }
  return picture;
}

TEST_F(StrokeCutTest, MatchesTheDirectFormOnRandomPictures) {
  std::mt19937 random(12);
  for (int round = 0; round < 400; ++round) {
    SCOPED_TRACE(round);
    const PixelImage picture = RandomPicture(random, round);
    fields_.width.clear();
    fields_.back = round % 3 == 0;
    script_.written.clear();
    PixelImage trace = picture;
    ASSERT_EQ(Run(trace), JobOutcome::Done);
    const test::ReferenceCutResult expected = test::ReferenceCut(picture, 2000, 1000, fields_.back);
    ASSERT_EQ(script_.written, expected.lines);
    ASSERT_EQ(trace, expected.trace);
  }
}

}  // namespace
}  // namespace vertolin
