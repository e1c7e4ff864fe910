// Rounding rules: every formula of the program depends on which way halves go.
#include <gtest/gtest.h>

#include <limits>

#include "core/conversions.h"
#include "core/error.h"

namespace clipvane {
namespace {

TEST(Nearest, HalvesGoToEven) {
  EXPECT_EQ(nearest(0.5), 0);
  EXPECT_EQ(nearest(1.5), 2);
  EXPECT_EQ(nearest(2.5), 2);
  EXPECT_EQ(nearest(-2.5), -2);
  EXPECT_EQ(nearest(57.375), 57);
  EXPECT_EQ(nearest(101.33), 101);
  EXPECT_EQ(nearest(2.5000001), 3);
}

TEST(Nearest, SaturatesOutsideIntRange) {
  EXPECT_EQ(nearest(1e12), std::numeric_limits<int>::max());
  EXPECT_EQ(nearest(-1e12), std::numeric_limits<int>::min());
  EXPECT_EQ(nearest(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(Trunc, GoesTowardZero) {
  EXPECT_EQ(trunc(2.9), 2);
  EXPECT_EQ(trunc(-2.9), -2);
  EXPECT_EQ(trunc(0.999), 0);
}

TEST(MulDiv, RoundsHalvesAwayFromZero) {
  EXPECT_EQ(MulDiv(5, 1, 2), 3);
  EXPECT_EQ(MulDiv(-5, 1, 2), -3);
  EXPECT_EQ(MulDiv(5, -1, 2), -3);
  EXPECT_EQ(MulDiv(7, 1, 3), 2);
  EXPECT_EQ(MulDiv(320, 1, 3), 107);
  // A negative divisor turns the sign too: 15 / -2 = -7.5 -> -8, -15 / -2 -> 8.
  EXPECT_EQ(MulDiv(5, 3, -2), -8);
  EXPECT_EQ(MulDiv(-5, 3, -2), 8);
}

TEST(MulDiv, UsesSixtyFourBitProducts) {
  EXPECT_EQ(MulDiv(2'000'000'000, 3, 4), 1'500'000'000);
  EXPECT_EQ(MulDiv(250, 5000, 10000), 125);
}

TEST(MulDiv, ZeroDivisorOrOverflowGivesMinusOne) {
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
  EXPECT_EQ(MulDiv(2'000'000'000, 2'000'000'000, 1), -1);
}

TEST(ErrorBoxText, AppendsFullStopAfterLettersAndDigits) {
  EXPECT_EQ(ErrorBoxText("Failed to open AVI file"), "Failed to open AVI file.");
  EXPECT_EQ(ErrorBoxText("Error 42"), "Error 42.");
  EXPECT_EQ(ErrorBoxText("Done."), "Done.");
  EXPECT_EQ(ErrorBoxText("Really?"), "Really?.");  // '?' sorts after '.'
  EXPECT_EQ(ErrorBoxText("Bad (x)"), "Bad (x)");   // ')' sorts before '.'
  EXPECT_EQ(ErrorBoxText(""), "");
}

}  // namespace
}  // namespace clipvane
