#pragma once
// A row: column count and fixed area at the start; null mask, variable-offset table (and
// in Jet 3 the jump table) at the end. Reading and writing both go through here.
//
//   Jet 4: [num_cols u16][fixed …][var data …][(slack)][eod u16][off(n-1) … off(0) u16]
//          [var_count u16][null mask]
//   Jet 3: [num_cols u8][fixed …][var data …][(slack)][eod u8][off(n-1) … off(0) u8]
//          [jump(k-1) … jump(0) u8][var_count u8][null mask]
// Offsets count from the row's first byte. A table without variable columns stores no
// offset table at all, only the null mask. The mask holds ceil(num_cols / 8) bytes; a set
// bit means the column has a value (for a Boolean: True). Jet 3 offsets are single bytes:
// a row of length L has (L - 1) / 256 jump bytes, jump j naming the first offset entry at
// or past 256 * (j + 1) (0xFF when none); an offset is its byte plus 256 for each jump it
// has reached.
//
// RowView reads a row in place without copying (the scan's road); RowParts takes a row
// apart for change and puts it together again.
//
// REQUIRES: the row's bytes as the data page bounds them. GUARANTEES: after reset(),
// every range the view hands out lies inside the row; a row whose trailer does not fit
// fails as Corrupt. buildRow(parseRow(row)) keeps every byte a reader looks at (deleted
// columns' values, bytes of unknown meaning in the fixed area); only slack may differ.
#include <cstdint>
#include <optional>
#include <vector>

#include "jet/Bytes.h"
#include "jet/format/HeaderPage.h"

namespace jet::format {

struct RowLayout {
  int numColsSize;  // 1 (Jet3) or 2 (Jet4): also where the fixed area starts
  int varEntrySize; // 1 or 2
};
constexpr RowLayout kRowJet3{.numColsSize = 1, .varEntrySize = 1};
constexpr RowLayout kRowJet4{.numColsSize = 2, .varEntrySize = 2};

// The Jet 3 variable-offset table: offsets are single bytes, and values of 256 and more
// are rebuilt from the jump table, whose size follows from the row length. Fills offsets
// (var_count + 1 entries, the end-of-data offset last) and eodPos (where the offset table
// begins). Returns false when the trailer does not fit in the row. The offsets are not
// checked against each other. maskLen: the null mask's length.
bool jet3VarOffsets(const uint8_t* row, uint32_t len, uint32_t maskLen,
                    std::vector<uint32_t>& offsets, uint32_t& eodPos);

class RowView {
 public:
  explicit RowView(const Version& v) : jet3_(v.jet3()) {}

  // reset() without throwing: false when the row is too short for its own trailer.
  bool tryReset(const uint8_t* row, uint32_t len) noexcept {
    row_ = row;
    len_ = len;
    varParsed_ = false;
    if (len < fixedStart()) return false;
    numCols_ = jet3_ ? row[0] : le16(row);
    maskLen_ = (numCols_ + 7u) / 8u;
    if (fixedStart() + maskLen_ > len) return false;
    mask_ = row + len - maskLen_;
    return true;
  }

  // Reads the column count and the null mask; variable offsets are read on demand.
  void reset(const uint8_t* row, uint32_t len) {
    if (!tryReset(row, len)) tooShort();
  }

  const uint8_t* data() const { return row_; }
  uint32_t length() const { return len_; }
  uint16_t numCols() const { return numCols_; }
  uint32_t fixedStart() const { return jet3_ ? 1 : 2; }
  const uint8_t* nullMask() const { return mask_; }
  uint32_t nullMaskLength() const { return maskLen_; }

  // The null-mask bit of a column number: false = Null (or, for a Boolean, False).
  bool present(uint16_t column) const {
    return column < numCols_ && ((mask_[column >> 3] >> (column & 7)) & 1);
  }

  // Fixed bytes at fixed_offset: nullptr when the row is too short to hold them.
  const uint8_t* fixed(uint16_t offset, uint32_t size) const {
    const uint32_t at = fixedStart() + offset;
    if (at + size > len_ - maskLen_) return nullptr;
    return row_ + at;
  }

  // Variable slot i of a table with variable columns: false when the row stores fewer
  // slots (Null); otherwise [*p, *p + *n).
  bool variable(uint16_t i, const uint8_t** p, uint32_t* n) {
    uint32_t start, end;
    if (!jet3_) {
      const uint32_t tb = len_ - maskLen_;
      if (tb < 4) tooShort();
      const uint16_t count = le16(row_ + tb - 2);
      if (i >= count) return false;
      const uint32_t table = 4u + 2u * count;  // var_count, offsets and eod
      if (table + 2 > tb) tooShort();
      const uint32_t limit = tb - table;  // where the offset table begins
      start = le16(row_ + tb - 4 - 2u * i);
      end = le16(row_ + tb - 6 - 2u * i);
      if (start < 2 || start > end || end > limit) badOffsets();
    } else {
      if (!varParsed_) parseJet3();
      if (i >= varCount_) return false;
      start = offsets_[i];
      end = offsets_[i + 1];
      if (start < 1 || start > end || end > varLimit_) badOffsets();
    }
    *p = row_ + start;
    *n = end - start;
    return true;
  }

  // The number of variable slots the row stores (parses the trailer).
  uint16_t varCount();

 private:
  void parseJet3();
  [[noreturn]] static void tooShort();
  [[noreturn]] static void badOffsets();

  bool jet3_;
  const uint8_t* row_ = nullptr;
  uint32_t len_ = 0;
  uint16_t numCols_ = 0;
  uint32_t maskLen_ = 0;
  const uint8_t* mask_ = nullptr;
  bool varParsed_ = false;
  uint16_t varCount_ = 0;
  uint32_t varLimit_ = 0;
  std::vector<uint32_t> offsets_;  // Jet3: decoded offsets, eod last
};

// A row taken apart into what a writer changes.
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

// hasVarTable: whether the table has variable columns. Stricter than RowView, which checks
// only the slots it is asked for: every offset must lie in the row and none may fall below
// its predecessor, else Corrupt.
RowParts parseRow(bool jet3, bool hasVarTable, const uint8_t* row, uint32_t length);

// The row's bytes; with padTo, exactly padTo bytes (zero slack before the trailer).
// Returns nullopt when padTo is shorter than the row needs; any longer length works, as
// the slack pays for the Jet 3 jump bytes the length adds. Fails as Corrupt when the parts exceed what
// the layout can say (Jet 3: more than 255 columns or slots) or, a fault of ours, when
// the bytes do not read back as the parts.
std::optional<std::vector<uint8_t>> buildRow(bool jet3, const RowParts& parts,
                                             uint32_t padTo = 0);

}  // namespace jet::format
