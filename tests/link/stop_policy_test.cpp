#include "link/stop_policy.h"

#include <gtest/gtest.h>

#include <string>

namespace vertolin {
namespace {

// Records what a stop did, as letters: D the dialog, Q the question, 0 and 1
// the laser paused and lit again.
struct Recorder : StopActions {
  bool answer = false;  // the dialog goes on / the question says stop
  std::string done;
  bool InterruptionGoesOn() override {
    done += 'D';
    return answer;
  }
  bool AskToStop() override {
    done += 'Q';
    return answer;
  }
  void PauseLaser(bool on) override { done += on ? '1' : '0'; }
};

TEST(StopPolicy, EachWindowReactsAsItsFormatSaysAndALaserIsNeverLeftLitByAStop) {
  using O = LinkFormat::OnStop;
  const struct {
    O onStop;
    bool lit;
    bool answer;
    StopDecision decision;
    const char* done;
  } cases[] = {
      {O::InterruptionDialog, false, true, StopDecision::GoOn, "D"},
      {O::InterruptionDialog, false, false, StopDecision::Stop, "D"},
      {O::Question, false, true, StopDecision::Stop, "Q"},
      {O::Question, true, false, StopDecision::GoOn, "Q"},  // the raster's laser is per line
      {O::LaserOffThenQuestion, true, false, StopDecision::GoOn, "0Q1"},
      {O::LaserOffThenQuestion, true, true, StopDecision::Stop, "0Q"},
      {O::LaserOffThenQuestion, false, false, StopDecision::GoOn, "Q"},
      {O::EndAtOnce, false, false, StopDecision::Stop, ""},
      {O::None, false, false, StopDecision::Stand, ""},
  };
  for (const auto& c : cases) {
    Recorder actions;
    actions.answer = c.answer;
    EXPECT_EQ(DecideStop(c.onStop, c.lit, actions), c.decision)
        << static_cast<int>(c.onStop) << " lit " << c.lit;
    EXPECT_EQ(actions.done, c.done) << static_cast<int>(c.onStop) << " lit " << c.lit;
  }
}

}  // namespace
}  // namespace vertolin
