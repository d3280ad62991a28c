#pragma once
// A value as a column stores it.
//
// GUARANTEES: the bytes read back through the engine's decoder as the same value; Jet 4
// text is compressed only where every character is one byte (never with mode toggles).
// Fails with 3163 (text longer than the column), 3421 (a value the column cannot hold),
// 3027 (a column type this engine does not write).
#include <cstdint>
#include <optional>
#include <vector>

#include "jet/Value.h"
#include "jet/format/TableDef.h"

namespace jet::write {

// nullopt for Null. codePage: the Jet 3 text code page (the column's, else the database's).
std::optional<std::vector<uint8_t>> encodeValue(bool jet3, const format::ColumnDef& column,
                                                const Value& value, int codePage);

// The value as the column will hold it, so that its index key and the keys of the
// relationships it takes part in are the stored value's (a text "12" given for a Long
// column is the number 12): a whole number for Byte, Integer and Long, a date for
// Date/Time, text for Text; a value for another type, and Null, come back as given. The
// refusals are encodeValue()'s, made without laying out the value's bytes where the
// conversion alone tells.
Value asStored(bool jet3, const format::ColumnDef& column, const Value& value, int codePage);

}  // namespace jet::write
