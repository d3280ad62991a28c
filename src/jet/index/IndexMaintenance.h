#pragma once
// Keeping a table's indexes right when one of its rows changes or a row is added.
//
// Two steps, so that a refusal never leaves anything half-done: plan*() computes every
// entry that must go and come and checks what could refuse (a non-Null value in a sort order
// we cannot encode: 3027 naming the index and its sort order; a unique index that already
// holds the new key for another row: 3022) without changing a page; apply() then changes the
// index pages through the caller's transaction. A Null key is computed in every sort order,
// so clearing a field always works: the entry of the old value, whose key may not be
// computable, is found by the row.
//
// REQUIRES: the PageStore shows the transaction's current view of the file; the plan is
// applied in the same transaction, before any other change to the same table's indexes.
// GUARANTEES: after apply() every real index of the table holds exactly one entry per
// live row (none for an all-Null key in an "ignore nulls" index) with the row's key.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "jet/Types.h"
#include "jet/index/IndexWriter.h"
#include "jet/index/TableIndexes.h"

namespace jet::index {

// One index's change for one row: the entry to take out and the one to put in.
struct EntryChange {
  size_t index = 0;  // into IndexMaintenance::indexes()
  bool remove = false;
  Bytes oldKey;      // empty when the old key cannot be computed: found by RowId instead
  bool insert = false;
  Bytes newKey;
};

class IndexMaintenance {
 public:
  // The value of a column of the row as it stands (before the change).
  using ValueOf = std::function<Value(const format::ColumnDef&)>;

  IndexMaintenance(const format::TableDef& def, const format::Header& header);

  const std::vector<RealIndex>& indexes() const { return indexes_; }
  // True when some index holds the column (its change needs a plan).
  bool holds(const format::ColumnDef& column) const;

  // The entries an update of `column` to `value` in row `id` changes. Indexes whose key
  // does not change are left out.
  std::vector<EntryChange> planUpdate(PageStore& store, RowId id, const ValueOf& row,
                                      const format::ColumnDef& column, const Value& value);
  // The entries a new row adds (its RowId is given to apply()).
  std::vector<EntryChange> planInsert(PageStore& store, const ValueOf& row);

  // True when real index `number` holds an entry whose key is `values` (one per index
  // column, slot order); false when a value is Null. 3027 when the key cannot be computed.
  bool findsKey(PageStore& store, size_t number, const std::vector<Value>& values);

  // REQUIRES: changes from a plan of this object for row `id`.
  void apply(PageStore& store, RowId id, const std::vector<EntryChange>& changes);

 private:
  std::vector<Value> valuesOf(const RealIndex& ix, const ValueOf& row,
                              const format::ColumnDef* column, const Value* value) const;
  Bytes newKey(const RealIndex& ix, const std::vector<Value>& values, KeyNulls* nulls) const;
  void refuseBroken(const RealIndex& ix) const;
  void refuseNullPrimaryKey(const RealIndex& ix, const KeyNulls& n) const;
  void checkUnique(PageStore& store, const RealIndex& ix, const Bytes& key, const KeyNulls& n,
                   const RowId* self);
  IndexWriter& writer(PageStore& store, const RealIndex& ix);

  const format::TableDef& def_;
  const IndexPageLayout& L_;
  std::vector<RealIndex> indexes_;
  // One writer per index, kept while the store stays the same: their page caches make a
  // run of changes to the same index cheap.
  PageStore* store_ = nullptr;
  std::vector<std::unique_ptr<IndexWriter>> writers_;
};

}  // namespace jet::index
