// A count ahead must be what the job then sends, and must leave what the
// job works on as it was: every kind of job is counted, then run on an
// answering port, and the two sets of lines compared as the estimator sees
// them (lines, bytes, steps per axis, tool share, seconds).
#include "jobs/job_count.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/print_port.h"
#include "link/link.h"
#include "link/window_link.h"
#include "modes/cutting/stroke_cut.h"
#include "modes/engraving/raster_job.h"
#include "modes/milling/milling_session.h"
#include "modes/outlining/outlining_session.h"
#include "modes/scanner/scan_job.h"
#include "picture/pixel_image.h"
#include "support/recording_frontend.h"

namespace vertolin {
namespace {

struct RasterJobFields : RasterFields {
  std::string StepsPerPixel() const override { return "10"; }
  std::string LightDelay() const override { return "100"; }
  std::string DarkDelay() const override { return "4000"; }
  std::string Width() const override { return "0,3"; }  // 6 px of 10 steps of 0.005 mm
  bool ReturnToStart() const override { return true; }
  bool DrawEachPixel() const override { return false; }
};

struct FigureJobFields : FigureFields {
  std::string Width() const override { return "0,8"; }
  std::string Depth() const override { return "1,275"; }
  std::string Diameter() const override { return "0,1"; }
  std::string Delay() const override { return "4000"; }
  bool ReturnToOrigin() const override { return true; }
};

struct CutJobFields : CutFields {
  std::string Width() const override { return "0,6"; }
  std::string Delay() const override { return "1000"; }
  bool ReturnToStart() const override { return true; }
};

struct Unseen : RasterProgress, FigureView, CutView, ScanProgress {
  void Burned(int, int, bool) override {}
  void ShowAll() override {}
  void ProgressPainted(const PixelBox&) override {}
  void LayersChanged() override {}
  void TreeChanged() override {}
  void Marked(int, int) override {}
  void Redraw() override {}
  void Measured(int, int, std::int32_t) override {}
};

// Two nested grey discs on white: figures, depths and holes for the figure
// jobs, a gradient for the raster.
PixelImage Discs(int side) {
  PixelImage picture(side, side);
  const double middle = (side + 1) / 2.0;
  for (int y = 1; y <= side; ++y) {
    for (int x = 1; x <= side; ++x) {
      const double d2 = (x - middle) * (x - middle) + (y - middle) * (y - middle);
      const double r2 = side * side / 9.0;
      if (d2 <= r2) picture.SetGrey(x, y, d2 <= r2 / 4 ? 0 : 100);
    }
  }
  return picture;
}

// What a job works on, as bytes: equal before and after a count.
std::string State(const FigureSession& session) {
  std::string state;
  for (const PixelImage* layer :
       {&session.base(), &session.work(), &session.selection(), &session.progress()}) {
    state.append(layer->bytes().begin(), layer->bytes().end());
  }
  if (const FigureSet* set = session.figures()) {
    for (int f = 1; f <= set->figures.size(); ++f) state += std::to_string(set->figures[f].state);
  }
  return state + "@" + std::to_string(session.x()) + "," + std::to_string(session.y());
}
std::string State(const PixelImage& picture) {
  return {picture.bytes().begin(), picture.bytes().end()};
}

TEST(JobCount, CountsWhatTheJobSendsAndLeavesItsWorkAsItWas) {
  struct Case {
    const char* name;
    const LinkFormat& format;
    bool optimised;
    // Makes the job's objects for `window` and gives its three parts.
    std::function<void(WindowLink& window, std::function<std::optional<JobEstimate>()>& count,
                       std::function<JobResult()>& run, std::function<std::string()>& state)>
        make;
  };
  // The objects live on across the calls of count, run and state.
  std::shared_ptr<void> held;
  const RasterJobFields rasterFields;
  const FigureJobFields figureFields;
  const CutJobFields cutFields;
  Unseen unseen;

  const auto figureCase = [&](auto newSession, const FigureJobRun job) {
    return [&, newSession, job](WindowLink& window, auto& count, auto& run, auto& state) {
      std::shared_ptr<FigureSession> session = newSession(window);
      held = session;
      session->Reset();
      session->LoadPicture(Discs(24));
      session->Parse(unseen);
      count = [&, session, newSession, job] {
        return session->Count(newSession, figureFields, job);
      };
      run = [&, session, job] { return job(*session, figureFields, unseen); };
      state = [session] { return State(*session); };
    };
  };
  const auto milling = [](WindowLink& w) -> std::shared_ptr<FigureSession> {
    return std::make_shared<MillingSession>(w);
  };
  const auto outlining = [](WindowLink& w) -> std::shared_ptr<FigureSession> {
    return std::make_shared<OutliningSession>(w);
  };
  const FigureJobRun all = [](FigureSession& s, const FigureFields& f, FigureView& v) {
    return s.MillAll(f, v);
  };
  const FigureJobRun selected = [](FigureSession& s, const FigureFields& f, FigureView& v) {
    return s.MillSelected(s.figures()->tree.nodes().back().figure, f, v);
  };
  const FigureJobRun relief = [](FigureSession& s, const FigureFields& f, FigureView& v) {
    return s.Relief(f, v);
  };

  const std::vector<Case> cases = {
      {"gradation", formats::kGradation, false,
       [&](WindowLink& window, auto& count, auto& run, auto& state) {
         auto picture = std::make_shared<PixelImage>(Discs(6));
         held = picture;
         count = [&window, &rasterFields, picture] {
           return CountRasterJob(window, *picture, rasterFields);
         };
         run = [&, picture] { return RunRasterJob(window, *picture, rasterFields, unseen); };
         state = [picture] { return State(*picture); };
       }},
      {"milling, all", formats::kRouter, false, figureCase(milling, all)},
      {"milling, all, optimised", formats::kRouter, true, figureCase(milling, all)},
      {"milling, selected", formats::kRouter, false, figureCase(milling, selected)},
      {"milling, relief", formats::kRouter, false, figureCase(milling, relief)},
      {"outlining, fill", formats::kOutlining, false, figureCase(outlining, relief)},
      {"cut", formats::kCutting, true,
       [&](WindowLink& window, auto& count, auto& run, auto& state) {
         auto trace = std::make_shared<PixelImage>(12, 12);
         for (int i = 2; i <= 10; ++i) {
           trace->SetGrey(i, 3, 0);
           trace->SetGrey(4, i, 0);
         }
         auto cut = std::make_shared<StrokeCut>(window);
         held = std::make_shared<std::pair<decltype(trace), decltype(cut)>>(trace, cut);
         count = [&, trace, cut] { return cut->Count(*trace, cutFields); };
         run = [&, trace, cut] { return cut->Run(*trace, cutFields, unseen); };
         state = [trace] { return State(*trace); };
       }},
      {"scan", formats::kScanner, false,
       [&](WindowLink& window, auto& count, auto& run, auto& state) {
         const MachineProfile& profile = window.link().profile();
         const ScanFields fields{"4", "5", "2", "3", profile.xRatio, profile.yRatio};
         count = [&window, fields] { return CountScan(window, fields); };
         run = [&, fields] {
           HeightMap map;
           return RunScan(window, fields, map, unseen).job;
         };
         state = [] { return std::string(); };
       }},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::RecordingFrontend frontend;
    MachineProfile profile;
    profile.optim = c.optimised ? 1 : 0;
    Link link(frontend, profile);
    std::optional<JobEstimator> sent;
    sent.emplace(profile.idleDelay, profile.baud);
    auto port = std::make_unique<PrintPort>([](std::string_view) {}, c.format.kind.front());
    port->AnswerProbes(std::deque<std::int32_t>(20, 7));
    WindowLink window(link, c.format);
    window.AddMotionObserver(&*sent);
    window.AddMotionObserver(port.get());
    link.Attach(std::move(port));
    window.SetDriveSwitch([] { return true; });

    std::function<std::optional<JobEstimate>()> count;
    std::function<JobResult()> run;
    std::function<std::string()> state;
    c.make(window, count, run, state);
    sent.emplace(profile.idleDelay, profile.baud);  // the set-up's own lines are not the job's

    const std::string before = state();
    const std::optional<JobEstimate> counted = count();
    ASSERT_TRUE(counted.has_value());
    EXPECT_EQ(state(), before) << "the count changed what the job works on";
    EXPECT_EQ(sent->estimate().lines, 0) << "the count sent through the real link";
    EXPECT_TRUE(frontend.messages.empty());

    EXPECT_EQ(run().outcome, JobOutcome::Done);
    EXPECT_GT(counted->lines, 5);
    EXPECT_EQ(EstimateJson(*counted), EstimateJson(sent->estimate()));
    held.reset();
  }
}

// No total is better than a wrong one: a job that refuses, and a dry run,
// which sends nothing, have no count; the refusal is left for the job to say.
TEST(JobCount, RefusedAndDryJobsHaveNoCount) {
  test::RecordingFrontend frontend;
  Link link(frontend);
  WindowLink window(link, formats::kGradation);
  bool drive = true;
  window.SetDriveSwitch([&] { return drive; });
  const PixelImage picture = Discs(6);
  struct BadWidth : RasterJobFields {
    std::string Width() const override { return "abc"; }
  };
  EXPECT_FALSE(CountRasterJob(window, picture, BadWidth()).has_value());
  EXPECT_TRUE(frontend.messages.empty());
  EXPECT_TRUE(CountRasterJob(window, picture, RasterJobFields()).has_value());
  drive = false;
  EXPECT_FALSE(CountRasterJob(window, picture, RasterJobFields()).has_value());
  // A job that waits for an answer the counting port never gives ends the
  // count instead of waiting for ever.
  drive = true;
  EXPECT_FALSE(CountJob(window, [](WindowLink& counting) {
                 counting.AwaitAck();
                 counting.AwaitAck();
                 return JobResult{JobOutcome::Done};
               }).has_value());
}

}  // namespace
}  // namespace vertolin
