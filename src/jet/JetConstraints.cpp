// What a change is refused for before it touches a page: a relationship it would break, a
// Null where the column or an index forbids one, a row or an index of its table that does
// not read whole.
#include "jet/JetDatabase.h"

#include "jet/Error.h"
#include "jet/RowDecoder.h"
#include "jet/TableScan.h"
#include "jet/TransactionPages.h"
#include "jet/format/Row.h"
#include "jet/index/IndexMaintenance.h"
#include "jet/index/IndexTree.h"

namespace jet {

using namespace format;

namespace {

// The real index behind logical index `number` of a definition; -1 when there is none.
int realIndexOf(const TableDef& def, int32_t number) {
  for (const LogicalIndexDef& l : def.logicalIndexes)
    if (l.number == number) return l.realIndex;
  return -1;
}

}  // namespace

// Relationships with enforced integrity keep a foreign-key index on each side: a row that
// refers must find its key in the referenced table's index, and a referenced key that
// changes must not leave rows referring to it.
void JetDatabase::checkRelations(const TableDef& def, const ValueOf* before, const ValueOf& after) {
  for (const LogicalIndexDef& l : def.logicalIndexes) {
    if (l.type != idxtype::kForeignKey || l.realIndex < 0 || static_cast<size_t>(l.realIndex) >= def.realIndexes.size())
      continue;
    std::vector<Value> now, was;
    for (const RealIndexColumn& rc : def.realIndexes[static_cast<size_t>(l.realIndex)].columns)
      for (const ColumnDef& c : def.columns)
        if (c.number == rc.number) {
          now.push_back(after(c));
          if (before) was.push_back((*before)(c));
        }
    if (before && was == now) continue;
    const auto other = byTdef_.find(l.relTable);
    if (other == byTdef_.end() || !defs_[other->second])
      throw readOnly("关系 '" + l.name + "' 所关联的表不在此数据库中");
    const TableDef& od = *defs_[other->second];
    const int real = realIndexOf(od, l.relIndex);
    if (real < 0 || static_cast<size_t>(real) >= od.realIndexes.size())
      throw readOnly("关系 '" + l.name + "' 在表 '" + tables_[other->second].name + "' 中没有索引");
    index::IndexMaintenance& theirs = indexUpkeep(od);
    if (l.relTableType == relside::kReferencing) {
      bool anyNull = false;
      for (const Value& v : now) anyNull = anyNull || v.isNull();
      if (!anyNull && !theirs.findsKey(*indexPages_, static_cast<size_t>(real), now))
        throw relatedRecordRequired(tables_[other->second].name);
    } else if (l.relTableType == relside::kReferenced && before &&
               theirs.findsKey(*indexPages_, static_cast<size_t>(real), was)) {
      if (l.cascadeUpdates)
        throw readOnly("关系 '" + l.name + "' 要求把修改级联到表 '" + tables_[other->second].name +
                       "'，暂不支持");
      throw relatedRecordsExist(tables_[other->second].name);
    }
  }
}

void JetDatabase::refuseNull(const TableDef& def, size_t column) const {
  const ColumnDef& c = def.columns[column];
  if (c.type == coltype::kBoolean) return;  // a Yes/No is never Null: Null writes No
  if (tables_[byTdef_.at(def.page)].columns[column].required) throw nullInRequired(c.name);
  if (const LogicalIndexDef* key = def.keyRefusingNull(c)) throw nullInIndex(c.name, key->name);
}

void JetDatabase::refuseDamagedRow(const TableDef& def, RowId id) {
  PageRef holder;
  const uint8_t* p;
  uint32_t n;
  if (!locateRow(*pager_, def, id, &holder, &p, &n)) throw noCurrentRecord();
  refuseDamagedRow(def, p, n, id);
}

void JetDatabase::refuseDamagedRow(const TableDef& def, const uint8_t* p, uint32_t n, RowId id) {
  try {
    const format::RowParts parts = format::parseRow(header_.version.jet3(), def.numVarCols > 0, p, n);
    if (parts.numCols > def.maxCols) corrupt("行的列数超过表定义");
    RowDecoder dec(*pager_, *codec_);
    dec.reset(p, n);
    for (const ColumnDef& c : def.columns)
      if (!c.isLongValue()) dec.value(c);
  } catch (const Corrupt& e) {
    throw Corrupt(std::string(e.what()) + "（读取第 " + std::to_string(id.page) + " 页第 " +
                  std::to_string(id.row) + " 行时）");
  }
}

void JetDatabase::refuseDamagedIndexes(const TableDef& def, const ColumnDef* column) {
  index::IndexMaintenance& upkeep = indexUpkeep(def);
  for (const index::RealIndex& ix : upkeep.indexes()) {
    if (column && !ix.holds(*column)) continue;
    if (soundIndexes_.count({def.page, ix.number})) continue;
    index::PagerPages pages(*pager_);
    const index::TreeWalk w =
        index::walk(pages, index::indexLayout(header_.version), ix.root, def.page);
    if (!w.problems.empty()) corrupt("索引 '" + ix.name + "' 已损坏：" + w.problems.front());
    soundIndexes_.emplace(def.page, ix.number);
  }
}

}  // namespace jet
