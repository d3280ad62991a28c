#include "DateTime.h"

#include <cmath>
#include <cstdio>

namespace jet {
namespace {

// Days from 1970-01-01 for a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

const int64_t kBaseDays = daysFromCivil(1899, 12, 30);

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

}  // namespace

CivilDateTime decodeDate(double stored) {
  CivilDateTime out;
  if (!std::isfinite(stored)) return out;
  // Clamp absurd values so the arithmetic stays in range; such dates are not real anyway.
  double magnitude = std::fabs(stored);
  if (magnitude > 1e9) magnitude = 1e9;
  const int64_t seconds = static_cast<int64_t>(std::llround(magnitude * 86400.0));
  int64_t days = seconds / 86400;
  const int64_t secs = seconds % 86400;
  if (stored < 0) days = -days;
  civilFromDays(kBaseDays + days, out.year, out.month, out.day);
  out.hour = static_cast<int>(secs / 3600);
  out.minute = static_cast<int>(secs / 60 % 60);
  out.second = static_cast<int>(secs % 60);
  return out;
}

double encodeDate(const CivilDateTime& m) {
  const int64_t days = daysFromCivil(m.year, m.month, m.day) - kBaseDays;
  const double fraction = (m.hour * 3600 + m.minute * 60 + m.second) / 86400.0;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

bool isValidCivil(const CivilDateTime& m) {
  if (m.year < 100 || m.year > 9999 || m.month < 1 || m.month > 12) return false;
  if (m.day < 1 || m.day > daysInMonth(m.year, m.month)) return false;
  return m.hour >= 0 && m.hour < 24 && m.minute >= 0 && m.minute < 60 && m.second >= 0 &&
         m.second < 60;
}

std::string formatDateTime(double stored) {
  const CivilDateTime c = decodeDate(stored);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour,
                c.minute, c.second);
  return buf;
}

std::string formatDate(double stored) {
  const CivilDateTime c = decodeDate(stored);
  char buf[40];
  if (c.hour == 0 && c.minute == 0 && c.second == 0) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.year, c.month, c.day);
  } else {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day,
                  c.hour, c.minute, c.second);
  }
  return buf;
}

namespace {

// A small cursor over the operator's text.
struct Cursor {
  std::string_view s;
  size_t i = 0;
  bool done() const { return i >= s.size(); }
  bool eat(std::string_view token) {
    if (s.substr(i, token.size()) == token) {
      i += token.size();
      return true;
    }
    return false;
  }
  // 1..maxDigits decimal digits.
  std::optional<int> number(size_t maxDigits) {
    size_t start = i;
    int value = 0;
    while (i < s.size() && i - start < maxDigits && s[i] >= '0' && s[i] <= '9') {
      value = value * 10 + (s[i] - '0');
      ++i;
    }
    if (i == start) return std::nullopt;
    if (i < s.size() && s[i] >= '0' && s[i] <= '9') return std::nullopt;  // too many digits
    return value;
  }
};

std::string_view trim(std::string_view t) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  return t;
}

}  // namespace

std::optional<double> parseDate(std::string_view text) {
  Cursor c{trim(text)};
  CivilDateTime m;
  auto year = c.number(4);
  if (!year || *year < 100) return std::nullopt;
  m.year = *year;
  bool chinese = false;
  std::string_view sep;
  for (std::string_view candidate : {"-", "/", ".", "年"}) {
    if (c.eat(candidate)) {
      sep = candidate;
      chinese = candidate == "年";
      break;
    }
  }
  if (sep.empty()) return std::nullopt;
  auto month = c.number(2);
  if (!month) return std::nullopt;
  if (!c.eat(chinese ? std::string_view("月") : sep)) return std::nullopt;
  auto day = c.number(2);
  if (!day) return std::nullopt;
  if (chinese && !c.eat("日")) return std::nullopt;
  m.month = *month;
  m.day = *day;
  if (!c.done()) {
    if (!c.eat(" ")) return std::nullopt;
    while (c.eat(" ")) {
    }
    auto hour = c.number(2);
    if (!hour || !c.eat(":")) return std::nullopt;
    auto minute = c.number(2);
    if (!minute) return std::nullopt;
    m.hour = *hour;
    m.minute = *minute;
    if (c.eat(":")) {
      auto second = c.number(2);
      if (!second) return std::nullopt;
      m.second = *second;
    }
    if (!c.done()) return std::nullopt;
  }
  if (!isValidCivil(m)) return std::nullopt;
  return encodeDate(m);
}

}  // namespace jet
