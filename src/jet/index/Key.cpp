#include "jet/index/Key.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "jet/Error.h"

namespace jet::index {

namespace {

constexpr uint8_t kTypeBoolean = 0x01, kTypeByte = 0x02, kTypeInteger = 0x03, kTypeLong = 0x04,
                  kTypeCurrency = 0x05, kTypeSingle = 0x06, kTypeDouble = 0x07,
                  kTypeDate = 0x08, kTypeBinary = 0x09, kTypeText = 0x0A, kTypeOle = 0x0B,
                  kTypeMemo = 0x0C, kTypeGuid = 0x0F, kTypeDecimal = 0x10,
                  kTypeComplex = 0x12, kTypeBigInt = 0x13;

// Flag bytes that open every column encoding.
constexpr uint8_t kAscNull = 0x00, kAscValue = 0x7F, kDescNull = 0xFF, kDescValue = 0x80;

bool isText(uint8_t type) { return type == kTypeText || type == kTypeMemo; }

const char* typeName(uint8_t type) {
  switch (type) {
    case kTypeOle: return "OLE 对象";
    case kTypeDecimal: return "小数 (Decimal)";
    case 0x11: return "未知类型 0x11";
    case 0x14: return "扩展日期/时间";
    default: return "未知类型";
  }
}

bool typeEncodable(uint8_t type) {
  switch (type) {
    case kTypeBoolean: case kTypeByte: case kTypeInteger: case kTypeLong: case kTypeCurrency:
    case kTypeSingle: case kTypeDouble: case kTypeDate: case kTypeBinary: case kTypeText:
    case kTypeMemo: case kTypeGuid: case kTypeComplex: case kTypeBigInt:
      return true;
    default:
      return false;
  }
}

void invert(Bytes& b, size_t from) {
  for (size_t i = from; i < b.size(); ++i) b[i] = static_cast<uint8_t>(~b[i]);
}

int64_t integerOf(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Int: return v.asInt();
    case Value::Kind::Bool: return v.asBool() ? -1 : 0;
    case Value::Kind::Currency: return v.asCurrency().tenThousandths;
    default: throw conversion();
  }
}

double doubleOf(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Double: return v.asDouble();
    case Value::Kind::Date: return v.asDate().stored;
    case Value::Kind::Int: return static_cast<double>(v.asInt());
    default: throw conversion();
  }
}

// Big-endian two's complement with the sign bit flipped: signed order becomes byte order.
void appendSigned(int64_t value, int width, Bytes& out) {
  const size_t at = out.size();
  for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  out[at] ^= 0x80;
}

// IEEE bits ordered like the numbers: positives get the sign bit set, negatives inverted.
void appendFloatBits(uint64_t bits, int width, Bytes& out) {
  const size_t at = out.size();
  for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  if (out[at] & 0x80)
    invert(out, at);
  else
    out[at] ^= 0x80;
}

// 8-byte segments; a full segment followed by more data ends in 0x09, the last one in
// its count of valid bytes. Descending inverts data bytes and the whole last segment.
void appendBinary(const uint8_t* data, size_t n, bool ascending, Bytes& out) {
  if (n == 0) return;  // an empty value is its flag byte alone
  size_t pos = 0;
  while (n - pos > 8) {
    const size_t at = out.size();
    out.insert(out.end(), data + pos, data + pos + 8);
    if (!ascending) invert(out, at);
    out.push_back(0x09);
    pos += 8;
  }
  const size_t at = out.size();
  const size_t rest = n - pos;
  out.insert(out.end(), data + pos, data + n);
  out.insert(out.end(), 8 - rest, 0);
  out.push_back(static_cast<uint8_t>(rest));
  if (!ascending) invert(out, at);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A GUID in canonical (big-endian, as written in text) byte order.
void guidBytes(const Value& v, uint8_t out[16]) {
  if (v.kind() == Value::Kind::Binary && v.asBinary().size() == 16) {
    const Bytes& s = v.asBinary();
    static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i) out[i] = s[kOrder[i]];
    return;
  }
  if (v.kind() != Value::Kind::Text) throw conversion();
  int n = 0, hi = -1;
  for (char c : v.asText()) {
    if (c == '{' || c == '}' || c == '-') continue;
    const int d = hexDigit(c);
    if (d < 0 || n >= 16) throw conversion();
    if (hi < 0) {
      hi = d;
    } else {
      out[n++] = static_cast<uint8_t>(hi << 4 | d);
      hi = -1;
    }
  }
  if (n != 16 || hi >= 0) throw conversion();
}

}  // namespace

