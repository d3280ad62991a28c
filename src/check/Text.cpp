#include "check/Text.h"

#include "jet/os/Unicode.h"

namespace check {

std::u32string toCodePoints(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    bool ok = len > 0 && i + len <= s.size();
    for (int k = 1; ok && k < len; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (!ok) {
      // A stray byte: keep it as a lone character in the private range U+DC80..U+DCFF (the
      // way many systems carry undecodable bytes), so toUtf8 gives the byte back.
      out.push_back(0xDC00 + b);
      ++i;
      continue;
    }
    out.push_back(cp);
    i += len;
  }
  return out;
}

std::string toUtf8(std::u32string_view cps) {
  std::string out;
  out.reserve(cps.size());
  for (char32_t c : cps) {
    if (c >= 0xDC80 && c <= 0xDCFF) {
      out.push_back(static_cast<char>(c - 0xDC00));
    } else {
      jet::os::appendUtf8(out, c);
    }
  }
  return out;
}

size_t characterCount(std::string_view utf8) { return toCodePoints(utf8).size(); }

bool sameCharIgnoringCase(char32_t a, char32_t b) {
  if (a == b) return true;
  return jet::os::foldCase(a) == jet::os::foldCase(b);
}

size_t findCharIgnoringCase(std::u32string_view text, char32_t c, size_t from) {
  for (size_t i = from; i < text.size(); ++i)
    if (sameCharIgnoringCase(text[i], c)) return i;
  return std::u32string_view::npos;
}

bool containsIgnoringCase(std::u32string_view hay, std::u32string_view needle) {
  if (needle.empty()) return true;
  if (needle.size() > hay.size()) return false;
  for (size_t i = 0; i + needle.size() <= hay.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && sameCharIgnoringCase(hay[i + k], needle[k])) ++k;
    if (k == needle.size()) return true;
  }
  return false;
}

}  // namespace check
