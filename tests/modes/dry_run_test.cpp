#include "modes/dry_run.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/link_format.h"
#include "support/recording_frontend.h"
#include "support/scripted_port.h"

namespace vertolin {
namespace {

// 0.3 steps per unit: ten dry moves advance the carry to 3 whole steps.
TEST(DryRunScopeTest, GivesTheCarryBackUnlessTheSwitchWasTickedDuringTheRun) {
  test::RecordingFrontend frontend;
  Link link(frontend);
  test::ScriptedPort::Shared script;
  script.ackEveryWrite = true;
  link.Attach(std::make_unique<test::ScriptedPort>(script));
  WindowLink window(link, formats::kRouter);
  bool drive = false;
  window.SetDriveSwitch([&drive] { return drive; });
  const StepScale scale{0.3, 0.3, 1};
  const auto move = [&] { window.Send({MotionKind::Cut, 1, 0, 0, 0}, scale, true); };

  {
    const DryRunScope dry(window);
    EXPECT_TRUE(dry.dry());
    for (int i = 0; i < 10; ++i) move();
    EXPECT_TRUE(dry.StayedDry());
    EXPECT_EQ(window.accounted()[0], 3);
  }
  EXPECT_EQ(window.accounted()[0], 0);  // as if the dry run had never been
  EXPECT_TRUE(script.written.empty());

  // Ticked during the run: the rest went out from where the dry part had
  // left the carry, which stays.
  {
    const DryRunScope dry(window);
    for (int i = 0; i < 10; ++i) move();
    drive = true;
    move();  // exact 3.3, accounted 3: nothing to send
    move();  // exact 3.6: one step
    EXPECT_FALSE(dry.StayedDry());
  }
  EXPECT_EQ(script.written, std::vector<std::string>{"1,0,0,0;"});
  EXPECT_EQ(window.accounted()[0], 4);

  // A run that starts real is not dry, whatever happens to the switch.
  const DryRunScope real(window);
  EXPECT_FALSE(real.dry());
  EXPECT_FALSE(real.StayedDry());
}

}  // namespace
}  // namespace vertolin
