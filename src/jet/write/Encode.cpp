#include "Encode.h"

#include <cmath>
#include <cstring>
#include <string>

#include "jet/DateTime.h"
#include "jet/Error.h"
#include "jet/os/Unicode.h"

namespace jet::write {
namespace {

namespace ct = format::coltype;

std::vector<uint8_t> little(uint64_t v, size_t n) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(v >> (8 * i));
  return b;
}

std::vector<uint8_t> ofDouble(double d) {
  uint64_t u;
  std::memcpy(&u, &d, 8);
  return little(u, 8);
}

std::u16string toUtf16(const std::string& utf8) {
  std::optional<std::u16string> u = os::toUtf16(utf8);
  if (!u) throw conversion();
  return std::move(*u);
}

// Jet 3 text in a code page; a character the code page lacks is a conversion error, never
// a silent '?'.
std::vector<uint8_t> toCodePage(const std::string& utf8, int codePage) {
  const std::unique_ptr<os::CodePage> cp = os::CodePage::open(codePage);
  if (!cp) throw conversion();
  const std::optional<std::string> bytes = cp->encode(toUtf16(utf8));
  if (!bytes) throw notInCodePage(codePage);
  return std::vector<uint8_t>(bytes->begin(), bytes->end());
}

std::vector<uint8_t> text(bool jet3, const format::ColumnDef& c, const std::string& utf8,
                          int codePage) {
  if (jet3) {
    std::vector<uint8_t> b = toCodePage(utf8, c.codePage ? c.codePage : codePage);
    if (b.size() > c.length) throw fieldTooSmall();
    if (c.fixed()) b.resize(c.length, ' ');
    return b;
  }
  std::u16string u = toUtf16(utf8);
  if (u.size() > c.length / 2u) throw fieldTooSmall();
  bool oneByte = !u.empty();
  for (char16_t ch : u) oneByte = oneByte && ch >= 0x01 && ch <= 0xFF;
  std::vector<uint8_t> b;
  if (!c.fixed() && (c.extFlags & format::colextflag::kCompressedUnicode) && oneByte && u.size() >= 3) {
    b.reserve(u.size() + 2);
    b.push_back(0xFF);
    b.push_back(0xFE);
    for (char16_t ch : u) b.push_back(uint8_t(ch));
    return b;
  }
  if (c.fixed()) u.resize(c.length / 2u, u' ');
  b.reserve(u.size() * 2);
  for (char16_t ch : u) {
    b.push_back(uint8_t(ch));
    b.push_back(uint8_t(ch >> 8));
  }
  return b;
}

double asDouble(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Date: return v.asDate().stored;
    case Value::Kind::Double: return v.asDouble();
    case Value::Kind::Int: return double(v.asInt());
    case Value::Kind::Bool: return v.asBool() ? -1.0 : 0.0;
    case Value::Kind::Currency: return double(v.asCurrency().tenThousandths) / 10000.0;
    case Value::Kind::Text: {
      if (auto d = parseDate(v.asText())) return *d;
      try {
        size_t used = 0;
        double d = std::stod(v.asText(), &used);
        if (used == v.asText().size()) return d;
      } catch (...) {
      }
      throw conversion();
    }
    default: throw conversion();
  }
}

int64_t asInteger(const Value& v, int64_t lo, int64_t hi) {
  double d;
  if (v.kind() == Value::Kind::Int)
    d = double(v.asInt());
  else
    d = std::nearbyint(asDouble(v));
  if (!(d >= double(lo) && d <= double(hi))) throw conversion();
  return int64_t(d);
}

}  // namespace

std::optional<std::vector<uint8_t>> encodeValue(bool jet3, const format::ColumnDef& c,
                                                const Value& v, int codePage) {
  if (c.type == ct::kBoolean) {
    if (v.isNull()) return std::vector<uint8_t>{0};
    bool on = v.kind() == Value::Kind::Bool ? v.asBool() : asDouble(v) != 0;
    return std::vector<uint8_t>{uint8_t(on ? 1 : 0)};
  }
  if (v.isNull()) return std::nullopt;
  switch (c.type) {
    case ct::kDateTime:
    case ct::kDouble: return ofDouble(asDouble(v));
    case ct::kFloat: {
      float f = float(asDouble(v));
      uint32_t u;
      std::memcpy(&u, &f, 4);
      return little(u, 4);
    }
    case ct::kByte: return little(uint64_t(asInteger(v, 0, 255)), 1);
    case ct::kInteger: return little(uint64_t(asInteger(v, -32768, 32767)), 2);
    case ct::kLong: return little(uint64_t(asInteger(v, INT32_MIN, INT32_MAX)), 4);
    case ct::kMoney: {
      int64_t t = v.kind() == Value::Kind::Currency ? v.asCurrency().tenThousandths
                                                     : int64_t(std::llround(asDouble(v) * 10000));
      return little(uint64_t(t), 8);
    }
    case ct::kText: {
      std::string s = v.kind() == Value::Kind::Text ? v.asText() : v.toText();
      return text(jet3, c, s, codePage);
    }
    default: throw readOnly("不支持修改这种类型的字段");
  }
}

Value asStored(bool jet3, const format::ColumnDef& c, const Value& v, int codePage) {
  if (v.isNull()) return v;
  switch (c.type) {
    case ct::kByte: return Value(asInteger(v, 0, 255));
    case ct::kInteger: return Value(asInteger(v, -32768, 32767));
    case ct::kLong: return Value(asInteger(v, INT32_MIN, INT32_MAX));
    case ct::kDateTime: return Value(Date{asDouble(v)});
    default: break;
  }
  // The other types' refusals (a text too long, a number out of range) need their bytes.
  encodeValue(jet3, c, v, codePage);
  if (c.type == ct::kText && v.kind() != Value::Kind::Text) return Value(v.toText());
  return v;
}

}  // namespace jet::write
