#include "Value.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "DateTime.h"

namespace jet {

std::string formatNumber(double d) {
  if (d == 0) return "0";
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
  std::string s(buf, end);
  // to_chars may choose scientific form; keep it plain for everyday magnitudes.
  if (s.find('e') != std::string::npos && std::fabs(d) >= 1e-6 && std::fabs(d) < 1e21) {
    auto [end2, ec2] = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
    s.assign(buf, end2);
  }
  return s;
}

std::optional<double> parseNumber(const std::string& text) {
  const char* b = text.c_str();
  char* end = nullptr;
  const double d = std::strtod(b, &end);
  if (end == b) return std::nullopt;
  while (*end == ' ') ++end;
  if (*end != 0) return std::nullopt;
  return d;
}

std::string formatCurrency(int64_t v) {
  const bool negative = v < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  std::string s = std::to_string(magnitude / 10000);
  uint64_t frac = magnitude % 10000;
  if (frac != 0) {
    std::string f = std::to_string(frac);
    f.insert(0, 4 - f.size(), '0');
    while (!f.empty() && f.back() == '0') f.pop_back();
    s += "." + f;
  }
  return negative ? "-" + s : s;
}

std::string Value::toText() const {
  switch (kind()) {
    case Kind::Null: return {};
    case Kind::Bool: return asBool() ? "True" : "False";
    case Kind::Int: return std::to_string(asInt());
    case Kind::Double: return formatNumber(asDouble());
    case Kind::Date: return formatDate(asDate().stored);
    case Kind::Currency: return formatCurrency(asCurrency().tenThousandths);
    case Kind::Decimal: return asDecimal().text;
    case Kind::Text: return asText();
    case Kind::Binary: {
      static const char* kHex = "0123456789ABCDEF";
      std::string s;
      for (uint8_t b : asBinary()) {
        s += kHex[b >> 4];
        s += kHex[b & 15];
      }
      return s;
    }
  }
  return {};
}

}  // namespace jet
