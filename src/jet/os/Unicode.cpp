#include "jet/os/Unicode.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "jet/os/CaseFoldingTable.h"
#include "jet/os/CodePageSystem.h"

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
  appendUtf8(out, u);
  return out;
}

void appendUtf8(std::string& out, std::u16string_view u) {
  for (size_t i = 0; i < u.size(); ++i) {
    char32_t c = u[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    appendUtf8(out, c);
  }
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

namespace {

constexpr char16_t kUndefined = 0xFFFD;

// Whether the converter's answer for a byte at or above 80, or for a pair, is a character
// of the page. A pair may stand for a private-use character (the user-defined areas of the
// Chinese, Japanese and Korean pages); a single byte may not.
bool defined(std::optional<char16_t> c, bool pair) {
  return c && *c != kUndefined && (pair || !(*c >= 0xE000 && *c <= 0xF8FF)) && *c >= 0x20 &&
         *c != 0x7F;
}

std::shared_ptr<const CodePage::Tables> build(const SystemCodePage& impl) {
  auto t = std::make_shared<CodePage::Tables>();
  for (int b = 0; b < 256; ++b) {
    const uint8_t byte = static_cast<uint8_t>(b);
    const std::optional<char16_t> c = b < 0x80 ? std::optional<char16_t>(byte) : impl.one(&byte, 1);
    t->single[b] = b < 0x80 || defined(c, false) ? *c : kUndefined;
    t->lead[b] = impl.doubleByte && impl.leads[b];
  }
  // Where Windows' table and ICU's differ, Windows' holds.
  if (impl.number == 1253) t->single[0xAA] = kUndefined;
  if (impl.number == 1255) t->single[0xCA] = 0x05BA;
  if (impl.number == 932) t->single[0x80] = 0x0080;
  if (impl.doubleByte) {
    t->pairs.assign(128 * 256, kUndefined);
    for (int lead = 0x80; lead < 256; ++lead) {
      if (!t->lead[lead]) continue;
      for (int trail = 0x40; trail < 256; ++trail) {
        const uint8_t bytes[2] = {static_cast<uint8_t>(lead), static_cast<uint8_t>(trail)};
        const std::optional<char16_t> c = impl.one(bytes, 2);
        if (defined(c, true)) t->pairs[(lead - 0x80) * 256 + trail] = *c;
      }
    }
  }
  return t;
}

}  // namespace

std::unique_ptr<CodePage> CodePage::open(int number) {
  std::unique_ptr<SystemCodePage> impl = SystemCodePage::open(number);
  if (!impl) return nullptr;
  static std::mutex mutex;
  static std::map<int, std::shared_ptr<const Tables>> built;
  std::shared_ptr<const Tables> tables;
  {
    const std::lock_guard<std::mutex> hold(mutex);
    std::shared_ptr<const Tables>& t = built[number];
    if (!t) t = build(*impl);
    tables = t;
  }
  return std::unique_ptr<CodePage>(new CodePage(number, std::move(impl), std::move(tables)));
}

CodePage::CodePage(int number, std::unique_ptr<SystemCodePage> impl, std::shared_ptr<const Tables> tables)
    : number_(number), impl_(std::move(impl)), tables_(std::move(tables)),
      singleByte_(!impl_->doubleByte) {}

CodePage::~CodePage() = default;

void CodePage::decode(const uint8_t* p, size_t n, std::u16string& out) const {
  const Tables& t = *tables_;
  out.reserve(out.size() + n);
  for (size_t i = 0; i < n;) {
    const uint8_t b = p[i];
    if (!t.lead[b]) {
      out.push_back(t.single[b]);
      ++i;
    } else if (i + 1 < n) {
      const uint8_t trail = p[i + 1];
      const char16_t c = t.pairs[(b - 0x80) * 256 + trail];
      out.push_back(c);
      i += c != kUndefined || trail >= 0x40 ? 2 : 1;
    } else {
      out.push_back(kUndefined);
      ++i;
    }
  }
}

std::optional<std::string> CodePage::encode(std::u16string_view text) const {
  const Tables& t = *tables_;
  // A single byte from the table itself: the lowest that stands for the character.
  auto single = [&](char16_t c) -> int {
    for (int b = 0; b < 256; ++b)
      if (t.single[b] == c && !t.lead[b]) return b;
    return -1;
  };
  std::optional<std::string> bytes;
  bytes.emplace();
  if (singleByte_) {
    for (char16_t c : text) {
      const int b = c == kUndefined ? -1 : c < 0x80 ? c : single(c);
      if (b < 0) return std::nullopt;
      bytes->push_back(static_cast<char>(b));
    }
    return bytes;
  }
  // Any other character as the converter's bytes, when they read back as that character
  // (never a look-alike).
  std::u16string back;
  for (size_t i = 0; i < text.size(); ++i) {
    const int b = text[i] == kUndefined ? -1 : text[i] < 0x80 ? text[i] : single(text[i]);
    if (b >= 0) {
      bytes->push_back(static_cast<char>(b));
      continue;
    }
    const size_t len = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() ? 2 : 1;
    const std::optional<std::string> one = impl_->encode(text.substr(i, len));
    if (!one) return std::nullopt;
    back.clear();
    decode(reinterpret_cast<const uint8_t*>(one->data()), one->size(), back);
    if (back != text.substr(i, len)) return std::nullopt;
    *bytes += *one;
    i += len - 1;
  }
  return bytes;
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
