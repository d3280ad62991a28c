#include "jet/RowDecoder.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "jet/format/LongValue.h"

namespace jet {

using namespace format;

void RowDecoder::shortFixed(const ColumnDef& c) {
  corrupt("行太短，放不下列 '" + c.name + "' 的定长值");
}

void RowDecoder::wrongSize(const ColumnDef& c) {
  corrupt("列 '" + c.name + "' 的值长度不对");
}

void RowDecoder::unwrapCalculated(const ColumnDef& c, const uint8_t** p, uint32_t* n) {
  constexpr uint32_t kLengthAt = 16, kDataAt = 20;
  if (*n < kDataAt) wrongSize(c);
  const uint32_t len = le32(*p + kLengthAt);
  if (len > *n - kDataAt) wrongSize(c);
  *p += kDataAt;
  *n = len;
}

namespace {

// ACE Date/Time Extended: "DDDDDDDDDDDDDDDDDDD:TTTTTTTTTTTTTTTTTTT:P" — days since
// 0001-01-01 and the time of day in units of 100 ns.
std::string extendedDateText(const uint8_t* p, uint32_t n) {
  std::string s(reinterpret_cast<const char*>(p), n);
  while (!s.empty() && s.back() == '\0') s.pop_back();
  const auto c1 = s.find(':');
  const auto c2 = c1 == std::string::npos ? c1 : s.find(':', c1 + 1);
  if (c2 == std::string::npos) return s;
  int64_t days = 0, ticks = 0;
  auto r1 = std::from_chars(s.data(), s.data() + c1, days);
  auto r2 = std::from_chars(s.data() + c1 + 1, s.data() + c2, ticks);
  if (r1.ec != std::errc() || r2.ec != std::errc() || days < 0 || days > 3652058 || ticks < 0 ||
      ticks >= int64_t{864000000000})
    return s;
  // Days since 0001-01-01 -> civil date (proleptic Gregorian).
  int64_t z = days - 719162 + 719468;  // to days since 1970-01-01, then shifted to 0000-03-01
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
  const int64_t secs = ticks / 10000000, frac = ticks % 10000000;
  char buf[48];
  int len = std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld",
                          static_cast<long long>(y), static_cast<long long>(m),
                          static_cast<long long>(d), static_cast<long long>(secs / 3600),
                          static_cast<long long>(secs / 60 % 60), static_cast<long long>(secs % 60));
  std::string out(buf, len);
  if (frac != 0) {
    std::snprintf(buf, sizeof buf, ".%07lld", static_cast<long long>(frac));
    std::string f(buf);
    while (f.back() == '0') f.pop_back();
    out += f;
  }
  return out;
}

// A Single as the shortest decimal that reads back as the same float, then as a double:
// 1.1f is shown and compared as 1.1, the way the value was typed.
double singleAsDouble(float f) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, f);
  double d = f;
  std::from_chars(buf, r.ptr, d);
  return d;
}

std::string guidText(const uint8_t* p) {
  static const char* kHex = "0123456789ABCDEF";
  std::string s = "{";
  auto hex = [&](uint8_t b) {
    s += kHex[b >> 4];
    s += kHex[b & 15];
  };
  for (int i = 3; i >= 0; --i) hex(p[i]);
  s += '-';
  hex(p[5]);
  hex(p[4]);
  s += '-';
  hex(p[7]);
  hex(p[6]);
  s += '-';
  hex(p[8]);
  hex(p[9]);
  s += '-';
  for (int i = 10; i < 16; ++i) hex(p[i]);
  s += '}';
  return s;
}

std::string decimalText(unsigned __int128 m, int scale, bool negative) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m != 0);
  if (scale > 0) {
    if (digits.size() <= static_cast<size_t>(scale))
      digits.insert(0, static_cast<size_t>(scale) + 1 - digits.size(), '0');
    digits.insert(digits.size() - scale, ".");
  }
  const bool zero = digits.find_first_not_of("0.") == std::string::npos;
  return negative && !zero ? "-" + digits : digits;
}

// Sign byte, then a 128-bit magnitude as four little-endian words, most significant first.
std::string decimalText(const uint8_t* p, int scale) {
  unsigned __int128 m = 0;
  for (int w = 0; w < 4; ++w) m = (m << 32) | le32(p + 1 + 4 * w);
  return decimalText(m, scale, (p[0] & 0x80) != 0);
}

}  // namespace