SortOrder sortOrderOf(const Collation& c) {
  if (c.jet3) return c.lcid == 0x0409 && c.codePage == 1252 ? SortOrder::General97 : SortOrder::Other;
  switch (c.lcid) {
    case 0x0409:
      return c.version == 0 ? SortOrder::GeneralLegacy
                            : c.version == 1 ? SortOrder::General2010 : SortOrder::Other;
    case 0x0804: return c.version == 0 ? SortOrder::ChinesePrc : SortOrder::Other;
    case 0x0404: return c.version == 0 ? SortOrder::ChineseTaiwan : SortOrder::Other;
    default: return SortOrder::Other;
  }
}

bool encodable(const Collation& c) { return sortOrderOf(c) != SortOrder::Other; }

std::string sortOrderName(const Collation& c) {
  struct Known {
    uint16_t lcid;
    const char* name;
  };
  static constexpr Known kKnown[] = {
      {0x0804, "中文(中国) (Chinese PRC)"},
      {0x0404, "中文(台湾) (Chinese Taiwan)"},
      {0x0C04, "中文(香港) (Chinese Hong Kong)"},
      {0x1004, "中文(新加坡) (Chinese Singapore)"},
      {0x1404, "中文(澳门) (Chinese Macau)"},
      {0x0411, "日语 (Japanese)"},
      {0x0412, "朝鲜语 (Korean)"},
      {0x0419, "西里尔文 (Cyrillic)"},
      {0x0408, "希腊语 (Greek)"},
      {0x041F, "土耳其语 (Turkish)"},
      {0x040D, "希伯来语 (Hebrew)"},
      {0x0401, "阿拉伯语 (Arabic)"},
      {0x041E, "泰语 (Thai)"},
      {0x0405, "捷克语 (Czech)"},
      {0x0415, "波兰语 (Polish)"},
      {0x040E, "匈牙利语 (Hungarian)"},
      {0x041D, "瑞典语/芬兰语 (Swedish/Finnish)"},
      {0x0406, "挪威语/丹麦语 (Norwegian/Danish)"},
      {0x040F, "冰岛语 (Icelandic)"},
      {0x0413, "荷兰语 (Dutch)"},
      {0x040A, "西班牙语传统 (Traditional Spanish)"},
      {0x0C0A, "西班牙语 (Spanish)"},
  };
  switch (sortOrderOf(c)) {
    case SortOrder::General97: return "常规 (General, Access 97)";
    case SortOrder::GeneralLegacy: return "常规 - 旧版 (General Legacy)";
    case SortOrder::General2010: return "常规 (General, Access 2010)";
    case SortOrder::ChinesePrc: return "中文(中国) (Chinese PRC) [0x0804]";
    case SortOrder::ChineseTaiwan: return "中文(台湾) (Chinese Taiwan) [0x0404]";
    case SortOrder::Other: break;
  }
  char code[64];
  std::string name;
  if (c.lcid == 0x0409) {
    name = "常规 (General)";
  } else {
    std::snprintf(code, sizeof code, "区域设置 0x%04X", unsigned{c.lcid});
    name = code;
    for (const Known& k : kKnown)
      if (k.lcid == c.lcid) {
        std::snprintf(code, sizeof code, " [0x%04X]", unsigned{c.lcid});
        name = std::string(k.name) + code;
      }
  }
  if (c.jet3) {
    std::snprintf(code, sizeof code, "，Access 97，代码页 %u", unsigned{c.codePage});
  } else {
    std::snprintf(code, sizeof code, "，排序版本 %u", unsigned{c.version});
  }
  return name + code;
}

std::optional<std::string> unsupported(std::span<const KeyColumn> columns) {
  for (const KeyColumn& col : columns) {
    if (!typeEncodable(col.type))
      return "索引字段 '" + col.name + "' 的类型 " + typeName(col.type) + " 不能生成索引键";
    if (isText(col.type) && !encodable(col.collation))
      return "索引字段 '" + col.name + "' 的排序次序 " + sortOrderName(col.collation) +
             " 不能生成索引键";
  }
  return std::nullopt;
}

