#include "link/reply_buffer.h"

#include <gtest/gtest.h>

namespace vertolin {
namespace {

void Feed(ReplyBuffer& buffer, std::string_view bytes) {
  for (const char c : bytes) buffer.Append(c);
}

TEST(ReplyBuffer, OneAcknowledgementIsTakenPerWait) {
  ReplyBuffer buffer;
  Feed(buffer, "T\r\n");
  ASSERT_TRUE(buffer.HasAck());
  buffer.ConsumeAck();
  EXPECT_EQ(buffer.text(), "");
  EXPECT_FALSE(buffer.HasAck());

  Feed(buffer, "TT");
  buffer.ConsumeAck();
  EXPECT_EQ(buffer.text(), "T");
  EXPECT_TRUE(buffer.HasAck());  // the next wait returns at once
  buffer.ConsumeAck();
  EXPECT_FALSE(buffer.HasAck());
}

TEST(ReplyBuffer, NoiseBeforeAnAcknowledgementDoesNotCountAsOne) {
  ReplyBuffer buffer;
  Feed(buffer, "x\r\nyT");
  buffer.ConsumeAck();
  EXPECT_EQ(buffer.text(), "");
  EXPECT_FALSE(buffer.HasAck());
}

TEST(ReplyBuffer, EndlessTalkWithoutAnAcknowledgementStaysBounded) {
  ReplyBuffer buffer;
  for (int i = 0; i < 100000; ++i) buffer.Append(static_cast<char>('a' + i % 19));
  EXPECT_LE(buffer.text().size(), ReplyBuffer::kLimit);
  EXPECT_FALSE(buffer.HasAck());
  buffer.Append('T');
  EXPECT_TRUE(buffer.HasAck());
  buffer.ConsumeAck();
  EXPECT_FALSE(buffer.HasAck());
}

}  // namespace
}  // namespace vertolin