// A calculated Decimal result is not the 17 bytes of a Decimal column: the number of
// bytes that follow (2; 0 for "all there are"), the scale (1), the sign (1, 0x80
// negative), then the magnitude in whole 4-byte words, at most 16 bytes, most significant
// first: a leading word on its own when their number is odd, then 8-byte groups, each
// little-endian.
Value RowDecoder::calculatedDecimal(const ColumnDef& c, const uint8_t* p, uint32_t n) {
  if (n == 0) return Value::null();  // an expression without a value
  if (n < 4) wrongSize(c);
  const uint32_t given = le16(p);
  const uint32_t after = given > 0 ? given : n - 2;
  if (after < 2) wrongSize(c);
  const uint32_t count = std::min<uint32_t>((after - 2) / 4 * 4, 16);
  if (4 + count > n) wrongSize(c);
  const int scale = p[2];
  if (scale > 28) wrongSize(c);
  const uint8_t* q = p + 4;
  unsigned __int128 m = 0;
  uint32_t k = 0;
  if (count % 8 != 0) {
    m = le32(q);
    k = 4;
  }
  for (; k < count; k += 8) m = (m << 64) | le64(q + k);
  return Value(Decimal{decimalText(m, scale, p[3] != 0)});
}

Value RowDecoder::value(const ColumnDef& c) {
  if (c.type == coltype::kBoolean && !c.calculated()) return Value(view_.present(c.number));
  const uint8_t* p;
  uint32_t n;
  if (!bytes(c, &p, &n)) return Value::null();
  const int type = c.valueType();
  uint8_t widened[8];
  if (c.calculated()) {
    // A Yes/No result is one byte, not a bit of the null mask; any non-zero byte is Yes.
    if (type == coltype::kBoolean) return n == 0 ? Value::null() : Value(p[0] != 0);
    if (type == coltype::kNumeric) return calculatedDecimal(c, p, n);
    // A calculated result may be stored narrower than its type (a file without the
    // result type kept a Yes/No result in an Integer column); integers widen with their
    // sign, anything else that is too short is an expression without a value.
    const uint32_t size = fixedSizeOf(type);
    if (size != 0 && n < size) {
      const bool integer = type == coltype::kByte || type == coltype::kInteger ||
                           type == coltype::kLong || type == coltype::kBigInt ||
                           type == coltype::kMoney;
      if (!integer || n == 0 || size > sizeof widened) return Value::null();
      std::memset(widened, (p[n - 1] & 0x80) ? 0xFF : 0x00, sizeof widened);
      std::memcpy(widened, p, n);
      p = widened;
      n = size;
    }
  }
  auto need = [&](uint32_t size) {
    if (n < size) wrongSize(c);
  };
  switch (type) {
    case coltype::kByte: need(1); return Value(static_cast<int32_t>(p[0]));
    case coltype::kInteger: need(2); return Value(static_cast<int32_t>(static_cast<int16_t>(le16(p))));
    case coltype::kLong:
    case coltype::kComplex: need(4); return Value(static_cast<int32_t>(le32(p)));
    case coltype::kMoney: need(8); return Value(Currency{static_cast<int64_t>(le64(p))});
    case coltype::kFloat: need(4); return Value(singleAsDouble(leFloat(p)));
    case coltype::kDouble: need(8); return Value(leDouble(p));
    case coltype::kDateTime: need(8); return Value(Date{leDouble(p)});
    case coltype::kBigInt: need(8); return Value(static_cast<int64_t>(le64(p)));
    case coltype::kGuid: need(16); return Value(guidText(p));
    case coltype::kNumeric: need(17); return Value(Decimal{decimalText(p, c.scale)});
    case coltype::kText: {
      std::string s;
      if (c.isLongValue()) {
        longValue(c, p, n);
        codec_.decode(reinterpret_cast<const uint8_t*>(scratch_.data()), scratch_.size(), s);
        return Value(std::move(s));
      }
      if (c.fixed() && !pager_.version().jet3()) {
        TextCodec::decodeUcs2(p, n, s);
      } else {
        codec_.decode(p, n, s);
      }
      return Value(std::move(s));
    }
    case coltype::kMemo: {
      longValue(c, p, n);
      std::string s;
      codec_.decode(reinterpret_cast<const uint8_t*>(scratch_.data()), scratch_.size(), s);
      return Value(std::move(s));
    }
    case coltype::kOle: {
      longValue(c, p, n);
      return Value(Bytes(scratch_.begin(), scratch_.end()));
    }
    case coltype::kBoolean: need(1); return Value(p[0] != 0);  // a calculated Yes/No
    case coltype::kExtDateTime: return Value(extendedDateText(p, n));
    default:
      return Value(Bytes(p, p + n));
  }
}