void appendColumnKey(const KeyColumn& col, const Value& value, Bytes& out) {
  if (col.type == kTypeBoolean) {
    // Never Null in an index: a missing Yes/No is No.
    const bool yes = !value.isNull() && integerOf(value) != 0;
    out.push_back(col.ascending ? kAscValue : kDescValue);
    out.push_back(yes == col.ascending ? 0x00 : 0xFF);
    return;
  }
  // The Null key is the flag byte alone, in every type and sort order.
  if (value.isNull()) {
    out.push_back(col.ascending ? kAscNull : kDescNull);
    return;
  }
  if (!typeEncodable(col.type) || (isText(col.type) && !encodable(col.collation)))
    throw readOnly(*unencodable(col, value));
  out.push_back(col.ascending ? kAscValue : kDescValue);
  const size_t at = out.size();
  switch (col.type) {
    case kTypeByte:
      out.push_back(static_cast<uint8_t>(integerOf(value)));
      break;
    case kTypeInteger: appendSigned(integerOf(value), 2, out); break;
    case kTypeLong:
    case kTypeComplex:  // the row keeps a Long that names the value list
      appendSigned(integerOf(value), 4, out);
      break;
    case kTypeCurrency:
    case kTypeBigInt: appendSigned(integerOf(value), 8, out); break;
    case kTypeSingle: {
      const float f = static_cast<float>(doubleOf(value));
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      appendFloatBits(bits, 4, out);
      break;
    }
    case kTypeDouble:
    case kTypeDate: {
      const double d = doubleOf(value);
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      appendFloatBits(bits, 8, out);
      break;
    }
    case kTypeBinary: {
      if (value.kind() != Value::Kind::Binary) throw conversion();
      const Bytes& b = value.asBinary();
      appendBinary(b.data(), b.size(), true, out);
      break;
    }
    case kTypeGuid: {
      uint8_t g[16];
      guidBytes(value, g);
      appendBinary(g, 16, true, out);
      break;
    }
    case kTypeText:
    case kTypeMemo: {
      if (value.kind() != Value::Kind::Text) throw conversion();
      Bytes text;
      if (col.collation.jet3) {
        const std::optional<std::string> cp = cp1252FromUtf8(value.asText());
        if (!cp) throw conversion();
        text = general97Text(*cp, col.ascending);
      } else {
        text = jet4Text(sortOrderOf(col.collation), utf16FromUtf8(value.asText()), col.ascending);
      }
      out.insert(out.end(), text.begin(), text.end());
      return;  // the text encoders apply the direction themselves
    }
  }
  if (!col.ascending) {
    if (col.type == kTypeBinary || col.type == kTypeGuid) {
      // Redo with the segment rule for descending order.
      out.resize(at);
      if (col.type == kTypeBinary) {
        appendBinary(value.asBinary().data(), value.asBinary().size(), false, out);
      } else {
        uint8_t g[16];
        guidBytes(value, g);
        appendBinary(g, 16, false, out);
      }
    } else {
      invert(out, at);
    }
  }
}

std::optional<std::string> unencodable(const KeyColumn& col, const Value& value) {
  if (value.isNull() || col.type == kTypeBoolean) return std::nullopt;
  const KeyColumn one[] = {col};
  if (std::optional<std::string> why = unsupported(one))
    return *why + "，只能清除该字段（设为 Null）";
  return std::nullopt;
}

bool tryAppendColumnKey(const KeyColumn& column, const Value& value, Bytes& out) {
  const size_t at = out.size();
  try {
    appendColumnKey(column, value, out);
    return true;
  } catch (const Error& e) {
    out.resize(at);
    if (e.number() != err::kReadOnly) throw;
    return false;
  }
}

Bytes encodeKey(std::span<const KeyColumn> columns, std::span<const Value> values) {
  Bytes out;
  out.reserve(16 * columns.size());
  for (size_t i = 0; i < columns.size(); ++i) appendColumnKey(columns[i], values[i], out);
  return out;
}

std::u16string utf16FromUtf8(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const uint8_t b = static_cast<uint8_t>(s[i]);
    uint32_t cp;
    int extra;
    if (b < 0x80) {
      cp = b;
      extra = 0;
    } else if ((b & 0xE0) == 0xC0) {
      cp = b & 0x1F;
      extra = 1;
    } else if ((b & 0xF0) == 0xE0) {
      cp = b & 0x0F;
      extra = 2;
    } else if ((b & 0xF8) == 0xF0) {
      cp = b & 0x07;
      extra = 3;
    } else {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      if (i + k >= s.size() || (static_cast<uint8_t>(s[i + k]) & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = cp << 6 | (static_cast<uint8_t>(s[i + k]) & 0x3F);
    }
    if (!ok) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    i += 1 + extra;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::optional<std::string> cp1252FromUtf8(std::string_view utf8) {
  // The 1252 bytes 0x80-0x9F that are not the same code point in Unicode.
  struct Pair {
    char16_t u;
    uint8_t b;
  };
  static constexpr Pair kHigh[] = {
      {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85},
      {0x2020, 0x86}, {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A},
      {0x2039, 0x8B}, {0x0152, 0x8C}, {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92},
      {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95}, {0x2013, 0x96}, {0x2014, 0x97},
      {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B}, {0x0153, 0x9C},
      {0x017E, 0x9E}, {0x0178, 0x9F},
  };
  std::string out;
  for (char16_t c : utf16FromUtf8(utf8)) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    bool found = false;
    for (const Pair& p : kHigh)
      if (p.u == c) {
        out.push_back(static_cast<char>(p.b));
        found = true;
        break;
      }
    // The five bytes 1252 leaves undefined read back as the C1 control of the same number.
    if (!found && (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D)) {
      out.push_back(static_cast<char>(c));
      found = true;
    }
    if (!found) return std::nullopt;
  }
  return out;
}

}  // namespace jet::index
