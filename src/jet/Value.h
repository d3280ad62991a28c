#pragma once
// A value as it travels between the engine, the SQL layer, the data access objects and the
// commands: Null, boolean, integer, floating point, date (the stored double), currency
// (ten-thousandths), exact decimal (its text), text (UTF-8) or binary.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace jet {

struct Date {
  double stored = 0;  // the double exactly as Jet keeps it
  bool operator==(const Date&) const = default;
};
struct Currency {
  int64_t tenThousandths = 0;
  bool operator==(const Currency&) const = default;
};
struct Decimal {
  std::string text;  // exact decimal, e.g. "-12.3400"
  bool operator==(const Decimal&) const = default;
};
using Bytes = std::vector<uint8_t>;

class Value {
 public:
  enum class Kind { Null, Bool, Int, Double, Date, Currency, Decimal, Text, Binary };

  Value() = default;
  static Value null() { return Value(); }
  Value(bool b) : v_(b) {}
  Value(int32_t i) : v_(static_cast<int64_t>(i)) {}
  Value(int64_t i) : v_(i) {}
  Value(double d) : v_(d) {}
  Value(Date d) : v_(d) {}
  Value(Currency c) : v_(c) {}
  Value(Decimal d) : v_(std::move(d)) {}
  Value(std::string s) : v_(std::move(s)) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(Bytes b) : v_(std::move(b)) {}

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  bool isNull() const { return kind() == Kind::Null; }

  bool asBool() const { return std::get<bool>(v_); }
  int64_t asInt() const { return std::get<int64_t>(v_); }
  double asDouble() const { return std::get<double>(v_); }
  const Date& asDate() const { return std::get<Date>(v_); }
  const Currency& asCurrency() const { return std::get<Currency>(v_); }
  const Decimal& asDecimal() const { return std::get<Decimal>(v_); }
  const std::string& asText() const { return std::get<std::string>(v_); }
  const Bytes& asBinary() const { return std::get<Bytes>(v_); }

  // The value as the list shows it: dates as formatDate(), numbers in their shortest exact
  // decimal form, booleans "True"/"False", binary as hex, Null as "".
  std::string toText() const;

  bool operator==(const Value&) const = default;

 private:
  std::variant<std::monostate, bool, int64_t, double, Date, Currency, Decimal, std::string, Bytes>
      v_;
};

// Shortest decimal text that reads back as the same double.
std::string formatNumber(double d);
// Text as a number: what strtod reads, with nothing but blanks before and after it;
// nullopt for anything else.
std::optional<double> parseNumber(const std::string& text);
// Ten-thousandths as exact decimal text without trailing zeros ("12.34", "-5", "0.0001").
std::string formatCurrency(int64_t tenThousandths);

}  // namespace jet
