// The database's changes and the batches that group them: the write path started on the
// first change, each change run so that a refusal leaves the batch as it was and any other
// failure loses it whole, and the commit with the lock file's marker around it.
#include "jet/JetDatabase.h"

#include <climits>
#include <optional>

#include "jet/Error.h"
#include "jet/Recovery.h"
#include "jet/TableScan.h"
#include "jet/TransactionPages.h"
#include "jet/index/IndexMaintenance.h"
#include "jet/write/Encode.h"
#include "jet/write/RowWriter.h"

namespace jet {

using namespace format;

void JetDatabase::startWriting() {
  pager_->beginWriting(env_, path_, syncs_);
  // Before a transaction first writes the file early: a marker that cannot be set ends the
  // batch with nothing written. One that cannot be cleared after a rollback only warns at
  // the next open.
  pager_->setWriteMarker([this](bool on) {
    if (!lockFile_) return;
    try {
      lockFile_->markWriting(on);
    } catch (const os::IoError& e) {
      if (on) throw BatchLost(e.restated("锁定文件", unchanged()));
    }
  });
  writer_ = std::make_unique<write::RowWriter>(*pager_, header_.codePage);
  indexPages_ = std::make_unique<index::TransactionPages>(*pager_, *writer_);
}

index::IndexMaintenance& JetDatabase::indexUpkeep(const TableDef& def) {
  std::unique_ptr<index::IndexMaintenance>& m = indexUpkeep_[def.page];
  if (!m) m = std::make_unique<index::IndexMaintenance>(def, header_);
  return *m;
}

void JetDatabase::update(const TableInfo& table, RowId row, int column, const Value& value) {
  const TableDef& def = startChange(table);
  if (column < 0 || static_cast<size_t>(column) >= def.columns.size()) throw invalidObject();
  if (value.isNull()) refuseNull(def, static_cast<size_t>(column));
  changing(table, [&] {
    const format::ColumnDef& c = def.columns[column];
    refuseDamagedRow(def, row);
    refuseDamagedIndexes(def, &c);
    index::IndexMaintenance& upkeep = indexUpkeep(def);
    if (upkeep.holds(c)) {
      // Every index entry that must go and come is known, and every refusal (3027 for a
      // sort order we cannot encode, 3022) made, before the first page changes.
      const ValueOf valueOf = [&](const format::ColumnDef& col) {
        return read(table, row, static_cast<int>(&col - def.columns.data()));
      };
      const Value stored = write::asStored(header_.version.jet3(), c, value, header_.codePage);
      checkRelations(def, &valueOf,
                     [&](const format::ColumnDef& col) { return &col == &c ? stored : valueOf(col); });
      const std::vector<index::EntryChange> plan =
          upkeep.planUpdate(*indexPages_, row, valueOf, c, value);
      writer_->update(def, row, c, value, [&] { upkeep.apply(*indexPages_, row, plan); });
    } else {
      writer_->update(def, row, c, value);
    }
  });
  commitUnlessGrouped();
}

const TableDef& JetDatabase::startChange(const TableInfo& table) {
  checkOpen();
  if (mode_ == Mode::ReadOnly) throw readOnly("数据库以只读方式打开");
  if (!readOnlyReason_.empty()) throw readOnly(readOnlyReason_);
  if (pager_->rolledBack())
    throw readOnly("上次未完成的修改只在读取时撤销，日志文件 '" + journalPathFor(path_) + "' 还在");
  if (!incomplete_.empty()) throw damagedAt(path_, incomplete_);
  if (lockFile_ && lockFile_->failure()) throw lockFile_->failure()->restated("锁定文件", unchanged());
  const TableDef& def = definition(table);
  if (!writer_) startWriting();
  return def;
}

std::string JetDatabase::unchanged() const { return "数据库文件 '" + path_ + "' 没有改动"; }

std::string JetDatabase::roleOf(const std::string& path) const {
  if (path == path_) return "数据库文件";
  if (path == journalPathFor(path_)) return "日志文件";
  if (lockFile_ && path == lockFile_->path()) return "锁定文件";
  return "文件夹";
}

template <typename Work>
auto JetDatabase::changing(const TableInfo& table, Work&& work) -> decltype(work()) {
  if (lost_) throw *lost_;
  try {
    return namingDamage(table, std::forward<Work>(work));
  } catch (const BatchLost& e) {
    loseBatch(e);
  } catch (const os::IoError& e) {
    loseBatch(e.restated(roleOf(e.path()), unchanged()));
  } catch (const Error& e) {
    // A write left half done, or damage met half-way: nothing of the batch may stand.
    if (pager_->broken() || e.number() == err::kDamaged) loseBatch(e);
    throw;
  }
}

void JetDatabase::loseBatch(const Error& e) {
  const BatchLost lost(e);
  // A pager that failed half-way has put the file back already, or left that to the
  // next open; otherwise the transaction's pages are only forgotten (or, when some were
  // written early, put back through the journal).
  if (writer_ && !pager_->broken()) pager_->rollback();
  if (writer_) writer_->forgetHints();
  indexUpkeep_.clear();
  if (batch_) lost_ = lost;
  throw lost;
}

template <typename Work>
auto JetDatabase::namingDamage(const TableInfo& table, Work&& work) -> decltype(work()) {
  try {
    return work();
  } catch (const Corrupt& e) {
    raiseDamaged(table.name, e);
  } catch (const index::IndexCorrupt& e) {
    raiseDamaged(table.name, Corrupt(e.what()));
  }
}

// Everything before the commit point fails the commit with the file as it was; what fails
// after it is told as such (AfterCommit): the change is in the file.
void JetDatabase::commitPages() {
  if (!pager_->inTransaction()) {
    pager_->commit();
    return;
  }
  if (lockFile_) {
    try {
      lockFile_->markWriting(true);
    } catch (const os::IoError& e) {
      loseBatch(e.restated("锁定文件", unchanged()));
    }
  }
  std::optional<AfterCommit> late;
  try {
    pager_->commit();
  } catch (const AfterCommit& e) {
    late = e;
  } catch (...) {
    // A journal left behind speaks for the unfinished commit; without one the file is
    // at its last commit again and the marker would be a false alarm.
    try {
      if (lockFile_ && !env_.exists(journalPathFor(path_))) lockFile_->markWriting(false);
    } catch (const std::exception&) {
    }
    throw;
  }
  if (lockFile_) {
    try {
      lockFile_->markWriting(false);
    } catch (const os::IoError& e) {
      if (!late) late = AfterCommit(e.restated("锁定文件", "修改已经写入数据库文件 '" + path_ + "'"));
    }
  }
  if (late) throw *late;
}

void JetDatabase::commitUnlessGrouped() {
  if (!batch_) commitPages();
}

RowId JetDatabase::insertRow(const TableInfo& table, const std::vector<Value>& given) {
  TableDef& def = *defs_[byTdef_.at(table.tdefPage)];
  TableInfo& info = tables_[byTdef_.at(table.tdefPage)];
  if (given.size() != def.columns.size()) throw invalidObject();
  if (info.system) throw readOnly("表 '" + table.name + "' 是系统表，不能添加记录");
  const bool jet3 = header_.version.jet3();
  std::vector<Value> values(given.size());
  std::optional<int32_t> autoNumber;
  for (size_t i = 0; i < def.columns.size(); ++i) {
    const ColumnDef& c = def.columns[i];
    const ColumnInfo& ci = info.columns[i];
    if (c.type == coltype::kComplex)
      throw readOnly("表 '" + table.name + "' 含附件或多值字段 '" + c.name + "'，暂不能添加记录");
    if (c.type == coltype::kGuid && (c.flags & colflag::kAutoGuid))
      throw readOnly("字段 '" + c.name + "' 是自动生成的同步复制 ID，暂不能添加记录");
    if (c.calculated())
      throw readOnly("字段 '" + c.name + "' 是计算字段，暂不能添加记录");
    if (c.type == coltype::kLong && (c.flags & colflag::kAutoNumber)) {
      // A number given is kept, as Jet keeps it; the counter moves past it.
      const int32_t last = int32_t(def.autoNumber);
      if (given[i].isNull()) {
        if (last == INT32_MAX) throw readOnly("字段 '" + c.name + "' 的自动编号已用尽");
        autoNumber = last + 1;
        values[i] = Value(int64_t(*autoNumber));
        continue;
      }
      values[i] = write::asStored(jet3, c, given[i], header_.codePage);
      autoNumber = std::max<int32_t>(last, int32_t(values[i].asInt()));
      continue;
    }
    values[i] = write::asStored(jet3, c, given[i], header_.codePage);
    if (values[i].isNull() && !ci.autoNumber) refuseNull(def, i);
  }
  auto valueOf = [&](const ColumnDef& col) { return values[static_cast<size_t>(&col - def.columns.data())]; };
  refuseDamagedIndexes(def, nullptr);
  checkRelations(def, nullptr, valueOf);
  index::IndexMaintenance& upkeep = indexUpkeep(def);
  RowId id;
  if (upkeep.indexes().empty()) {
    id = writer_->insert(def, values, autoNumber);
  } else {
    // Every entry and every refusal (3027, 3022) is known before the first page changes.
    const std::vector<index::EntryChange> plan = upkeep.planInsert(*indexPages_, valueOf);
    id = writer_->insert(def, values, autoNumber,
                         [&](RowId at) { upkeep.apply(*indexPages_, at, plan); });
  }
  ++def.numRows;
  if (autoNumber) def.autoNumber = uint32_t(*autoNumber);
  info.rowCount = def.numRows;
  return id;
}

RowId JetDatabase::insert(const TableInfo& table, const std::vector<Value>& values) {
  startChange(table);
  const RowId id = changing(table, [&] { return insertRow(table, values); });
  commitUnlessGrouped();
  return id;
}

std::vector<RowId> JetDatabase::insertMany(const TableInfo& table,
                                           const std::vector<std::vector<Value>>& rows) {
  startChange(table);
  commitPages();
  TableDef& def = *defs_[byTdef_.at(table.tdefPage)];
  const uint32_t rowCount = def.numRows, autoNumber = def.autoNumber;
  std::vector<RowId> ids;
  ids.reserve(rows.size());
  namingDamage(table, [&] {
    try {
      for (const auto& r : rows) ids.push_back(insertRow(table, r));
      commitPages();
    } catch (...) {
      // The transaction holds these rows alone: all of them go.
      pager_->rollback();
      writer_->forgetHints();
      def.numRows = rowCount;
      def.autoNumber = autoNumber;
      tables_[byTdef_.at(table.tdefPage)].rowCount = rowCount;
      throw;
    }
  });
  return ids;
}

void JetDatabase::checkWritable(const TableInfo& table, int column) {
  const TableDef& def = definition(table);
  if (!incomplete_.empty()) throw damagedAt(path_, incomplete_);
  if (column < 0 || static_cast<size_t>(column) >= def.columns.size()) throw invalidObject();
  namingDamage(table, [&] {
    TableScan scan(*pager_, def);
    while (scan.next()) refuseDamagedRow(def, scan.row(), scan.rowLength(), scan.rowId());
    refuseDamagedIndexes(def, &def.columns[static_cast<size_t>(column)]);
  });
}

void JetDatabase::beginBatch() { beginWholeBatch(); }

void JetDatabase::commitBatch() {
  checkOpen();
  batch_ = false;
  if (lost_) {
    const BatchLost lost = *lost_;
    lost_.reset();
    throw lost;
  }
  if (writer_) commitPages();
}

void JetDatabase::beginWholeBatch() {
  checkOpen();
  if (writer_) commitPages();
  batch_ = true;
  lost_.reset();
}

void JetDatabase::rollbackBatch() {
  checkOpen();
  batch_ = false;
  lost_.reset();
  if (!writer_) return;
  pager_->rollback();
  // Nothing remembered about pages may outlive their rollback.
  writer_->forgetHints();
  indexUpkeep_.clear();
}

int JetDatabase::lastPlacement() const {
  return writer_ ? static_cast<int>(writer_->lastPlacement()) : -1;
}

Pager::WriteStats JetDatabase::writeStats() const {
  return pager_ ? pager_->writeStats() : Pager::WriteStats{};
}

}  // namespace jet
