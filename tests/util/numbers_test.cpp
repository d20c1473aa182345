#include "util/numbers.h"

#include <gtest/gtest.h>

#include <utility>

namespace vertolin {
namespace {

TEST(Numbers, BothDecimalSeparatorsAreAccepted) {
  EXPECT_EQ(ParseNumber("0,01"), 0.01);
  EXPECT_EQ(ParseNumber("0.01"), 0.01);
  EXPECT_EQ(ParseNumber(" -2,5 "), -2.5);
  EXPECT_EQ(ParseNumber("+3"), 3.0);
  EXPECT_EQ(ParseNumber("1,5e3"), 1500.0);
  EXPECT_EQ(ParseNumber(",5"), 0.5);
}

TEST(Numbers, TextThatIsNotWhollyANumberIsRefused) {
  for (const char* text : {"", " ", "-", "abc", "1,2,3", "1.2.3", "12abc", "1e", "1e+", "--1", ",",
                           "1 2", "nan", "inf", "1e999"}) {
    EXPECT_FALSE(ParseNumber(text)) << text;
  }
}

TEST(Numbers, HalvesRoundToEven) {
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(2.500001), 3);
  EXPECT_EQ(RoundToInt32(2147483647.4), 2147483647);
  EXPECT_FALSE(RoundToInt32(2147483647.6));
  EXPECT_FALSE(RoundToInt32(-2147483649.0));
  EXPECT_FALSE(RoundToInt32(1.0 / 0.0));
}

TEST(Numbers, TextsOfNumbers) {
  EXPECT_EQ(IntText(-120), "-120");
  EXPECT_EQ(IntText(0), "0");
  EXPECT_EQ(FieldText(0.5), "0,5");
  EXPECT_EQ(FieldText(100), "100");
  EXPECT_EQ(FieldText(1.0 / 3.0), "0,333333333333333");
}

}  // namespace
TEST(Numbers, CountsTakeTheirRussianWordForm) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "0 строк"},    {1, "1 строку"},   {2, "2 строки"},    {4, "4 строки"},
      {5, "5 строк"},    {11, "11 строк"},  {12, "12 строк"},   {14, "14 строк"},
      {21, "21 строку"}, {22, "22 строки"}, {111, "111 строк"}, {1001, "1001 строку"},
  };
  for (const auto& [count, text] : cases) {
    EXPECT_EQ(CountText(count, "строку", "строки", "строк"), text) << count;
  }
}

}  // namespace vertolin
