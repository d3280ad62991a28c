// Text keys of the Jet 4 / ACE sort orders over UTF-16 code units ("General Legacy", ACE
// "General", Chinese PRC and Chinese Taiwan) and of Jet 3 "General 97" over code-page 1252
// bytes.
// Where each code table comes from and how it was checked: Key.h.
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "jet/index/Key.h"
#include "jet/index/TextKeyTables.h"

namespace jet::index {

namespace detail {

namespace {

constexpr uint16_t kNoRun = 0xFFFF;

// Run number of every code unit (kNoRun for surrogates) of a full table, built on first use.
std::vector<uint16_t> runIndexOf(const CodeRun* runs, int count) {
  std::vector<uint16_t> t(0x10000, kNoRun);
  for (int r = 0; r < count; ++r)
    for (uint32_t c = runs[r].first; c <= runs[r].last; ++c) t[c] = static_cast<uint16_t>(r);
  return t;
}

// The replacing two-byte code of every code unit (0: none) of a Chinese table.
std::vector<uint16_t> overridesOf(const SimpleRun* runs, int count) {
  std::vector<uint16_t> t(0x10000, 0);
  for (int r = 0; r < count; ++r)
    for (uint32_t c = runs[r].first; c <= runs[r].last; ++c)
      t[c] = static_cast<uint16_t>(runs[r].code + (c - runs[r].first));
  return t;
}

const std::vector<uint16_t>& legacyIndex() {
  static const std::vector<uint16_t> t = runIndexOf(kGeneralLegacyRuns, kGeneralLegacyRunsCount);
  return t;
}
const std::vector<uint16_t>& index2010() {
  static const std::vector<uint16_t> t = runIndexOf(kGeneral2010Runs, kGeneral2010RunsCount);
  return t;
}
const std::vector<uint16_t>& prcCodes() {
  static const std::vector<uint16_t> t = overridesOf(kChinesePrcRuns, kChinesePrcRunsCount);
  return t;
}
const std::vector<uint16_t>& taiwanCodes() {
  static const std::vector<uint16_t> t = overridesOf(kChineseTaiwanRuns, kChineseTaiwanRunsCount);
  return t;
}

CharCode fromRun(const CodeRun& run, char16_t cu) {
  CharCode cc;
  cc.kind = run.kind;
  cc.codeLen = run.codeLen;
  std::copy(run.code, run.code + 8, cc.code);
  cc.extraLen = run.extraLen;
  std::copy(run.extra, run.extra + 3, cc.extra);
  cc.flag = run.flag;
  // Simple runs count up in their last code byte (no run crosses a byte boundary).
  if (cc.kind == 'S' && cc.codeLen > 0)
    cc.code[cc.codeLen - 1] = static_cast<uint8_t>(cc.code[cc.codeLen - 1] + (cu - run.first));
  return cc;
}

// Surrogates behave like international characters with a computed two-byte code.
CharCode surrogate(char16_t cu) {
  int code;
  if (cu < 0xDC00) {
    code = cu - 10238;
  } else {
    const int o = (cu - 0xDC00) % 1024;
    const int k = o < 8 ? 9992 : o < 262 ? 9990 : o < 516 ? 9988 : o < 770 ? 9986 : 9984;
    code = cu - k;
  }
  CharCode cc;
  cc.kind = 'I';
  cc.codeLen = 2;
  cc.code[0] = static_cast<uint8_t>(code >> 8);
  cc.code[1] = static_cast<uint8_t>(code);
  cc.extraLen = 1;
  cc.extra[0] = 0x3F;
  return cc;
}

CharCode fromFull(const CodeRun* runs, const std::vector<uint16_t>& index, char16_t cu) {
  const uint16_t r = index[cu];
  return r != kNoRun ? fromRun(runs[r], cu) : surrogate(cu);
}

CharCode fromChinese(const std::vector<uint16_t>& codes, char16_t cu) {
  const uint16_t code = codes[cu];
  if (code == 0) return fromFull(kGeneralLegacyRuns, legacyIndex(), cu);
  CharCode cc;
  cc.kind = 'S';
  cc.codeLen = 2;
  cc.code[0] = static_cast<uint8_t>(code >> 8);
  cc.code[1] = static_cast<uint8_t>(code);
  return cc;
}

}  // namespace

CharCode codeOf(CodeTable table, char16_t cu) {
  switch (table) {
    case CodeTable::GeneralLegacy: return fromFull(kGeneralLegacyRuns, legacyIndex(), cu);
    case CodeTable::General2010: return fromFull(kGeneral2010Runs, index2010(), cu);
    case CodeTable::ChinesePrc: return fromChinese(prcCodes(), cu);
    case CodeTable::ChineseTaiwan: return fromChinese(taiwanCodes(), cu);
  }
  return {};
}

}  // namespace detail

namespace {

using detail::CharCode;

// The extra-code section: one position per character that produced an inline code, filled
// with 0x02 where a character had nothing to add.
struct Extras {
  bool present = false;
  Bytes bytes;
  int count = 0;        // positions accounted for
  bool leading = false;  // a modifier arrived before any extra byte existed

