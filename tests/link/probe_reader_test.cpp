#include "link/probe_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace vertolin {
namespace {

using Status = ProbeReader::Status;

// Feeds the pieces in turn; the result of the first piece that ends the reply.
ProbeReader::Result FeedAll(ProbeReader& reader, const std::vector<std::string>& pieces) {
  ProbeReader::Result result;
  for (const std::string& piece : pieces) {
    result = reader.Feed(piece);
    if (result.status != Status::NeedMore) break;
  }
  return result;
}

TEST(ProbeReaderTest, RepliesInPieces) {
  struct Case {
    std::vector<std::string> pieces;
    Status status;
    std::int32_t value = 0;
    std::size_t consumed = 0;  // of the last piece fed
  };
  const Case cases[] = {
      {{"137OK\r\n"}, Status::Value, 137, 5},
      {{"-15OK"}, Status::Value, 15, 5},  // the sign is not read
      {{"1", "3", "7O", "K"}, Status::Value, 137, 1},
      {{"\r\n13", "7O\r", "\nK"}, Status::Value, 137, 2},  // line ends split "OK" too
      {{"2147483647OK"}, Status::Value, 2147483647, 12},
      {{"2147483648OK"}, Status::ReadError, 0, 10},
      {{"99999", "999999OK"}, Status::ReadError, 0, 5},
      {{"137", "O"}, Status::NeedMore, 0, 1},
      {{"K137"}, Status::NeedMore, 0, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.pieces));
    ProbeReader reader;
    const ProbeReader::Result result = FeedAll(reader, c.pieces);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.value, c.value);
    EXPECT_EQ(result.consumed, c.consumed);
  }
}

TEST(ProbeReaderTest, EachReplyStartsAfresh) {
  ProbeReader reader;
  const std::string piece = "5OK7";
  const ProbeReader::Result first = reader.Feed(piece);
  EXPECT_EQ(first.value, 5);
  EXPECT_EQ(reader.Feed(piece.substr(first.consumed) + "7OK").value, 77);
  EXPECT_EQ(reader.Feed("99999999999").status, Status::ReadError);
  EXPECT_EQ(reader.Feed("3OK").value, 3);
}

// The reply read whole, the plain way: drop line ends and the final "OK",
// then every digit in turn, in 64 bits; nothing past 32 bits.
std::optional<std::int32_t> Reference(const std::string& reply) {
  std::string text;
  for (const char c : reply) {
    if (c != '\r' && c != '\n') text += c;
  }
  text.resize(text.size() - 2);
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') continue;
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

TEST(ProbeReaderTest, MatchesTheWholeReplyReadAtOnceWhateverThePieces) {
  std::mt19937 random(7);
  const std::string alphabet = "0123456789-+\r\nT ";
  for (int n = 0; n < 500; ++n) {
    std::string reply;
    const int length = std::uniform_int_distribution<int>(0, 14)(random);
    for (int i = 0; i < length; ++i) {
      reply += alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(random)];
    }
    reply += n % 3 == 0 ? "O\r\nK" : "OK";
    SCOPED_TRACE(reply);

    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < reply.size();) {
      const std::size_t size = std::uniform_int_distribution<std::size_t>(1, 4)(random);
      pieces.push_back(reply.substr(at, size));
      at += size;
    }
    ProbeReader reader;
    const ProbeReader::Result result = FeedAll(reader, pieces);
    const std::optional<std::int32_t> expected = Reference(reply);
    ASSERT_EQ(result.status, expected ? Status::Value : Status::ReadError);
    if (expected) {
      EXPECT_EQ(result.value, *expected);
    }
  }
}

}  // namespace
}  // namespace vertolin
