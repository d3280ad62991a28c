#include "jet/DateTime.h"

#include <gtest/gtest.h>

#include "jet/Value.h"

using namespace jet;

TEST(DateTime, DecodesStoredDoublesWithoutDrift) {
  EXPECT_EQ(formatDateTime(0.0), "1899-12-30 00:00:00");
  EXPECT_EQ(formatDateTime(2.0), "1900-01-01 00:00:00");
  EXPECT_EQ(formatDateTime(1.0 + 86399.0 / 86400.0), "1899-12-31 23:59:59");
  EXPECT_EQ(formatDateTime(2.0 - 1e-10), "1900-01-01 00:00:00");  // rounds and carries
  EXPECT_EQ(formatDateTime(-0.5), "1899-12-30 12:00:00");
  EXPECT_EQ(formatDateTime(-1.25), "1899-12-29 06:00:00");
  EXPECT_EQ(formatDateTime(-1.5), "1899-12-29 12:00:00");
  EXPECT_EQ(formatDateTime(38751.333333333336), "2006-02-03 08:00:00");
  EXPECT_EQ(formatDateTime(-115858.0), "1582-10-15 00:00:00");
  EXPECT_EQ(formatDateTime(-657434.0), "0100-01-01 00:00:00");
}

TEST(DateTime, ListFormDropsMidnightButNeverTheDate) {
  EXPECT_EQ(formatDate(0.0), "1899-12-30");
  EXPECT_EQ(formatDate(10.0 / 24), "1899-12-30 10:00:00");
  EXPECT_EQ(Value(Date{2.0}).toText(), "1900-01-01");
}

TEST(DateTime, ParsesTheOperatorsForms) {
  EXPECT_EQ(parseDate("1900-1-1"), 2.0);
  EXPECT_EQ(parseDate("1900/01/01"), 2.0);
  EXPECT_EQ(parseDate("1900.1.1"), 2.0);
  EXPECT_EQ(parseDate("1900年1月1日"), 2.0);
  EXPECT_EQ(parseDate(" 1899-12-30 12:00 "), 0.5);
  EXPECT_EQ(parseDate("1899-12-29 06:00:00"), -1.25);
  ASSERT_TRUE(parseDate("2024-02-29 23:59:59"));
  EXPECT_EQ(formatDate(*parseDate("2024-02-29 23:59:59")), "2024-02-29 23:59:59");
  for (const char* bad : {"", "abc", "10:00", "2024-02-30", "2023-02-29", "99-1-1", "1900-13-1",
                          "1900-1-1 24:00", "1900-1-1 10", "1900-1/1", "1900年1月1", "10000-1-1"}) {
    EXPECT_FALSE(parseDate(bad)) << bad;
  }
}

TEST(Value, FormatsNumbersExactlyAndShortest) {
  EXPECT_EQ(Value(0.1).toText(), "0.1");
  EXPECT_EQ(Value(1e-7).toText(), "1e-07");
  EXPECT_EQ(Value(int64_t{-42}).toText(), "-42");
  EXPECT_EQ(Value(Currency{123400}).toText(), "12.34");
  EXPECT_EQ(Value(Currency{-1}).toText(), "-0.0001");
  EXPECT_EQ(Value(Bytes{0x0A, 0xFF}).toText(), "0AFF");
  EXPECT_EQ(Value().toText(), "");
}