  void fillTo(int pos) {
    present = true;
    if (count < pos) {
      bytes.insert(bytes.end(), static_cast<size_t>(pos - count), 0x02);
      count = pos;
    }
  }
  void add(int pos, const uint8_t* b, int n) {
    fillTo(pos);
    bytes.insert(bytes.end(), b, b + n);
    count += 1;
  }
  void modify(int pos, uint8_t m) {
    fillTo(pos);
    if (!bytes.empty()) {
      bytes.back() = static_cast<uint8_t>(bytes.back() + m);
    } else {
      bytes.push_back(m);
      leading = true;
    }
  }
};

// Every Jet 4 / ACE sort order builds a key the same way from its per-character codes.
template <class Lookup>
Bytes unicodeText(std::u16string_view text, bool ascending, Lookup lookupCode) {
  size_t n = std::min<size_t>(text.size(), 255);
  while (n > 0 && text[n - 1] == u' ') --n;

  Bytes out;
  out.reserve(n + 4);
  int pos = 0;  // characters that produced an inline code so far
  Extras extras;
  bool hasUnprintable = false;
  Bytes unprintable;
  bool hasFlags = false;
  Bytes flags;

  for (size_t i = 0; i < n; ++i) {
    const CharCode cc = lookupCode(text[i]);
    switch (cc.kind) {
      case 'S':
        out.insert(out.end(), cc.code, cc.code + cc.codeLen);
        ++pos;
        break;
      case 'I':
        out.insert(out.end(), cc.code, cc.code + cc.codeLen);
        extras.add(pos, cc.extra, cc.extraLen);
        ++pos;
        break;
      case 'Z':
        out.insert(out.end(), cc.code, cc.code + cc.codeLen);
        if (cc.extraLen > 0) extras.add(pos, cc.extra, cc.extraLen);
        hasFlags = true;
        flags.push_back(cc.flag);
        ++pos;
        break;
      case 'U': {
        const int where = !extras.present
                              ? pos
                              : static_cast<int>(extras.bytes.size()) + (pos - extras.count) -
                                    (extras.leading ? 1 : 0);
        const int v = 0x8000 | (7 + 4 * where);
        hasUnprintable = true;
        unprintable.push_back(static_cast<uint8_t>(v >> 8));
        unprintable.push_back(static_cast<uint8_t>(v));
        unprintable.push_back(0x06);
        unprintable.insert(unprintable.end(), cc.code, cc.code + cc.codeLen);
        break;
      }
      case 'P':
        extras.modify(pos, cc.extra[0]);
        break;
      default:  // 'X': ignored
        break;
    }
  }
  out.push_back(0x01);

  while (!extras.bytes.empty() && extras.bytes.back() <= 0x02) extras.bytes.pop_back();
  if (!extras.bytes.empty() || hasUnprintable || hasFlags) {
    out.insert(out.end(), extras.bytes.begin(), extras.bytes.end());
    if (hasUnprintable || hasFlags) {
      out.push_back(0x01);
      out.push_back(0x01);
      if (hasFlags) {
        while (!flags.empty() && flags.back() == 3) flags.pop_back();
        for (size_t i = 0; i < flags.size(); i += 3) {
          uint8_t b = 0x80 | static_cast<uint8_t>(flags[i] << 4);
          if (i + 1 < flags.size()) b |= static_cast<uint8_t>(flags[i + 1] << 2);
          if (i + 2 < flags.size()) b |= flags[i + 2];
          out.push_back(b);
        }
        static constexpr uint8_t kFlagsEnd[] = {0xFF, 0x02, 0x80, 0xFF, 0x80};
        out.insert(out.end(), std::begin(kFlagsEnd), std::end(kFlagsEnd));
        if (hasUnprintable) out.push_back(0xFF);
      }
      if (hasUnprintable) {
        out.push_back(0x01);
        out.insert(out.end(), unprintable.begin(), unprintable.end());
      }
    }
  }
  if (!ascending) {
    out.push_back(0x00);
    for (uint8_t& b : out) b = static_cast<uint8_t>(~b);
  }
  out.push_back(0x00);
  return out;
}

}  // namespace

Bytes jet4Text(SortOrder order, std::u16string_view text, bool ascending) {
  using detail::CodeTable;
  using detail::codeOf;
  switch (order) {
    case SortOrder::General2010:
      return unicodeText(text, ascending, [](char16_t c) { return codeOf(CodeTable::General2010, c); });
    case SortOrder::ChinesePrc:
      return unicodeText(text, ascending, [](char16_t c) { return codeOf(CodeTable::ChinesePrc, c); });
    case SortOrder::ChineseTaiwan:
      return unicodeText(text, ascending,
                         [](char16_t c) { return codeOf(CodeTable::ChineseTaiwan, c); });
    default:
      return unicodeText(text, ascending,
                         [](char16_t c) { return codeOf(CodeTable::GeneralLegacy, c); });
  }
}

Bytes generalLegacyText(std::u16string_view text, bool ascending) {
  return jet4Text(SortOrder::GeneralLegacy, text, ascending);
}

namespace {

// General 97 codes of the 256 code-page bytes. kind: 'S' plain, 'G' significant letter,
// 'I' international (code + extra nibble), 'X' ignored. Codes of two bytes are ligatures.
struct Code97 {
  char kind;
  uint8_t len;
  uint8_t code[2];
  uint8_t extra;
};

constexpr Code97 S(uint8_t c) { return {'S', 1, {c, 0}, 0}; }
constexpr Code97 S2(uint8_t a, uint8_t b) { return {'S', 2, {a, b}, 0}; }
constexpr Code97 G(uint8_t c) { return {'G', 1, {c, 0}, 0}; }
constexpr Code97 I(uint8_t c, uint8_t e) { return {'I', 1, {c, 0}, e}; }
constexpr Code97 X() { return {'X', 0, {0, 0}, 0}; }

// Byte 0x00 inside a value is written as 0x10 (observed), although it is listed as ignored
// when it would start a value; values never start with it, so 0x10 is used throughout.
constexpr Code97 kGeneral97[256] = {
    /*00*/ S(0x10), S(0x10), S(0x10), S(0x10), S(0x10), S(0x10), S(0x10), S(0x10),
    /*08*/ S(0x10), S(0x11), S(0x10), S(0x10), S(0x10), S(0x10), S(0x10), S(0x10),
    /*10*/ S(0x10), S(0x10), S(0x10), S(0x10), S(0x10), S(0x10), S(0x10), S(0x10),
    /*18*/ S(0x10), S(0x10), S(0x10), S(0x10), S(0x10), S(0x10), S(0x10), S(0x10),
    /*20*/ S(0x11), S(0x12), S(0x13), S(0x14), S(0x15), S(0x16), S(0x17), S(0x18),
    /*28*/ S(0x19), S(0x1A), S(0x1B), S(0x1C), S(0x1D), S(0x1E), S(0x1F), S(0x20),
    /*30*/ S(0x56), S(0x57), S(0x58), S(0x59), S(0x5A), S(0x5B), S(0x5C), S(0x5D),
    /*38*/ S(0x5E), S(0x5F), S(0x21), S(0x22), S(0x23), S(0x24), S(0x25), S(0x26),
    /*40*/ S(0x27), G(0x60), S(0x61), G(0x62), S(0x64), G(0x66), S(0x67), S(0x68),
    /*48*/ S(0x69), G(0x6A), S(0x6B), S(0x6C), S(0x6D), S(0x6F), G(0x70), G(0x72),
    /*50*/ S(0x73), S(0x74), S(0x75), G(0x76), S(0x77), G(0x78), S(0x7A), S(0x7B),
    /*58*/ S(0x7C), G(0x7D), S(0x7E), S(0x28), S(0x29), S(0x2A), S(0x2B), S(0x2C),
    /*60*/ S(0x2D), G(0x60), S(0x61), G(0x62), S(0x64), G(0x66), S(0x67), S(0x68),
    /*68*/ S(0x69), G(0x6A), S(0x6B), S(0x6C), S(0x6D), S(0x6F), G(0x70), G(0x72),
    /*70*/ S(0x73), S(0x74), S(0x75), G(0x76), S(0x77), G(0x78), S(0x7A), S(0x7B),
    /*78*/ S(0x7C), G(0x7D), S(0x7E), S(0x2E), S(0x2F), S(0x30), S(0x31), S(0x10),
    /*80*/ S(0x10), S(0x10), S(0x18), S(0x32), S(0x13), S(0x33), S(0x34), S(0x35),
    /*88*/ S(0x36), S(0x37), I(0x76, 0x0A), S(0x18), S2(0x72, 0x66), S(0x10), S(0x10), S(0x10),
    /*90*/ S(0x10), S(0x18), S(0x18), S(0x13), S(0x13), S(0x38), S(0x1E), S(0x1E),
    /*98*/ S(0x39), S(0x3A), I(0x76, 0x0A), S(0x18), S2(0x72, 0x66), S(0x10), S(0x10), I(0x7D, 0x06),
    /*A0*/ S(0x11), S(0x3B), S(0x3C), S(0x3D), S(0x3E), S(0x3F), S(0x40), S(0x41),
    /*A8*/ S(0x42), S(0x43), S(0x44), S(0x13), S(0x45), S(0x1E), S(0x46), S(0x47),
    /*B0*/ S(0x48), S(0x49), S(0x58), S(0x59), S(0x4A), S(0x4B), S(0x4C), S(0x4D),
    /*B8*/ S(0x4E), S(0x57), S(0x4F), S(0x13), S(0x50), S(0x51), S(0x52), S(0x53),
    /*C0*/ I(0x60, 0x03), I(0x60, 0x04), I(0x60, 0x05), I(0x60, 0x07), I(0x60, 0x06), I(0x60, 0x08), S2(0x60, 0x66), I(0x62, 0x09),
    /*C8*/ I(0x66, 0x03), I(0x66, 0x04), I(0x66, 0x05), I(0x66, 0x06), I(0x6A, 0x03), I(0x6A, 0x04), I(0x6A, 0x05), I(0x6A, 0x06),
    /*D0*/ S(0x65), I(0x70, 0x07), I(0x72, 0x03), I(0x72, 0x04), I(0x72, 0x05), I(0x72, 0x07), I(0x72, 0x06), S(0x54),
    /*D8*/ S(0x81), I(0x78, 0x03), I(0x78, 0x04), I(0x78, 0x05), I(0x78, 0x06), I(0x7D, 0x04), S(0x7F), S2(0x76, 0x76),
    /*E0*/ I(0x60, 0x03), I(0x60, 0x04), I(0x60, 0x05), I(0x60, 0x07), I(0x60, 0x06), I(0x60, 0x08), S2(0x60, 0x66), I(0x62, 0x09),
    /*E8*/ I(0x66, 0x03), I(0x66, 0x04), I(0x66, 0x05), I(0x66, 0x06), I(0x6A, 0x03), I(0x6A, 0x04), I(0x6A, 0x05), I(0x6A, 0x06),
    /*F0*/ S(0x65), I(0x70, 0x07), I(0x72, 0x03), I(0x72, 0x04), I(0x72, 0x05), I(0x72, 0x07), I(0x72, 0x06), S(0x55),
    /*F8*/ S(0x81), I(0x78, 0x03), I(0x78, 0x04), I(0x78, 0x05), I(0x78, 0x06), I(0x7D, 0x04), S(0x7F), I(0x7D, 0x06),
};

// Ligatures stand for two letters in the count of significant letters.
bool isLigature(uint8_t b) {
  return b == 0xDF || b == 0x8C || b == 0x9C || b == 0xC6 || b == 0xE6;
}

}  // namespace

Bytes general97Text(std::string_view cp1252, bool ascending) {
  size_t n = std::min<size_t>(cp1252.size(), 255);
  while (n > 0 && cp1252[n - 1] == ' ') --n;

  Bytes out;
  out.reserve(n + 2);
  int significant = 0;
  bool hasNibbles = false;
  std::vector<uint8_t> nibbles;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = static_cast<uint8_t>(cp1252[i]);
    const Code97& c = kGeneral97[b];
    switch (c.kind) {
      case 'S':
        out.insert(out.end(), c.code, c.code + c.len);
        if (isLigature(b)) significant += 2;
        break;
      case 'G':
        out.push_back(c.code[0]);
        ++significant;
        break;
      case 'I':
        out.push_back(c.code[0]);
        if (!hasNibbles) {
          hasNibbles = true;
          nibbles.push_back(0);
        }
        nibbles.insert(nibbles.end(), static_cast<size_t>(significant), 2);
        significant = 0;
        nibbles.push_back(c.extra & 0x0F);
        break;
      default:
        break;
    }
  }
  if (hasNibbles) {
    nibbles.push_back(0);
    for (size_t i = 0; i < nibbles.size(); i += 2) {
      const uint8_t lo = i + 1 < nibbles.size() ? nibbles[i + 1] : 0;
      out.push_back(static_cast<uint8_t>(nibbles[i] << 4 | lo));
    }
  } else {
    out.push_back(0x00);
  }
  if (!ascending)
    for (uint8_t& b : out) b = static_cast<uint8_t>(~b);
  return out;
}

}  // namespace jet::index
