#pragma once
// The special-character set as the operator types it, normalised so that it can stand
// unchanged between the brackets of a LIKE character list:
//   ENTER   any "ENTER" (letter case ignored) makes the set a lone carriage return;
//   hyphen  a "-" after the first character is moved to the front (it would form a range);
//   quote   a lone "'" becomes "''" at the end (the set sits in a quoted SQL literal);
//   bracket "]" after the first character is removed (it would close the list).
// Each rule is a pure function; the messages it announces are appended to `shown`, in the
// order the operator sees them.
#include <string>
#include <vector>

namespace check {

std::string applyEnterRule(const std::string& set);
std::string applyHyphenRule(const std::string& set, std::vector<std::string>& shown);
std::string applyQuoteRule(const std::string& set, std::vector<std::string>& shown);
std::string applyBracketRule(const std::string& set, std::vector<std::string>& shown);

struct NormalizedChars {
  std::string chars;
  std::vector<std::string> messages;
};

// The four rules in order, each on the result of the one before. REQUIRES: a non-empty
// answer (an empty one is refused before the rules run).
NormalizedChars normalizeCheckChars(const std::string& answer);

}  // namespace check
