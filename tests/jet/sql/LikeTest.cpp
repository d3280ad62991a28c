#include <gtest/gtest.h>

#include "jet/sql/Like.h"

namespace {

using jet::sql::LikePattern;

bool like(const std::string& value, const std::string& pattern) {
  auto p = LikePattern::compile(pattern);
  EXPECT_TRUE(p.has_value()) << pattern;
  return p && p->matches(value);
}

struct Case {
  const char* value;
  const char* pattern;
  bool match;
};

TEST(Like, Wildcards) {
  const Case cases[] = {
      {"", "*", true},          {"abc", "*", true},        {"abc", "a*", true},
      {"abc", "*c", true},      {"abc", "a*c", true},      {"abc", "a*b", false},
      {"abcbc", "a*bc", true},  {"ab", "a?", true},        {"a", "a?", false},
      {"abc", "a?", false},     {"a1", "a#", true},        {"ab", "a#", false},
      {"a12", "a##", true},     {"", "", true},            {"a", "", false},
      {"mississippi", "*sip*", true}, {"mississippi", "m*s*s*i", true},
      {"mississippi", "m*x*", false}, {"x]y", "x]y", true}, {"a!b", "a!b", true},
      {"凭证号", "凭证*", true}, {"凭证号", "?证?", true}, {"凭证号", "??", false},
  };
  for (const auto& c : cases) EXPECT_EQ(like(c.value, c.pattern), c.match) << c.value << " like " << c.pattern;
}

TEST(Like, BracketLists) {
  const Case cases[] = {
      {"b", "[abc]", true},     {"d", "[abc]", false},    {"d", "[!abc]", true},
      {"b", "[!abc]", false},   {"m", "[a-z]", true},     {"M", "[a-z]", true},
      {"5", "[a-z]", false},    {"5", "[!a-z]", true},    {"-", "[-a]", true},
      {"-", "[a-]", true},      {"b", "[a-]", false},     {"-", "[!-a]", false},
      {"*", "[*]", true},       {"x", "[*]", false},      {"?", "[?]", true},
      {"#", "[#]", true},       {"[", "[[]", true},       {"x", "[?]", false},
      {"a*b", "a[*]b", true},   {"axb", "a[*]b", false},  {"ab", "a[]b", true},
      {"k", "[a-cx-z]", false}, {"y", "[a-cx-z]", true},  {"é", "[a-z]", false},
      {"!", "[!]", true},       {"Q", "[A-Z]", true},     {"q", "[A-Z]", true},
  };
  for (const auto& c : cases) EXPECT_EQ(like(c.value, c.pattern), c.match) << c.value << " like " << c.pattern;
  EXPECT_FALSE(LikePattern::compile("a[bc").has_value());
  EXPECT_FALSE(LikePattern::compile("[z-a]").has_value());
}

TEST(Like, CaseFoldingBeyondAscii) {
  const Case cases[] = {
      {"ABC", "abc", true},
      {"Straße", "STRASSE", false},  // simple folding: ß does not become ss
      {"ÄRGER", "ärger", true},
      {"ΣΊΣΥΦΟΣ", "σίσυφος", true},
      {"ς", "σ", true},              // final sigma folds to sigma
      {"\u212A", "k", true},          // Kelvin sign folds to k
      {"\u212A", "[j-l]", true},
      {"ДОМ", "*[д]*", true},
      {"ǅ", "ǆ", true},             // title case folds with the other two forms
      {"Ⅻ", "ⅻ", true},
  };
  for (const auto& c : cases) EXPECT_EQ(like(c.value, c.pattern), c.match) << c.value << " like " << c.pattern;
}

// The special-character condition with the default set, after SQL has turned '' into '.
TEST(Like, DefaultSpecialCharacterList) {
  const std::string pattern = "*[-+*/#%<>:,{=']*";
  for (const char* v : {"a-b", "x+y", "2*3", "a/b", "#12", "50%", "<b>", "a>b", "k:v", "a,b",
                        "{x", "a=b", "O'Brien", "a-b+c", "付款-现金", "转账:工行"})
    EXPECT_TRUE(like(v, pattern)) << v;
  for (const char* v : {"plain", "全角：冒号", "tab\there", "line1\r\nline2", "", "};([]!?&@$_~|\\^`\"",
                        "全角，逗号－减号＋加号", "UPPER lower MiXeD", "批次39 ok"})
    EXPECT_FALSE(like(v, pattern)) << v;
  // Malformed UTF-8 never matches by accident nor crashes.
  EXPECT_FALSE(like(std::string("\xff\xfe\xc3"), pattern));
  EXPECT_TRUE(like(std::string("\xff-"), pattern));
}

// "*X*" patterns take a byte-wise path when no non-ASCII character can match; the
// characters that fold into ASCII must still be found.
TEST(Like, SearchesForOneCharacter) {
  const Case cases[] = {
      {"\u212A", "*[k]*", true},  {"\u017F", "*[rst]*", true}, {"\u212A", "*[a-c]*", false},
      {"é", "*[!a-z]*", true},    {"é", "*[a-e]*", false},      {"xÉ", "*[é]*", true},
      {"aX", "*x*", true},        {"a1", "*#*", true},          {"ab", "*#*", false},
      {"凭证号", "*证*", true},    {"凭证号", "*[证]*", true},    {"", "*?*", false},
      {"凭", "*?*", true},        {"a\u212Ab", "*K*", true},
  };
  for (const auto& c : cases) EXPECT_EQ(like(c.value, c.pattern), c.match) << c.value << " like " << c.pattern;
}

TEST(Like, NegatedListInsideStars) {
  EXPECT_TRUE(like("abc1", "*[!a-z]*"));
  EXPECT_FALSE(like("abc", "*[!a-z]*"));
  EXPECT_FALSE(like("", "*[!a-z]*"));
}

}  // namespace

namespace jet::sql {
namespace {

// The scan rules rows out by their stored bytes only for searches no non-ASCII character
// can satisfy; the characters it looks for are those the matcher accepts, both cases.
TEST(Like, AsciiSearchOnlyWhereBytesDecide) {
  auto search = [](const char* pattern, std::string& marked) {
    bool hit[128] = {};
    const bool yes = LikePattern::compile(pattern)->asciiSearch(hit);
    marked.clear();
    for (int c = 0; c < 128; ++c)
      if (hit[c]) marked.push_back(static_cast<char>(c));
    return yes;
  };
  std::string m;
  EXPECT_TRUE(search("*[-+*/#%<>:,{=']*", m));
  EXPECT_EQ(m, "#%'*+,-/:<=>{");
  EXPECT_TRUE(search("*x*", m));
  EXPECT_EQ(m, "Xx");
  EXPECT_TRUE(search("*[a-c]*", m));
  EXPECT_EQ(m, "ABCabc");
  EXPECT_TRUE(search("*#*", m));
  EXPECT_EQ(m, "0123456789");
  // Non-ASCII characters could match: a negated list, a non-ASCII member, a letter that a
  // non-ASCII character folds into (the Kelvin sign, the long s), or not a plain search.
  for (const char* p : {"*[!a]*", "*[é]*", "*[k]*", "*s*", "*?*", "a*", "*a*b*", "*[a]"})
    EXPECT_FALSE(search(p, m)) << p;
}

}  // namespace
}  // namespace jet::sql