void RowDecoder::longValue(const ColumnDef& c, const uint8_t* p, uint32_t n) {
  readLongValue(pager_, p, n, scratch_);
  if (c.calculated()) {
    const uint8_t* d = reinterpret_cast<const uint8_t*>(scratch_.data());
    uint32_t len = static_cast<uint32_t>(scratch_.size());
    unwrapCalculated(c, &d, &len);
    scratch_.assign(reinterpret_cast<const char*>(d), len);
  }
}

bool RowDecoder::text(const ColumnDef& c, std::string& utf8) {
  if (c.valueType() == coltype::kText && !c.isLongValue()) {
    const uint8_t* p;
    uint32_t n;
    if (!bytes(c, &p, &n)) return false;
    if (c.fixed() && !pager_.version().jet3()) {
      utf8.clear();
      TextCodec::decodeUcs2(p, n, utf8);
    } else {
      codec_.decode(p, n, utf8);
    }
    return true;
  }
  if (c.type == coltype::kMemo || c.isLongValue()) {
    const uint8_t* p;
    uint32_t n;
    if (!bytes(c, &p, &n)) return false;
    if (c.type == coltype::kOle) {
      utf8 = value(c).toText();
      return true;
    }
    longValue(c, p, n);
    codec_.decode(reinterpret_cast<const uint8_t*>(scratch_.data()), scratch_.size(), utf8);
    return true;
  }
  Value v = value(c);
  if (v.isNull()) return false;
  utf8 = v.toText();
  return true;
}

uint32_t fixedSizeOf(int type) {
  switch (type) {
    case coltype::kByte: return 1;
    case coltype::kInteger: return 2;
    case coltype::kLong:
    case coltype::kFloat:
    case coltype::kComplex: return 4;
    case coltype::kMoney:
    case coltype::kDouble:
    case coltype::kDateTime:
    case coltype::kBigInt: return 8;
    case coltype::kGuid: return 16;
    case coltype::kNumeric: return 17;
    default: return 0;
  }
}

int daoTypeOf(const ColumnDef& c) {
  // A calculated Memo result is stored under the Text type, as a long value.
  if (c.type == coltype::kText && c.isLongValue()) return daotype::kMemo;
  switch (c.valueType()) {
    case coltype::kBoolean: return daotype::kBoolean;
    case coltype::kByte: return daotype::kByte;
    case coltype::kInteger: return daotype::kInteger;
    case coltype::kLong: return daotype::kLong;
    case coltype::kMoney: return daotype::kCurrency;
    case coltype::kFloat: return daotype::kSingle;
    case coltype::kDouble: return daotype::kDouble;
    case coltype::kDateTime: return daotype::kDate;
    case coltype::kBinary: return daotype::kBinary;
    case coltype::kText: return daotype::kText;
    case coltype::kOle: return daotype::kLongBinary;
    case coltype::kMemo: return daotype::kMemo;
    case coltype::kGuid: return daotype::kGuid;
    case coltype::kNumeric: return daotype::kDecimal;
    case coltype::kComplex: return daotype::kComplex;
    case coltype::kBigInt: return daotype::kBigInt;
    case coltype::kExtDateTime: return daotype::kDateTimeExtended;
    default: return daotype::kBinary;
  }
}

int daoSizeOf(const ColumnDef& c, const Version& v) {
  if (c.calculated()) {
    // The descriptor's length counts the wrapping of the result.
    if (c.isLongValue()) return 0;
    if (c.valueType() == coltype::kBoolean) return 1;
    if (const uint32_t size = fixedSizeOf(c.valueType())) return static_cast<int>(size);
  }
  switch (c.type) {
    case coltype::kBoolean: return 1;
    case coltype::kText: return v.jet3() ? c.length : c.length / 2;
    case coltype::kMemo:
    case coltype::kOle: return 0;
    default: return c.length;
  }
}

}  // namespace jet
