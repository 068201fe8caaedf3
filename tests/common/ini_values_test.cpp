#include "common/ini_values.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

namespace velqor {
namespace {

using std::chrono::day;
using std::chrono::month;
using std::chrono::year;
using std::chrono::year_month_day;

TEST(IniValues, IntegerIsDecimalOrHexAfter0x) {
  const struct {
    const char* text;
    std::optional<std::int32_t> expected;
  } cases[] = {
      {"0", 0},
      {"115200", 115200},
      {"-1", -1},
      {"+7", 7},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"0xEE02", 0xEE02},
      {"0X4242", 0x4242},
      {"0xffffffff", -1},  // hexadecimal may fill all 32 bits
      {"0x7FFFFFFF", 0x7FFFFFFF},
      {"2147483648", std::nullopt},  // beyond 32 bits
      {"0x100000000", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"0x", std::nullopt},
      {"0x-1", std::nullopt},
      {"12a", std::nullopt},
      {"1 2", std::nullopt},
      {"$10", std::nullopt},
      {"--1", std::nullopt},
      {"1.0", std::nullopt},
      {"99999999999999999999999", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parseIniInteger(c.text), c.expected) << c.text;
}

TEST(IniValues, FloatIsAFiniteNumberWithADot) {
  const struct {
    const char* text;
    std::optional<double> expected;
  } cases[] = {
      {"2.5", 2.5},
      {"-1.25", -1.25},
      {"+3", 3.0},
      {".5", 0.5},
      {"1e-3", 1e-3},
      {"0", 0.0},
      {"2,5", std::nullopt},
      {"", std::nullopt},
      {"inf", std::nullopt},
      {"nan", std::nullopt},
      {"-inf", std::nullopt},
      {"1e999", std::nullopt},
      {"0x10", std::nullopt},
      {"2.5V", std::nullopt},
      {"+-1", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parseIniFloat(c.text), c.expected) << c.text;
}

TEST(IniValues, FloatTextHasUpTo15SignificantDigits) {
  EXPECT_EQ(formatFloatGeneral(2.5), "2.5");
  EXPECT_EQ(formatFloatGeneral(static_cast<double>(2.2f)), "2.20000004768372");
  EXPECT_EQ(formatFloatGeneral(0.1), "0.1");
  EXPECT_EQ(formatFloatGeneral(5.0), "5");
  EXPECT_EQ(formatFloatGeneral(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(formatFloatGeneral(1e-7), "1e-07");
  EXPECT_EQ(formatFloatGeneral(123456789012345678.0), "1.23456789012346e+17");
  // What is written reads back as the same single-precision value.
  for (float f : {2.2f, 0.1f, 4.95f, 3.3f}) {
    EXPECT_EQ(static_cast<float>(*parseIniFloat(formatFloatGeneral(f))), f);
  }
}

TEST(IniValues, DateReadsSlashOrDashAndWritesSlash) {
  const year_month_day dec7{year(2026), month(12), day(7)};
  EXPECT_EQ(parseIniDate("2026/12/07"), dec7);
  EXPECT_EQ(parseIniDate("2026-12-07"), dec7);
  EXPECT_EQ(parseIniDate("2026/12/7"), dec7);
  EXPECT_EQ(parseIniDate("2024/02/29"), (year_month_day{year(2024), month(2), day(29)}));
  for (const char* bad :
       {"", "2026/12", "2026/12/07 10:00:00", "2026/13/01", "2025/02/29", "2026/12-07", "26/12/07",
        "2026/012/07", "2026.12.07", "today", "2026/12/0", "2026//07"}) {
    EXPECT_EQ(parseIniDate(bad), std::nullopt) << bad;
  }
  EXPECT_EQ(formatIniDate(dec7), "2026/12/07");
  EXPECT_EQ(formatIniDate(year_month_day{year(2027), month(1), day(2)}), "2027/01/02");
}

}  // namespace
}  // namespace velqor
