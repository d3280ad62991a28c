#pragma once
// The one place where dates become text and text becomes dates. A Jet date is the stored
// double: whole days since 1899-12-30 (truncated toward zero), the fraction taken as an
// absolute value being the time of day. All arithmetic is in whole seconds, so a value
// never drifts across midnight by formatting.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace jet {

struct CivilDateTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  bool operator==(const CivilDateTime&) const = default;
};

// Decodes a stored double (rounded to the nearest whole second, carrying into the next day).
CivilDateTime decodeDate(double stored);

// Encodes a calendar moment as Jet stores it (negative days keep a positive time of day).
double encodeDate(const CivilDateTime& moment);

// True for a real proleptic-Gregorian date in years 100..9999 and a valid time of day.
bool isValidCivil(const CivilDateTime& moment);

// "yyyy-MM-dd", followed by " HH:mm:ss" when the time is not midnight. The form every
// list line and every message uses.
std::string formatDate(double stored);

// "yyyy-MM-dd HH:mm:ss" always (the form of dumps).
std::string formatDateTime(double stored);

// The operator's text as a date: yyyy-M-d, yyyy/M/d, yyyy.M.d or yyyy年M月d日, each
// optionally followed by " H:mm" or " H:mm:ss"; years 100..9999; real dates only.
// Surrounding blanks are ignored. Nothing else converts (a time alone does not).
std::optional<double> parseDate(std::string_view text);

}  // namespace jet
