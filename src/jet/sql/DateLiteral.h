#pragma once
// Date literals as Jet reads the text between # signs: ISO-like dates (yyyy-M-d, yyyy/M/d,
// yyyy.M.d), month-first dates (M/d/yyyy, M/d/yy), a time alone (the zero date,
// 1899-12-30, at that time), or a date followed by a time (H:mm or H:mm:ss, with an
// optional AM/PM).
#include <optional>
#include <string_view>

namespace jet::sql {

// The stored double of the moment, or nothing when the text is not a real date and time.
std::optional<double> parseDateLiteral(std::string_view text);

}  // namespace jet::sql
