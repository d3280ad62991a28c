#pragma once
// The dump form of a table: a "# TABLE<TAB>col…" line, then one line per row in scan order,
// values separated by TAB. Dates "yyyy-MM-dd HH:mm:ss", Null "\N", text with \r \n \t and
// \\ escaped, numbers in their shortest exact decimal form, booleans 1/0, binary as hex.
// Two readers of one file agree exactly when their dumps are equal.
#include <ostream>
#include <string>

#include "jet/Database.h"

namespace jet {

// Appends one value in dump form.
void appendDumpValue(std::string& out, const Value& v);
// Appends text with \r \n \t \\ escaped.
void appendEscaped(std::string& out, std::string_view text);

// Writes the table's dump to `out` (such as std::cout) or, when out is null, appends it to
// `text`.
void dumpTable(Database& db, const TableInfo& table, std::ostream* out, std::string* text = nullptr);

}  // namespace jet
