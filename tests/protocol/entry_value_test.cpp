#include "protocol/entry_value.h"

#include <gtest/gtest.h>

#include <limits>

namespace qv {
namespace {

// Typed text, the power of ten, and the scaled value ("none": refused).
// Scaling works on the digits typed, not on their binary approximation (in
// binary floating point 0.29 x 100 is 28.999999999999996), truncates toward
// zero, takes an empty text as 0, signs, points and exponents, and refuses
// what is no number or leaves the int64 range.
struct ScaledCase {
  const char* text;
  int decimals;
  const char* scaled;
};
// clang-format off
const ScaledCase kScaled[] = {
    {"12.3456", 3, "12345"}, {"7.9", 0, "7"}, {"12.3456", 4, "123456"}, {"-7.9", 0, "-7"},
    {"-0.004", 2, "0"}, {"0.5", 3, "500"}, {"1", 4, "10000"}, {"0.29", 2, "29"},
    {"20.29", 2, "2029"}, {"1.1", 4, "11000"}, {"", 2, "0"}, {"   ", 2, "0"}, {" 12.5 ", 1, "125"},
    {"+3", 0, "3"}, {".5", 1, "5"}, {"5.", 1, "50"}, {"1e3", 0, "1000"}, {"1.5E-1", 2, "15"},
    {"000123", 0, "123"}, {"9223372036854775807", 0, "9223372036854775807"},
    {"1e-400", 4, "0"}, {"0e999999999", 0, "0"}, {"99999999999999999999", 0, "none"},
    {"1e30", 0, "none"}, {"abc", 0, "none"}, {"1,5", 0, "none"}, {"1.2.3", 0, "none"},
    {"12a", 0, "none"}, {"e5", 0, "none"}, {".", 0, "none"}, {"-", 0, "none"}, {"1e", 0, "none"},
    {"0x10", 0, "none"}, {"inf", 0, "none"}, {"nan", 0, "none"}, {"1 2", 0, "none"}};
// clang-format on

std::string Text(std::optional<int64_t> v) {
  return v ? std::to_string(*v) : "none";
}

TEST(EntryValue, ScalesTheDigitsTypedAndTruncatesTowardZero) {
  for (const ScaledCase& c : kScaled)
    EXPECT_EQ(Text(EntryValue(c.text).Scaled(c.decimals)), c.scaled) << c.text << " " << c.decimals;
}

TEST(EntryValue, NumbersOfTheProgramScaleThroughTheirShortestDecimalForm) {
  EXPECT_EQ(EntryValue(0.29).Scaled(2), 29);
  EXPECT_EQ(EntryValue(4.35).Scaled(2), 435);
  EXPECT_EQ(EntryValue(1e20).Scaled(-18), 100);
  EXPECT_EQ(EntryValue(0).Scaled(2), 0);
  EXPECT_EQ(EntryValue(25).Scaled(2), 2500);
  EXPECT_EQ(EntryValue(int64_t{-3}).Scaled(0), -3);
  EXPECT_FALSE(EntryValue(static_cast<const char*>(nullptr)).Scaled(0));
  EXPECT_FALSE(EntryValue(std::numeric_limits<double>::infinity()).Scaled(0));
  EXPECT_FALSE(EntryValue(std::numeric_limits<double>::quiet_NaN()).Scaled(0));
}

TEST(EntryValue, IntegerRefusesFractions) {
  for (const auto& [text, integer] : {std::pair("42", "42"),
                                      {"42.000", "42"},
                                      {"10e-1", "1"},
                                      {"", "0"},
                                      {"1.05", "none"},
                                      {"0.5", "none"},
                                      {"x", "none"}})
    EXPECT_EQ(Text(EntryValue(text).Integer()), integer) << text;
}

}  // namespace
}  // namespace qv
