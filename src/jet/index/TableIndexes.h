#pragma once
// A table's real indexes as the index code needs them: which columns, in which direction
// and sort order, make each key, and the key of one row read from its bytes.
//
// REQUIRES: a definition read from the file whose header is given.
// GUARANTEES: rowKey() computes the same bytes Jet stores for every column that
// unsupported() accepts, and for Null in every column; for Jet 3 text it works on the stored
// code-page bytes, so no character conversion can change a key.
#include <optional>
#include <string>
#include <vector>

#include "jet/RowDecoder.h"
#include "jet/format/HeaderPage.h"
#include "jet/format/TableDef.h"
#include "jet/index/IndexPage.h"
#include "jet/index/Key.h"

namespace jet::index {

struct RealIndex {
  size_t number = 0;                              // position among the real indexes
  std::string name;                               // its logical names, joined with "/"
  std::vector<KeyColumn> key;                     // slot order
  std::vector<const format::ColumnDef*> columns;  // parallel to key
  uint32_t root = 0;
  uint32_t usageMap = 0;  // RowId of its page map, as stored
  bool unique = false;
  bool ignoreNulls = false;
  bool primaryKey = false;
  // Why the keys of its non-Null values cannot all be computed (sort order or type).
  std::optional<std::string> unsupported;
  // Why no key at all can be computed (its definition names a column that is not there).
  std::optional<std::string> broken;

  bool holds(const format::ColumnDef& c) const;
};

std::vector<RealIndex> realIndexes(const format::TableDef& def, const format::Header& header);

const IndexPageLayout& indexLayout(const format::Version& v);

// Null-ness of a row's key columns.
struct KeyNulls {
  bool all = true;   // every key column Null: no entry in an "ignore nulls" index
  bool any = false;  // some key column Null: never a duplicate in a unique index
};

// The key of the row the decoder holds; nullopt when one of its values cannot be encoded
// (a non-Null value in a column unsupported() names). REQUIRES: !index.broken.
std::optional<Bytes> rowKey(RowDecoder& row, const RealIndex& index, bool jet3,
                            KeyNulls* nulls = nullptr);

// The key of a row given as values, one per index column in slot order. Throws 3027 (naming
// the column and its sort order) when a value cannot be encoded.
Bytes valuesKey(const RealIndex& index, const std::vector<Value>& values, KeyNulls* nulls = nullptr);
// As valuesKey(), but nullopt where that refuses.
std::optional<Bytes> tryValuesKey(const RealIndex& index, const std::vector<Value>& values,
                                  KeyNulls* nulls = nullptr);

}  // namespace jet::index
