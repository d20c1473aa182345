#include "link/grbl_reply.h"

#include <gtest/gtest.h>

#include <string>

namespace vertolin {
namespace {

// One line of each kind grbl 1.1 sends, and lines that only look like one.
TEST(GrblReply, EveryLineIsReadAsWhatItIs) {
  using namespace grbl;
  EXPECT_TRUE(std::holds_alternative<Ok>(ParseReply("ok")));
  EXPECT_TRUE(std::holds_alternative<Ok>(ParseReply("ok\r")));
  EXPECT_EQ(std::get<Error>(ParseReply("error:22")).code, 22);
  EXPECT_EQ(std::get<Alarm>(ParseReply("ALARM:5")).code, 5);
  EXPECT_EQ(std::get<Banner>(ParseReply("Grbl 1.1h ['$' for help]")).version, "1.1h");
  EXPECT_EQ(std::get<Setting>(ParseReply("$100=80.000")).value, 80.0);
  EXPECT_EQ(std::get<Setting>(ParseReply("$32=1")).number, 32);
  const auto probe = std::get<ProbeResult>(ParseReply("[PRB:1.000,-2.500,-3.250:1]"));
  EXPECT_TRUE(probe.touched);
  EXPECT_EQ(probe.position[2], -3.25);
  EXPECT_FALSE(std::get<ProbeResult>(ParseReply("[PRB:0.000,0.000,0.000:0]")).touched);
  const auto message = std::get<Feedback>(ParseReply("[MSG:'$H'|'$X' to unlock]"));
  EXPECT_EQ(message.kind, "MSG");
  EXPECT_EQ(message.text, "'$H'|'$X' to unlock");
  EXPECT_EQ(std::get<Feedback>(ParseReply("[VER:1.1h.20190825:]")).kind, "VER");

  // Damaged or foreign lines are nothing grbl defines, never an answer.
  for (const char* line : {"ok?", "error:", "error:x", "ALARM:", "<>", "<Run|MPos:1,2>",
                           "<Idle|MPos:a,0,0>", "[PRB:1,2:1]", "$=5", "okay", "", "T"}) {
    EXPECT_TRUE(std::holds_alternative<Other>(ParseReply(line))) << line;
  }
}

TEST(GrblReply, StatusReportsGiveStatePositionAndRoom) {
  using namespace grbl;
  const auto run =
      std::get<Status>(ParseReply("<Run|MPos:1.000,-2.000,0.500|Bf:12,87|FS:500,300>"));
  EXPECT_EQ(run.state, "Run");
  ASSERT_TRUE(run.machine);
  EXPECT_EQ((*run.machine)[1], -2.0);
  EXPECT_FALSE(run.work);
  EXPECT_EQ(run.blocksFree, 12);
  EXPECT_EQ(run.bytesFree, 87);

  const auto hold =
      std::get<Status>(ParseReply("<Hold:0|WPos:0.000,0.000,0.000|FS:0,0|WCO:1,2,3>"));
  EXPECT_EQ(hold.state, "Hold:0");
  EXPECT_EQ(StateName(hold.state), "Hold");
  EXPECT_TRUE(hold.work);
  EXPECT_FALSE(hold.blocksFree);  // the report mask did not ask for it
  ASSERT_TRUE(hold.offset);
  EXPECT_EQ((*hold.offset)[2], 3.0);

  // A fourth axis is the board's own.
  EXPECT_TRUE(std::get<Status>(ParseReply("<Idle|MPos:1,2,3,4>")).machine);
}

TEST(GrblReply, EveryNumberGrblDefinesIsExplained) {
  for (int code = 1; code <= 38; ++code) {
    if (code == 18 || code == 19) continue;  // unused by grbl 1.1
    EXPECT_FALSE(grbl::ErrorMeaning(code).empty()) << code;
  }
  for (int code = 1; code <= 9; ++code) EXPECT_FALSE(grbl::AlarmMeaning(code).empty()) << code;
  EXPECT_TRUE(grbl::ErrorMeaning(99).empty());
}

}  // namespace
}  // namespace vertolin
