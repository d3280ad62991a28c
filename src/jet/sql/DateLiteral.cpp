#include "DateLiteral.h"

#include <vector>

#include "jet/DateTime.h"

namespace jet::sql {

namespace {

std::string_view trim(std::string_view t) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  return t;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  return true;
}

// Numbers separated by one kind of separator: "12:30:05" → {12, 30, 5}. Digits counts
// how many digits each number had.
bool splitNumbers(std::string_view t, char sep, std::vector<int>& out, std::vector<int>& digits) {
  out.clear();
  digits.clear();
  size_t i = 0;
  for (;;) {
    size_t start = i;
    long v = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
      v = v * 10 + (t[i] - '0');
      if (v > 99999) return false;
      ++i;
    }
    if (i == start) return false;
    out.push_back(static_cast<int>(v));
    digits.push_back(static_cast<int>(i - start));
    if (i == t.size()) return true;
    if (t[i] != sep) return false;
    ++i;
  }
}

bool parseTime(std::string_view t, CivilDateTime& m) {
  t = trim(t);
  int shift = -1;  // -1: 24-hour clock; 0: AM; 12: PM
  if (t.size() >= 2) {
    std::string_view tail = t.substr(t.size() - 2);
    if (iequals(tail, "AM") || iequals(tail, "PM")) {
      shift = iequals(tail, "AM") ? 0 : 12;
      t = trim(t.substr(0, t.size() - 2));
    }
  }
  std::vector<int> n, d;
  if (!splitNumbers(t, ':', n, d) || n.size() < 2 || n.size() > 3) return false;
  int hour = n[0];
  if (shift >= 0) {
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + shift;
  }
  m.hour = hour;
  m.minute = n[1];
  m.second = n.size() == 3 ? n[2] : 0;
  return hour <= 23 && m.minute <= 59 && m.second <= 59;
}

bool parseDay(std::string_view t, CivilDateTime& m) {
  for (char sep : {'-', '/', '.'}) {
    std::vector<int> n, d;
    if (!splitNumbers(t, sep, n, d) || n.size() != 3) continue;
    if (d[0] >= 3) {  // year first
      m.year = n[0];
      m.month = n[1];
      m.day = n[2];
      return true;
    }
    // Month first, as Jet reads a literal; a two-digit year falls in 1930..2029.
    int year = n[2];
    if (d[2] <= 2) year += year < 30 ? 2000 : 1900;
    m.year = year;
    m.month = n[0];
    m.day = n[1];
    if (isValidCivil(m)) return true;
    // Not a real month-first date: Jet then tries the day first.
    m.month = n[1];
    m.day = n[0];
    return true;
  }
  return false;
}

}  // namespace

std::optional<double> parseDateLiteral(std::string_view text) {
  text = trim(text);
  if (text.empty()) return std::nullopt;
  CivilDateTime m;  // the zero date at midnight
  const size_t blank = text.find_first_of(" \t");
  std::string_view day = text, time;
  if (blank != std::string_view::npos) {
    day = text.substr(0, blank);
    time = text.substr(blank + 1);
  } else if (text.find(':') != std::string_view::npos) {
    day = {};
    time = text;
  }
  // A time alone may carry its AM/PM after a blank: "10:00 PM".
  if (!day.empty() && day.find(':') != std::string_view::npos) {
    time = text;
    day = {};
  }
  if (!day.empty() && !parseDay(day, m)) {
    // The forms the operator types (yyyy年M月d日 and the rest) are dates too.
    if (auto d = parseDate(text)) return d;
    return std::nullopt;
  }
  if (!time.empty() && !parseTime(time, m)) return std::nullopt;
  if (!isValidCivil(m)) return std::nullopt;
  return encodeDate(m);
}

}  // namespace jet::sql
