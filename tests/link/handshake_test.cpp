#include "link/handshake.h"

#include <gtest/gtest.h>

#include "link/link.h"
#include "link/link_error.h"
#include "link/reply_buffer.h"
#include "link/sim_port.h"
#include "link/texts.h"
#include "support/recording_frontend.h"
#include "support/scripted_port.h"

namespace vertolin {
namespace {

TEST(FirmwareReply, ModeWindowsAcceptExactlyTheirKind) {
  const auto milling = JudgeFirmwareReply("MT", "MT");
  EXPECT_TRUE(milling.driveEnabled);
  EXPECT_EQ(milling.status, texts::kStatusOpen);
  EXPECT_EQ(milling.warning, HandshakeResult::Warning::None);

  const auto wrong = JudgeFirmwareReply("PT", "MT");
  EXPECT_FALSE(wrong.driveEnabled);
  EXPECT_EQ(wrong.status, texts::kStatusWrongFirmware);
  EXPECT_EQ(wrong.warning, HandshakeResult::Warning::WrongFirmware);
  EXPECT_EQ(wrong.WarningText(), "");  // the dialog's default text

  const auto silent = JudgeFirmwareReply("", "PT");
  EXPECT_FALSE(silent.driveEnabled);
  EXPECT_EQ(silent.status, texts::kStatusNoAnswer);
  EXPECT_EQ(silent.WarningText(), texts::kWarningOutdated);

  EXPECT_FALSE(JudgeFirmwareReply("MTT", "MT").driveEnabled);
}

TEST(FirmwareReply, AnyKindNeedsATAsSecondCharacter) {
  const auto x = JudgeFirmwareReply("XT", kAnyKind);
  EXPECT_TRUE(x.driveEnabled);
  EXPECT_EQ(x.kindLetter, 'X');
  EXPECT_FALSE(JudgeFirmwareReply("T", kAnyKind).driveEnabled);  // second character is "_"
  EXPECT_EQ(JudgeFirmwareReply("T", kAnyKind).status, texts::kStatusWrongFirmware);
  EXPECT_EQ(JudgeFirmwareReply("", kAnyKind).status, texts::kStatusNoAnswer);
  EXPECT_TRUE(JudgeFirmwareReply("MTxyz", kAnyKind).driveEnabled);
}

class HandshakeTest : public ::testing::Test {
 protected:
  HandshakeTest() {
    // A clock that moves a second per look keeps the windows short.
    link_.wholeSeconds = [this] { return seconds_++; };
  }

  SimulatedBoard& UseBoard(char kind, BoardFaults faults = {}) {
    auto port = std::make_unique<SimPort>(SimulatedBoard(kind, std::move(faults)));
    auto& board = port->board();
    link_.Attach(std::move(port));
    return board;
  }

  test::RecordingFrontend frontend_;
  Link link_{frontend_};
  std::int64_t seconds_ = 0;
};

TEST_F(HandshakeTest, EveryKindIsRecognisedByItsWindow) {
  for (const char kind : {'M', 'S', 'P', 'B', 'O'}) {
    UseBoard(kind);
    link_.RequestStop();  // a window's load clears it
    const std::string code = std::string(1, kind) + "T";
    const auto result = RunHandshake(link_, code);
    EXPECT_TRUE(result.driveEnabled) << kind;
    EXPECT_EQ(result.reply, code);
    EXPECT_FALSE(link_.StopRequested());
  }
}

TEST_F(HandshakeTest, LineEndsAroundTheReplyAreIgnored) {
  BoardFaults crlf;
  crlf.crlf = true;
  UseBoard('M', crlf);
  EXPECT_TRUE(RunHandshake(link_, "MT").driveEnabled);
}

TEST_F(HandshakeTest, SilentBoardGivesAnEmptyReplyWithinTheWindow) {
  BoardFaults silent;
  silent.silent = true;
  UseBoard('M', silent);
  const auto result = RunHandshake(link_, "MT");
  EXPECT_EQ(result.reply, "");
  EXPECT_EQ(result.status, texts::kStatusNoAnswer);
}

TEST_F(HandshakeTest, NoPortMeansNoHandshake) {
  const auto result = RunHandshake(link_, "MT");
  EXPECT_EQ(result.status, texts::kStatusNoPort);
  EXPECT_FALSE(result.driveEnabled);
  EXPECT_EQ(result.warning, HandshakeResult::Warning::None);
}

TEST_F(HandshakeTest, SettleSwallowsAStaleAcknowledgementBeforeTheQuery) {
  test::ScriptedPort::Shared script;
  auto port = std::make_unique<test::ScriptedPort>(script);
  port->Script("T");  // left over from a move sent before
  link_.Attach(std::move(port));
  SettleLink(link_);
  script.reads = {-1, 'P', 'T', '\r', '\n'};  // the reply comes after the query
  EXPECT_EQ(QueryFirmware(link_), "PT");
  EXPECT_EQ(script.written, std::vector<std::string>{"V;"});
}

// A window closed mid-job leaves the acknowledgements of its lines ahead; the
// settling takes one, the query drops the rest before it asks.
TEST_F(HandshakeTest, StaleAcknowledgementsAreNotTakenForTheReply) {
  test::ScriptedPort::Shared script;
  script.reads = {'T', '\r', '\n', 'T', 'T', -1, 'P', 'T'};
  link_.Attach(std::make_unique<test::ScriptedPort>(script));
  const auto result = RunHandshake(link_, "PT");
  EXPECT_EQ(result.reply, "PT");
  EXPECT_TRUE(result.driveEnabled);
  EXPECT_EQ(script.written, std::vector<std::string>{"V;"});
}

TEST_F(HandshakeTest, ReadFailureIsToldAndRaised) {
  test::ScriptedPort::Shared script;
  script.reads = {-2};
  link_.Attach(std::make_unique<test::ScriptedPort>(script));
  EXPECT_THROW(RunHandshake(link_, "MT"), LinkError);
  EXPECT_TRUE(link_.StopRequested());
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].text, texts::kReadError);
}

TEST_F(HandshakeTest, BoardThatTalksWithoutEndCannotHoldTheQuery) {
  BoardFaults babble;
  babble.babble = true;
  UseBoard('M', babble);
  const std::string reply = QueryFirmware(link_);
  EXPECT_FALSE(JudgeFirmwareReply(reply, "MT").driveEnabled);
  EXPECT_LE(reply.size(), ReplyBuffer::kLimit);
}

}  // namespace
}  // namespace vertolin
