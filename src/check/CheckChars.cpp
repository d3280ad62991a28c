#include "check/CheckChars.h"

#include <algorithm>

#include "check/Messages.h"
#include "check/Text.h"

namespace check {

namespace {

std::u32string withoutChar(std::u32string s, char32_t c) {
  s.erase(std::remove_if(s.begin(), s.end(), [c](char32_t x) { return sameCharIgnoringCase(x, c); }),
          s.end());
  return s;
}

}  // namespace

std::string applyEnterRule(const std::string& set) {
  if (containsIgnoringCase(toCodePoints(set), U"ENTER")) return "\r";
  return set;
}

std::string applyHyphenRule(const std::string& set, std::vector<std::string>& shown) {
  const std::u32string s = toCodePoints(set);
  if (findCharIgnoringCase(s, U'-', 1) == std::u32string::npos) return set;
  shown.emplace_back(msg::kHyphenMoved);
  return "-" + toUtf8(withoutChar(s, U'-'));
}

std::string applyQuoteRule(const std::string& set, std::vector<std::string>& shown) {
  const std::u32string s = toCodePoints(set);
  if (containsIgnoringCase(s, U"''")) return set;
  const size_t first = s.find(U'\'');  // this search alone compares exactly
  if (first == std::u32string::npos || first == 0) return set;
  shown.emplace_back(msg::kQuoteDoubled);
  return toUtf8(withoutChar(s, U'\'')) + "''";
}

std::string applyBracketRule(const std::string& set, std::vector<std::string>& shown) {
  const std::u32string s = toCodePoints(set);
  const size_t first = findCharIgnoringCase(s, U']');
  if (first == std::u32string::npos || first == 0) return set;
  std::string out = toUtf8(withoutChar(s, U']'));
  shown.emplace_back(msg::kBracketRemoved);
  return out;
}

NormalizedChars normalizeCheckChars(const std::string& answer) {
  NormalizedChars r;
  r.chars = applyEnterRule(answer);
  r.chars = applyHyphenRule(r.chars, r.messages);
  r.chars = applyQuoteRule(r.chars, r.messages);
  r.chars = applyBracketRule(r.chars, r.messages);
  return r;
}

}  // namespace check
