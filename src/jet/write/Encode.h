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

}  // namespace jet::write
