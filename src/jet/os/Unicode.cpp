#include "jet/os/Unicode.h"

#include <algorithm>

#include "jet/os/CaseFoldingTable.h"

namespace jet::os {

namespace {

void put16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

void put8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// The well-formed code point at s[i] (advancing i past it), or nothing (i unchanged).
std::optional<char32_t> next(std::string_view s, size_t& i) {
  const auto b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) {
    ++i;
    return b;
  }
  const size_t len = b >= 0xC2 && b < 0xE0 ? 2 : b >= 0xE0 && b < 0xF0 ? 3 : b >= 0xF0 && b < 0xF5 ? 4 : 0;
  if (len == 0 || i + len > s.size()) return std::nullopt;
  char32_t c = b & (0x7F >> len);
  for (size_t k = 1; k < len; ++k) {
    const auto t = static_cast<unsigned char>(s[i + k]);
    if ((t & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (t & 0x3F);
  }
  const char32_t least = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  i += len;
  return c;
}

}  // namespace

std::optional<std::u16string> toUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const std::optional<char32_t> c = next(utf8, i);
    if (!c) return std::nullopt;
    put16(out, *c);
  }
  return out;
}

std::string toUtf8(std::u16string_view u) {
  std::string out;
  out.reserve(u.size() * 3);
  for (size_t i = 0; i < u.size(); ++i) {
    char32_t c = u[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    put8(out, c);
  }
  return out;
}

char32_t foldCase(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  if (c > 0x10FFFF) return c;
  return static_cast<char32_t>(static_cast<int32_t>(c) + casefold::kBlocks[casefold::kStage1[c >> 8]][c & 0xFF]);
}

std::u32string foldCaseFull(std::string_view utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  const casefold::FullFold* first = casefold::kFull;
  const casefold::FullFold* last = casefold::kFull + casefold::kFullCount;
  for (size_t i = 0; i < utf8.size();) {
    const std::optional<char32_t> c = next(utf8, i);
    if (!c) {
      out.push_back(0xDC00 + static_cast<unsigned char>(utf8[i++]));
      continue;
    }
    if (*c >= 0x80) {
      const auto* f = std::lower_bound(first, last, *c,
                                       [](const casefold::FullFold& e, char32_t v) { return e.from < v; });
      if (f != last && f->from == *c) {
        for (char32_t t : f->to)
          if (t) out.push_back(t);
        continue;
      }
    }
    out.push_back(foldCase(*c));
  }
  return out;
}

#ifdef _WIN32
std::wstring widen(std::string_view utf8) {
  std::u16string u;
  u.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const std::optional<char32_t> c = next(utf8, i);
    if (c) {
      put16(u, *c);
    } else {
      u.push_back(0xFFFD);
      ++i;
    }
  }
  return std::wstring(u.begin(), u.end());
}

std::string narrow(std::wstring_view wide) {
  return toUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}
#endif

}  // namespace jet::os
