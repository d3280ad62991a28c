#pragma once
// Column values out of one row's bytes, as the column descriptor says to read them.
//
// REQUIRES: reset() with a row of the table whose definition the decoder was built for;
// column descriptors of that definition. GUARANTEES: every read is bounds-checked (bad
// bytes fail as format::Corrupt); date() and text() allocate nothing once their buffers
// have grown, and touch only the column asked for.
#include <cstdint>
#include <string>

#include "jet/Pager.h"
#include "jet/Value.h"
#include "jet/format/Row.h"
#include "jet/format/TableDef.h"
#include "jet/format/Text.h"

namespace jet {

class RowDecoder {
 public:
  RowDecoder(Pager& pager, const format::TextCodec& codec)
      : pager_(pager), codec_(codec), view_(pager.version()) {}

  void reset(const uint8_t* row, uint32_t length) { view_.reset(row, length); }
  format::RowView& view() { return view_; }

  // The column's stored bytes (the long-value header for Memo/OLE); false when Null.
  // Not for Booleans, whose value is the null-mask bit.
  bool bytes(const format::ColumnDef& c, const uint8_t** p, uint32_t* n) {
    if (!view_.present(c.number)) return false;
    if (c.fixed()) {
      *p = view_.fixed(c.fixedOffset, c.length);
      if (*p == nullptr) shortFixed(c);
      *n = c.length;
    } else if (!view_.variable(c.varIndex, p, n)) {
      return false;
    }
    if (c.calculated() && !c.isLongValue()) unwrapCalculated(c, p, n);
    return true;
  }

  Value value(const format::ColumnDef& c);

  // The stored double of a Date/Time column; false when Null or not a date column.
  bool date(const format::ColumnDef& c, double& stored) {
    if (c.valueType() != format::coltype::kDateTime) return false;
    const uint8_t* p;
    uint32_t n;
    if (!bytes(c, &p, &n)) return false;
    if (n < 8) {
      if (c.calculated()) return false;  // an expression without a value
      wrongSize(c);
    }
    stored = format::leDouble(p);
    return true;
  }

  // Text and Memo values as UTF-8 (other types as their text); false when Null.
  bool text(const format::ColumnDef& c, std::string& utf8);

 private:
  // A calculated column's stored result: 16 bytes, the result's length (4), the result.
  static void unwrapCalculated(const format::ColumnDef& c, const uint8_t** p, uint32_t* n);
  Value calculatedDecimal(const format::ColumnDef& c, const uint8_t* p, uint32_t n);
  [[noreturn]] static void shortFixed(const format::ColumnDef& c);
  [[noreturn]] static void wrongSize(const format::ColumnDef& c);

  // A Memo/OLE value's bytes into scratch_ (unwrapped for a calculated column).
  void longValue(const format::ColumnDef& c, const uint8_t* p, uint32_t n);

  Pager& pager_;
  const format::TextCodec& codec_;
  format::RowView view_;
  std::string scratch_;
};

// The bytes a value of a fixed-size type takes (0 for variable-size types).
uint32_t fixedSizeOf(int type);
// DAO's Field.Type for a stored column type.
int daoTypeOf(const format::ColumnDef& c);
// DAO's Field.Size: bytes for fixed types, characters for Text, 0 for Memo/OLE.
int daoSizeOf(const format::ColumnDef& c, const format::Version& v);

}  // namespace jet
