#include "check/CheckKind.h"
#include "check/Text.h"

namespace check {

std::string NewValue(const std::string& fvalue, const std::string& nMode,
                     const std::string& checkChars) {
  const std::u32string chars = toCodePoints(checkChars);
  const std::u32string mode = toCodePoints(nMode);
  size_t n = chars.size();
  // The set holds a single quote as "''" (it sits in a quoted SQL literal): the first of the
  // two positions carries the quote's replacement, the second is not a character of its own.
  if (n >= 2 && chars[n - 1] == U'\'' && chars[n - 2] == U'\'') --n;

  std::u32string result = toCodePoints(fvalue);
  for (size_t i = 0; i < n; ++i) {
    const char32_t ch = chars[i];
    if (findCharIgnoringCase(result, ch) == std::u32string::npos) continue;
    // A mode shorter than the set gives nothing for its missing positions.
    std::u32string replaced;
    replaced.reserve(result.size());
    for (char32_t c : result) {
      if (!sameCharIgnoringCase(c, ch))
        replaced.push_back(c);
      else if (i < mode.size())
        replaced.push_back(mode[i]);
    }
    result = std::move(replaced);
  }
  return toUtf8(result);
}

}  // namespace check
