#include "jet/index/IndexMaintenance.h"

#include "jet/Error.h"

namespace jet::index {

namespace {

Bytes entryOf(const Bytes& key, RowId id) {
  Bytes e = key;
  appendRowId(e, id.page, static_cast<uint8_t>(id.row));
  return e;
}

// The leaf entry of a row found by its RowId alone: the fallback when the stored key is
// not the one we compute (a file whose keys another engine wrote differently).
std::optional<Bytes> scanForRow(PageStore& store, const IndexPageLayout& L, uint32_t root,
                                uint32_t tdefPage, RowId id) {
  const TreeWalk w = walk(store, L, root, tdefPage);
  for (const IndexEntry& e : w.entries)
    if (e.rowPage() == id.page && e.rowNumber() == id.row) return e.bytes;
  return std::nullopt;
}

}  // namespace

IndexMaintenance::IndexMaintenance(const format::TableDef& def, const format::Header& header)
    : def_(def), L_(indexLayout(header.version)), indexes_(realIndexes(def, header)) {}

IndexWriter& IndexMaintenance::writer(PageStore& store, const RealIndex& ix) {
  if (store_ != &store) {
    store_ = &store;
    writers_.clear();
  }
  writers_.resize(indexes_.size());
  std::unique_ptr<IndexWriter>& w = writers_[ix.number];
  if (!w) w = std::make_unique<IndexWriter>(store, L_, IndexRef{ix.root, def_.page, ix.usageMap});
  return *w;
}

bool IndexMaintenance::holds(const format::ColumnDef& column) const {
  for (const RealIndex& ix : indexes_)
    if (ix.holds(column)) return true;
  return false;
}

void IndexMaintenance::refuseBroken(const RealIndex& ix) const {
  if (ix.broken) throw readOnly(*ix.broken);
}

void IndexMaintenance::refuseNullPrimaryKey(const RealIndex& ix, const KeyNulls& n) const {
  // A primary key in a sort order we cannot encode was never writable; a Null is not the
  // way around that.
  if (ix.primaryKey && ix.unsupported && n.any)
    throw readOnly("索引 '" + ix.name + "'：" + *ix.unsupported + "，主键不能为 Null");
}

std::vector<Value> IndexMaintenance::valuesOf(const RealIndex& ix, const ValueOf& row,
                                              const format::ColumnDef* column,
                                              const Value* value) const {
  std::vector<Value> values;
  values.reserve(ix.columns.size());
  for (const format::ColumnDef* c : ix.columns)
    values.push_back(column != nullptr && c->number == column->number ? *value : row(*c));
  return values;
}

Bytes IndexMaintenance::newKey(const RealIndex& ix, const std::vector<Value>& values,
                               KeyNulls* nulls) const {
  for (size_t i = 0; i < ix.key.size(); ++i)
    if (std::optional<std::string> why = unencodable(ix.key[i], values[i]))
      throw readOnly("索引 '" + ix.name + "'：" + *why);
  return valuesKey(ix, values, nulls);
}

void IndexMaintenance::checkUnique(PageStore& store, const RealIndex& ix, const Bytes& key,
                                   const KeyNulls& n, const RowId* self) {
  // Rows whose key has a Null part never collide.
  if (!ix.unique || n.any) return;
  const std::optional<uint32_t> other = writer(store, ix).findKey(key);
  if (!other) return;
  if (self != nullptr && *other == (self->page << 8 | self->row)) return;
  throw duplicateKey();
}

std::vector<EntryChange> IndexMaintenance::planUpdate(PageStore& store, RowId id,
                                                      const ValueOf& row,
                                                      const format::ColumnDef& column,
                                                      const Value& value) {
  std::vector<EntryChange> out;
  for (const RealIndex& ix : indexes_) {
    if (!ix.holds(column)) continue;
    refuseBroken(ix);
    EntryChange ch;
    ch.index = ix.number;
    KeyNulls before, after;
    // An old key we cannot compute (a non-Null value in a sort order we do not encode) is
    // found by RowId.
    std::optional<Bytes> old;
    try {
      old = tryValuesKey(ix, valuesOf(ix, row, nullptr, nullptr), &before);
    } catch (const Error&) {
      // A stored value that does not convert back (a code-page byte without a character):
      // its entry is still found by RowId.
      before.all = false;
    }
    ch.newKey = newKey(ix, valuesOf(ix, row, &column, &value), &after);
    refuseNullPrimaryKey(ix, after);
    if (old) ch.oldKey = *old;
    ch.remove = !(ix.ignoreNulls && before.all);
    ch.insert = !(ix.ignoreNulls && after.all);
    if (old && ch.remove == ch.insert && (!ch.insert || ch.oldKey == ch.newKey)) continue;
    if (ch.insert) checkUnique(store, ix, ch.newKey, after, &id);
    out.push_back(std::move(ch));
  }
  return out;
}

std::vector<EntryChange> IndexMaintenance::planInsert(PageStore& store, const ValueOf& row) {
  std::vector<EntryChange> out;
  for (const RealIndex& ix : indexes_) {
    refuseBroken(ix);
    EntryChange ch;
    ch.index = ix.number;
    KeyNulls n;
    ch.newKey = newKey(ix, valuesOf(ix, row, nullptr, nullptr), &n);
    refuseNullPrimaryKey(ix, n);
    ch.insert = !(ix.ignoreNulls && n.all);
    if (!ch.insert) continue;
    checkUnique(store, ix, ch.newKey, n, nullptr);
    out.push_back(std::move(ch));
  }
  return out;
}

bool IndexMaintenance::findsKey(PageStore& store, size_t number, const std::vector<Value>& values) {
  const RealIndex& ix = indexes_.at(number);
  refuseBroken(ix);
  KeyNulls n;
  const Bytes key = newKey(ix, values, &n);
  if (n.any) return false;
  return writer(store, ix).findKey(key).has_value();
}

void IndexMaintenance::apply(PageStore& store, RowId id, const std::vector<EntryChange>& changes) {
  for (const EntryChange& ch : changes) {
    const RealIndex& ix = indexes_.at(ch.index);
    IndexWriter& w = writer(store, ix);
    if (ch.remove) {
      const Bytes old = entryOf(ch.oldKey, id);
      if (!ch.oldKey.empty() && w.contains(old)) {
        w.remove(old);
      } else if (std::optional<Bytes> found = scanForRow(store, L_, ix.root, def_.page, id)) {
        w.remove(*found);
      } else {
        throw IndexCorrupt("索引 '" + ix.name + "' 中找不到第 " + std::to_string(id.page) + " 页第 " +
                           std::to_string(id.row) + " 行的条目");
      }
    }
    if (ch.insert) w.insert(entryOf(ch.newKey, id));
  }
}

}  // namespace jet::index
