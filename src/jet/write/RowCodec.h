#pragma once
// A row taken apart into what a writer changes (fixed area, variable slots, null mask) and
// put together again in the exact Jet 3 / Jet 4 layout, jump table included.
//
// REQUIRES: the row's bytes as its data page bounds them, and whether the table has
// variable columns (a table without them stores no offset table at all).
// GUARANTEES: build(parse(row)) keeps every byte a reader looks at: deleted columns'
// values, bytes of unknown meaning in the fixed area; only slack may differ. build()
// checks its own output by parsing it again.
#include <cstdint>
#include <optional>
#include <vector>

#include "jet/format/TableDef.h"

namespace jet::write {

struct RowParts {
  uint16_t numCols = 0;
  std::vector<uint8_t> fixed;               // the fixed area, without the column count
  std::vector<std::vector<uint8_t>> vars;   // variable slots 0..var_count-1
  std::vector<uint8_t> mask;                // ceil(numCols / 8) bytes
  bool hasVarTable = true;

  bool bit(uint16_t column) const {
    return column < numCols && ((mask[column >> 3] >> (column & 7)) & 1);
  }
  void setBit(uint16_t column, bool on);
  void growColumns(uint16_t numCols);
};

// Fails as format::Corrupt on a row whose trailer is inconsistent.
RowParts parseRow(bool jet3, bool hasVarTable, const uint8_t* row, uint32_t length);

// The row's bytes; with padTo, exactly padTo bytes (slack before the trailer). Returns
// nullopt when padTo is set and the row cannot be made that long (Jet 3: the jump table
// that length needs leaves no room).
std::optional<std::vector<uint8_t>> buildRow(bool jet3, const RowParts& parts,
                                             uint32_t padTo = 0);

// Sets one column of the parts to encoded bytes (nullopt = Null); Booleans take one byte
// 0/1. Grows the column count, fixed area and slot count as the column needs.
void setColumn(RowParts& parts, const format::TableDef& def, const format::ColumnDef& column,
               const std::optional<std::vector<uint8_t>>& bytes);

}  // namespace jet::write
