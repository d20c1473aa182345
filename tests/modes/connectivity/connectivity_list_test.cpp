#include "modes/connectivity/connectivity_list.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/recording_frontend.h"

namespace vertolin {
namespace {

std::vector<int> LitCells(std::int32_t number) {
  std::vector<int> lit;
  const auto cells = PatternCells(number);
  for (int k = 1; k <= kPatternCells; ++k) {
    if (cells[k - 1]) lit.push_back(k);
  }
  return lit;
}

TEST(PatternCellsTest, BitKMinusOneLightsCellK) {
  EXPECT_EQ(LitCells(0), std::vector<int>{});
  EXPECT_EQ(LitCells(16), std::vector<int>{5});
  EXPECT_EQ(LitCells(19), (std::vector<int>{1, 2, 5}));
  EXPECT_EQ(LitCells(256), std::vector<int>{9});
  EXPECT_EQ(LitCells(511), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  // Only the nine lowest bits count: 600 = 512 + 8 + 16 + 64.
  EXPECT_EQ(LitCells(600), (std::vector<int>{4, 5, 7}));
}

TEST(PatternCellsTest, NegativeNumbersLightNothing) {
  EXPECT_EQ(LitCells(-1), std::vector<int>{});
  EXPECT_EQ(LitCells(-511), std::vector<int>{});
  EXPECT_EQ(LitCells(INT32_MIN), std::vector<int>{});
  EXPECT_FALSE(IsCandidate(-19));
}

class ConnectivityListTest : public ::testing::Test {
 protected:
  test::RecordingFrontend frontend_;
  ConnectivityList list_{frontend_};
};

TEST_F(ConnectivityListTest, CandidatesStartAt19AndEndAt511) {
  list_.Load();
  const std::vector<std::int32_t> expected = {19, 21, 22, 23, 25, 26, 27, 28, 29, 30, 31, 49};
  std::vector<std::int32_t> seen;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    list_.Next();
    seen.push_back(list_.patternNumber());
  }
  EXPECT_EQ(seen, expected);

  // Every candidate on the way up is one, and each is reached exactly once.
  std::int32_t previous = list_.patternNumber();
  int steps = 0;
  while (list_.patternNumber() < 511 && steps < 600) {
    list_.Next();
    ASSERT_GT(list_.patternNumber(), previous);
    ASSERT_TRUE(IsCandidate(list_.patternNumber())) << list_.patternNumber();
    for (std::int32_t n = previous + 1; n < list_.patternNumber(); ++n) {
      ASSERT_FALSE(IsCandidate(n)) << "skipped " << n;
    }
    previous = list_.patternNumber();
    ++steps;
  }
  EXPECT_EQ(list_.patternNumber(), 511);
}

TEST_F(ConnectivityListTest, NextStopsAtTheLimitWhenNoCandidateRemains) {
  ASSERT_TRUE(list_.Show("511"));
  list_.Next();
  // 512 and 513 do not qualify; 513 is not advanced further.
  EXPECT_EQ(list_.patternNumber(), 513);
  list_.Next();
  EXPECT_EQ(list_.patternNumber(), 513);

  // Above the limit a pattern that does not qualify stays as it is
  // (1000 = 512 + 488 lights cells 4, 6, 7, 8, 9, not the centre).
  ASSERT_TRUE(list_.Show("1000"));
  list_.Next();
  EXPECT_EQ(list_.patternNumber(), 1000);
  ASSERT_TRUE(list_.Show("2147483647"));
  list_.Next();
  EXPECT_EQ(list_.patternNumber(), 2147483647);
}

TEST_F(ConnectivityListTest, NextLeavesAQualifyingNumberAboveTheLimit) {
  ASSERT_TRUE(list_.Show("600"));
  list_.Next();
  EXPECT_EQ(list_.patternNumber(), 600);
}

TEST_F(ConnectivityListTest, NextFromCentreOnlyOrFromNegativeReaches19) {
  ASSERT_TRUE(list_.Show("16"));
  list_.Next();
  EXPECT_EQ(list_.patternNumber(), 19);
  ASSERT_TRUE(list_.Show("-2147483648"));
  list_.Next();
  EXPECT_EQ(list_.patternNumber(), 19);
  // 512 is still advanced once; 513 does not qualify and is not advanced.
  ASSERT_TRUE(list_.Show("512"));
  list_.Next();
  EXPECT_EQ(list_.patternNumber(), 513);
}

TEST_F(ConnectivityListTest, IncludeAppendsWithCommasThenMovesOn) {
  list_.Load();
  list_.Next();
  list_.Include();
  EXPECT_EQ(list_.list(), "19");
  EXPECT_EQ(list_.patternNumber(), 21);
  list_.Include();
  EXPECT_EQ(list_.list(), "19,21");
  EXPECT_EQ(list_.patternNumber(), 22);

  // The person's own edits to the list are kept.
  list_.SetList("5");
  list_.Include();
  EXPECT_EQ(list_.list(), "5,22");
  EXPECT_EQ(list_.patternNumber(), 23);

  // A negative number is written as it stands.
  ASSERT_TRUE(list_.Show("-3"));
  list_.Include();
  EXPECT_EQ(list_.list(), "5,22,-3");
}

TEST_F(ConnectivityListTest, ShowReadsCommaOrPeriodAndRoundsHalvesToEven) {
  ASSERT_TRUE(list_.Show("20,5"));
  EXPECT_EQ(list_.patternNumber(), 20);
  ASSERT_TRUE(list_.Show("21.5"));
  EXPECT_EQ(list_.patternNumber(), 22);
  ASSERT_TRUE(list_.Show(" -7 "));
  EXPECT_EQ(list_.patternNumber(), -7);
  EXPECT_EQ(list_.NumberText(), "-7");
  EXPECT_TRUE(frontend_.messages.empty());
}

TEST_F(ConnectivityListTest, ShowRefusesWhatIsNotA32BitNumber) {
  for (const char* text : {"", "abc", "12x", "1,2,3", "2147483648", "-2147483649", "1e20"}) {
    frontend_.messages.clear();
    ASSERT_TRUE(list_.Show("30"));
    list_.SetList("19");
    EXPECT_FALSE(list_.Show(text)) << text;
    EXPECT_EQ(list_.patternNumber(), 30) << text;
    EXPECT_EQ(list_.list(), "19") << text;
    ASSERT_EQ(frontend_.messages.size(), 1u) << text;
    EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
    EXPECT_EQ(frontend_.messages[0].text, "Введите число в поле номера!");
  }
}

}  // namespace
}  // namespace vertolin
