#include "jet/format/Text.h"

#include <cstring>
#include <vector>

#include "jet/Error.h"

namespace jet::format {

TextCodec::TextCodec(const Version& version, int codePage, const std::string& path)
    : jet3_(version.jet3()), codePage_(codePage == 0 ? 1252 : codePage) {
  if (!jet3_) return;  // Jet 4 text is UCS-2 whatever the code page says
  conv_ = os::CodePage::open(codePage_);
  if (!conv_) throw unsupportedFormat(path, "不支持的代码页 " + std::to_string(codePage_));
  if (conv_->singleByte()) {
    singleByte_ = true;
    for (int b = 0; b < 256; ++b) {
      const uint8_t in = static_cast<uint8_t>(b);
      std::u16string u;
      conv_->decode(&in, 1, u);
      byteUtf8_[b] = os::toUtf8(u);
    }
  }
}

TextCodec::~TextCodec() = default;

namespace {

// UCS-2 units [p, p + 2 * units) as UTF-8 at w; returns the end. A surrogate pair
// becomes one 4-byte sequence, a lone surrogate U+FFFD.
inline char* ucs2(const uint8_t* p, size_t units, char* w) {
  size_t i = 0;
  while (i < units) {
    const uint32_t u = p[2 * i] | (uint32_t{p[2 * i + 1]} << 8);
    ++i;
    if (u < 0x80) {
      *w++ = static_cast<char>(u);
    } else if (u < 0xD800 || u > 0xDFFF) {
      w = os::putUtf8(w, u);
    } else if (u <= 0xDBFF && i < units) {
      const uint32_t lo = p[2 * i] | (uint32_t{p[2 * i + 1]} << 8);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        ++i;
        w = os::putUtf8(w, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
      } else {
        w = os::putUtf8(w, 0xFFFD);
      }
    } else {
      w = os::putUtf8(w, 0xFFFD);
    }
  }
  return w;
}

}  // namespace

void TextCodec::decodeUcs2(const uint8_t* p, size_t n, std::string& out) {
  const size_t base = out.size();
  out.resize(base + 3 * (n / 2));
  char* w = ucs2(p, n / 2, out.data() + base);
  out.resize(static_cast<size_t>(w - out.data()));
}

void TextCodec::decodeJet4(const uint8_t* p, size_t n, std::string& out) {
  if (n < 2 || p[0] != 0xFF || p[1] != 0xFE) {
    out.clear();
    decodeUcs2(p, n, out);
    return;
  }
  // Compressed: one byte per character below U+0100; a lone 0x00 at a character
  // boundary switches between that and two bytes per character.
  out.resize(3 * n);
  char* w = out.data();
  size_t i = 2;
  bool compressed = true;
  while (i < n) {
    if (compressed) {
      size_t j = i;
      while (j < n && static_cast<uint8_t>(p[j] - 1) < 0x7F) ++j;  // 0x01..0x7F
      std::memcpy(w, p + i, j - i);
      w += j - i;
      i = j;
      if (i == n) break;
      const uint8_t b = p[i++];
      if (b == 0) {
        compressed = false;
      } else {
        *w++ = static_cast<char>(0xC0 | (b >> 6));
        *w++ = static_cast<char>(0x80 | (b & 0x3F));
      }
    } else {
      size_t j = i;
      while (j + 1 < n && p[j] != 0) j += 2;
      w = ucs2(p + i, (j - i) / 2, w);
      i = j;
      if (i < n && p[i] == 0) {
        compressed = true;
        ++i;
      } else {
        break;  // an odd byte left over
      }
    }
  }
  out.resize(static_cast<size_t>(w - out.data()));
}

void TextCodec::decodeCodePage(const uint8_t* p, size_t n, std::string& out) const {
  if (singleByte_) {
    for (size_t i = 0; i < n; ++i) {
      if (p[i] < 0x80) {
        out.push_back(static_cast<char>(p[i]));
      } else {
        out += byteUtf8_[p[i]];
      }
    }
    return;
  }
  units_.clear();
  conv_->decode(p, n, units_);
  os::appendUtf8(out, units_);
}

void TextCodec::decode(const uint8_t* p, size_t n, std::string& out) const {
  if (!jet3_) {
    decodeJet4(p, n, out);
    return;
  }
  out.clear();
  decodeCodePage(p, n, out);
}

std::string TextCodec::name(const uint8_t* p, size_t n) const {
  std::string out;
  if (jet3_) {
    decodeCodePage(p, n, out);
  } else {
    decodeUcs2(p, n, out);
  }
  return out;
}

}  // namespace jet::format
