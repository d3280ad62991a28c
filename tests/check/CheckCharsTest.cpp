#include "check/CheckChars.h"

#include <gtest/gtest.h>

#include "check/Messages.h"

namespace check {
namespace {

using Msgs = std::vector<std::string>;

struct Case {
  const char* typed;
  const char* result;
  Msgs messages;
};

const std::string kHyphen = msg::kHyphenMoved;
const std::string kQuote = msg::kQuoteDoubled;
const std::string kBracket = msg::kBracketRemoved;

TEST(CheckChars, EditorExamples) {
  const std::vector<Case> cases = {
      {"-+*/#%<>:,{=''", "-+*/#%<>:,{=''", {}},  // the default passes unchanged, silently
      {"ENTER", "\r", {}},
      {"center", "\r", {}},
      {"a-b'ENTER]", "\r", {}},  // ENTER wins over every later rule
      {"ab-c", "-abc", {kHyphen}},
      {"-abc", "-abc", {}},
      {"-a-b", "-ab", {kHyphen}},
      {"a'b", "ab''", {kQuote}},
      {"'ab", "'ab", {}},
      {"a''b'", "a''b'", {}},
      {"x'-", "-x''", {kHyphen, kQuote}},
      {"a]b]", "ab", {kBracket}},
      {"]", "]", {}},
      {"]a]", "]a]", {}},
      {"a-b'c]", "-abc''", {kHyphen, kQuote, kBracket}},
      {"，：-", "-，：", {kHyphen}},  // characters, not bytes
      {"'", "'", {}},
      {"-", "-", {}},
      {"a'", "a''", {kQuote}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    NormalizedChars r = normalizeCheckChars(c.typed);
    EXPECT_EQ(r.chars, c.result);
    EXPECT_EQ(r.messages, c.messages);
  }
}

TEST(CheckChars, RulesOneByOne) {
  Msgs shown;
  EXPECT_EQ(applyEnterRule("xEnTeRx"), "\r");
  EXPECT_EQ(applyEnterRule("ENTE"), "ENTE");
  // A lone carriage return passes the later rules untouched.
  EXPECT_EQ(applyHyphenRule("\r", shown), "\r");
  EXPECT_EQ(applyQuoteRule("\r", shown), "\r");
  EXPECT_EQ(applyBracketRule("\r", shown), "\r");
  EXPECT_TRUE(shown.empty());

  // The quote rule keeps a set with a doubled quote, even with a lone one elsewhere.
  EXPECT_EQ(applyQuoteRule("'a''", shown), "'a''");
  EXPECT_EQ(applyQuoteRule("a'b''c", shown), "a'b''c");
  // Several lone quotes become one doubled quote.
  EXPECT_EQ(applyQuoteRule("a'b'c'", shown), "abc''");
  EXPECT_EQ(shown, Msgs{kQuote});

  // A hyphen rule that fires keeps exactly one leading hyphen.
  shown.clear();
  EXPECT_EQ(applyHyphenRule("--a-", shown), "-a");
  EXPECT_EQ(shown, Msgs{kHyphen});
  // The bracket rule leaves a set starting with "]" alone, even holding others.
  shown.clear();
  EXPECT_EQ(applyBracketRule("]]", shown), "]]");
  EXPECT_TRUE(shown.empty());
}

TEST(CheckChars, AcceptedSetIsNeverEmpty) {
  for (const char* typed : {"]", "'", "-", "]]]", "''", "a]", "x]'", "]-'"}) {
    SCOPED_TRACE(typed);
    EXPECT_FALSE(normalizeCheckChars(typed).chars.empty());
  }
}

}  // namespace
}  // namespace check
