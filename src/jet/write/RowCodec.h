#pragma once
// The writer's change to one column of a row taken apart (format/Row.h): which bytes a
// column's value goes to, and how far the row must grow to hold it.
//
// REQUIRES: parts of a row of the table `def` describes. GUARANTEES: only the column's own
// bytes, its mask bit, and zero-filled room the column needs change.
#include <cstdint>
#include <optional>
#include <vector>

#include "jet/format/Row.h"
#include "jet/format/TableDef.h"

namespace jet::write {

using format::RowParts;

// Sets one column of the parts to encoded bytes (nullopt = Null); Booleans take one byte
// 0/1. Grows the column count, fixed area and slot count as the column needs.
void setColumn(RowParts& parts, const format::TableDef& def, const format::ColumnDef& column,
               const std::optional<std::vector<uint8_t>>& bytes);

}  // namespace jet::write
