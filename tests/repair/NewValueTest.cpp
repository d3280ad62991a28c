#include <gtest/gtest.h>

#include "repair/Commands.h"

namespace repair {
namespace {

const std::string kDefault = "-+*/#%<>:,{=''";

TEST(NewValue, DefaultSetMapsEverySpecialIncludingTheQuote) {
  const std::string mode(14, 'A');
  EXPECT_EQ(NewValue("a-b+c", mode, kDefault), "aAbAc");
  EXPECT_EQ(NewValue("O'Brien", mode, kDefault), "OABrien");
  EXPECT_EQ(NewValue("-+*/#%<>:,{='", mode, kDefault), std::string(13, 'A'));
  EXPECT_EQ(NewValue("plain", mode, kDefault), "plain");
  EXPECT_EQ(NewValue("批次17/x", mode, kDefault), "批次17Ax");
  EXPECT_EQ(NewValue("", mode, kDefault), "");
}

TEST(NewValue, TrailingDoubledQuoteIsOnePosition) {
  // The 14th character of the mode is never used; the 13th replaces the quote.
  EXPECT_EQ(NewValue("it's", "1234567890abQZ", kDefault), "itQs");
  // Without the doubled quote every position counts.
  EXPECT_EQ(NewValue("a'b", "xy", "'b"), "axy");
  EXPECT_EQ(NewValue("a'b", "X", "'"), "aXb");
}

TEST(NewValue, LaterPositionsSeeEarlierReplacements) {
  // First special to the second, second to a letter: the first ends up as the letter.
  EXPECT_EQ(NewValue("a-b", "+Z", "-+"), "aZb");
  // The other way round the first replacement is final.
  EXPECT_EQ(NewValue("a+b", "Z-", "-+"), "a-b");
}

TEST(NewValue, LettersMatchIgnoringCase) {
  EXPECT_EQ(NewValue("xXyY", "_", "x"), "__yY");
  EXPECT_EQ(NewValue("Äpfel äh", "a", "ä"), "apfel ah");
  // The replacement character is written as given.
  EXPECT_EQ(NewValue("abc", "QB", "ab"), "QBc");
}

TEST(NewValue, CarriageReturnSetMapsOnlyCarriageReturns) {
  EXPECT_EQ(NewValue("line1\r\nline2\r", "A", "\r"), "line1A\nline2A");
}

TEST(NewValue, ModeCharactersAreCharactersNotBytes) {
  EXPECT_EQ(NewValue("a:b,c", "：，", ":,"), "a：b，c");
  EXPECT_EQ(NewValue("冲销,红字", "-，", "-,"), "冲销，红字");
  // Blanks and specials in the mode are taken as they are.
  EXPECT_EQ(NewValue("a-b", " ", "-"), "a b");
}

}  // namespace
}  // namespace repair
