#include "jet/format/Text.h"

#include <unicode/ucnv.h>

#include <vector>

#include "jet/Error.h"

namespace jet::format {

namespace {

UConverter* openConverter(int codePage) {
  const std::string names[] = {"windows-" + std::to_string(codePage), "cp" + std::to_string(codePage),
                               "ibm-" + std::to_string(codePage)};
  for (const auto& n : names) {
    UErrorCode ec = U_ZERO_ERROR;
    UConverter* c = ucnv_open(n.c_str(), &ec);
    if (U_SUCCESS(ec) && c) return c;
  }
  return nullptr;
}

// Appends UTF-16 code units as UTF-8, pairing surrogates.
struct Utf16Sink {
  std::string& out;
  uint16_t high = 0;
  void put(uint16_t u) {
    if (high) {
      if (u >= 0xDC00 && u <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((uint32_t{high} - 0xD800) << 10) + (u - 0xDC00));
        high = 0;
        return;
      }
      appendUtf8(out, 0xFFFD);
      high = 0;
    }
    if (u >= 0xD800 && u <= 0xDBFF) {
      high = u;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      appendUtf8(out, 0xFFFD);
    } else {
      appendUtf8(out, u);
    }
  }
  void finish() {
    if (high) appendUtf8(out, 0xFFFD);
    high = 0;
  }
};

}  // namespace

TextCodec::TextCodec(const Version& version, int codePage, const std::string& path)
    : jet3_(version.jet3()), codePage_(codePage == 0 ? 1252 : codePage) {
  if (!jet3_) return;  // Jet 4 text is UCS-2 whatever the code page says
  conv_ = openConverter(codePage_);
  if (!conv_) throw unsupportedFormat(path, "不支持的代码页 " + std::to_string(codePage_));
  if (ucnv_getMaxCharSize(conv_) == 1) {
    singleByte_ = true;
    for (int b = 0; b < 256; ++b) {
      char in = static_cast<char>(b);
      UChar u[4];
      UErrorCode ec = U_ZERO_ERROR;
      ucnv_reset(conv_);
      int32_t n = ucnv_toUChars(conv_, u, 4, &in, 1, &ec);
      std::string s;
      Utf16Sink sink{s};
      if (U_SUCCESS(ec) || ec == U_STRING_NOT_TERMINATED_WARNING) {
        for (int32_t i = 0; i < n; ++i) sink.put(u[i]);
      } else {
        sink.put(0xFFFD);
      }
      sink.finish();
      byteUtf8_[b] = s;
    }
  }
}

TextCodec::~TextCodec() {
  if (conv_) ucnv_close(conv_);
}

void TextCodec::decodeUcs2(const uint8_t* p, size_t n, std::string& out) {
  Utf16Sink sink{out};
  for (size_t i = 0; i + 1 < n; i += 2) {
    const uint16_t u = static_cast<uint16_t>(p[i] | (p[i + 1] << 8));
    if (u < 0x80 && !sink.high) {
      out.push_back(static_cast<char>(u));
    } else {
      sink.put(u);
    }
  }
  sink.finish();
}

void TextCodec::decodeJet4(const uint8_t* p, size_t n, std::string& out) {
  out.clear();
  if (n < 2 || p[0] != 0xFF || p[1] != 0xFE) {
    decodeUcs2(p, n, out);
    return;
  }
  // Compressed: one byte per character below U+0100; a lone 0x00 at a character
  // boundary switches between that and two bytes per character.
  bool compressed = true;
  size_t i = 2;
  Utf16Sink sink{out};
  while (i < n) {
    const uint8_t b = p[i];
    if (b == 0) {
      compressed = !compressed;
      ++i;
    } else if (compressed) {
      if (b < 0x80) {
        out.push_back(static_cast<char>(b));
      } else {
        sink.put(b);
      }
      ++i;
    } else {
      if (i + 1 >= n) break;
      sink.put(static_cast<uint16_t>(b | (p[i + 1] << 8)));
      i += 2;
    }
  }
  sink.finish();
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
  std::vector<UChar> u(n + 1);
  UErrorCode ec = U_ZERO_ERROR;
  ucnv_reset(conv_);
  int32_t len = ucnv_toUChars(conv_, u.data(), static_cast<int32_t>(u.size()),
                              reinterpret_cast<const char*>(p), static_cast<int32_t>(n), &ec);
  if (U_FAILURE(ec) && ec != U_STRING_NOT_TERMINATED_WARNING) {
    out.append("\xEF\xBF\xBD");
    return;
  }
  Utf16Sink sink{out};
  for (int32_t i = 0; i < len; ++i) sink.put(u[i]);
  sink.finish();
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
