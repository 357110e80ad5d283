#include "protocol/entry_value.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

std::optional<int64_t> S(const EntryValue& v, int decimals) {
  return v.Scaled(decimals);
}

TEST(EntryValue, ScalesAndTruncatesTowardZero) {
  EXPECT_EQ(S("12.3456", 3), 12345);
  EXPECT_EQ(S("7.9", 0), 7);
  EXPECT_EQ(S("12.3456", 4), 123456);
  EXPECT_EQ(S("-7.9", 0), -7);
  EXPECT_EQ(S("-0.004", 2), 0);
  EXPECT_EQ(S("0.5", 3), 500);
  EXPECT_EQ(S("1", 4), 10000);
}

TEST(EntryValue, ScalesTheDigitsTypedNotTheirBinaryApproximation) {
  // In binary floating point 0.29 x 100 is 28.999999999999996.
  EXPECT_EQ(S("0.29", 2), 29);
  EXPECT_EQ(S("20.29", 2), 2029);
  EXPECT_EQ(S("1.1", 4), 11000);
  EXPECT_EQ(S(0.29, 2), 29);
  EXPECT_EQ(S(4.35, 2), 435);
}

TEST(EntryValue, TakesWholeNumbers) {
  EXPECT_EQ(S(0, 2), 0);
  EXPECT_EQ(S(25, 2), 2500);
  EXPECT_EQ(S(int64_t{-3}, 0), -3);
  EXPECT_FALSE(S(static_cast<const char*>(nullptr), 0).has_value());
}

TEST(EntryValue, EmptyIsZero) {
  EXPECT_EQ(S("", 2), 0);
  EXPECT_EQ(S("   ", 2), 0);
  EXPECT_EQ(S(" 12.5 ", 1), 125);
}

TEST(EntryValue, AcceptsSignsPointsAndExponents) {
  EXPECT_EQ(S("+3", 0), 3);
  EXPECT_EQ(S(".5", 1), 5);
  EXPECT_EQ(S("5.", 1), 50);
  EXPECT_EQ(S("1e3", 0), 1000);
  EXPECT_EQ(S("1.5E-1", 2), 15);
  EXPECT_EQ(S("000123", 0), 123);
  EXPECT_EQ(S(1e20, -18), 100);
}

TEST(EntryValue, RefusesWhatIsNotANumber) {
  for (const char* text :
       {"abc", "1,5", "1.2.3", "12a", "e5", ".", "-", "1e", "0x10", "inf", "nan", "1 2"}) {
    EXPECT_FALSE(S(text, 0).has_value()) << text;
  }
  EXPECT_FALSE(S(std::numeric_limits<double>::infinity(), 0).has_value());
  EXPECT_FALSE(S(std::numeric_limits<double>::quiet_NaN(), 0).has_value());
}

TEST(EntryValue, RefusesResultsBeyondInt64) {
  EXPECT_FALSE(S("99999999999999999999", 0).has_value());
  EXPECT_FALSE(S("1e30", 0).has_value());
  EXPECT_EQ(S("9223372036854775807", 0), INT64_MAX);
  EXPECT_EQ(S("1e-400", 4), 0);
  EXPECT_EQ(S("0e999999999", 0), 0);
}

TEST(EntryValue, IntegerRefusesFractions) {
  EXPECT_EQ(EntryValue("42").Integer(), 42);
  EXPECT_EQ(EntryValue("42.000").Integer(), 42);
  EXPECT_EQ(EntryValue("10e-1").Integer(), 1);
  EXPECT_EQ(EntryValue("").Integer(), 0);
  EXPECT_FALSE(EntryValue("1.05").Integer().has_value());
  EXPECT_FALSE(EntryValue("0.5").Integer().has_value());
  EXPECT_FALSE(EntryValue("x").Integer().has_value());
}

}  // namespace
}  // namespace qv
