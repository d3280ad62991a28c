#pragma once
// The engine's Database: an open file, its pager, catalog and table definitions. The
// engine's other parts (indexes, the write path) reach the format through it.
//
// REQUIRES: one thread. GUARANTEES: the file stays locked (shared or exclusive, by mode)
// from a successful open until close(); every failure leaves as a jet::Error, a damaged
// structure as 3049 naming the table and page.
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "jet/Catalog.h"
#include "jet/Database.h"
#include "jet/LockFile.h"
#include "jet/Pager.h"
#include "jet/ScanFilter.h"
#include "jet/Bytes.h"
#include "jet/format/HeaderPage.h"
#include "jet/format/TableDef.h"
#include "jet/format/Text.h"
#include "jet/os/Env.h"

namespace jet {

namespace write {
class RowWriter;
}
namespace index {
class IndexMaintenance;
class TransactionPages;
}

class JetDatabase final : public Database {
 public:
  static std::unique_ptr<JetDatabase> open(os::Env& env, const std::string& path, Mode mode,
                                           std::string_view password = {});
  ~JetDatabase() override;

  FileFormat format() const override { return header_.version.format; }
  const std::string& path() const override { return path_; }
  int codePage() const override { return header_.codePage; }
  Mode mode() const override { return mode_; }
  const std::vector<TableInfo>& tables() const override { return tables_; }
  const TableInfo* findTable(std::string_view name) const override;
  std::unique_ptr<TableCursor> scan(const TableInfo& table) override;
  Value read(const TableInfo& table, RowId row, int column) override;
  void update(const TableInfo& table, RowId row, int column, const Value& value) override;
  RowId insert(const TableInfo& table, const std::vector<Value>& values) override;
  std::vector<RowId> insertMany(const TableInfo& table,
                                const std::vector<std::vector<Value>>& rows) override;
  void checkWritable(const TableInfo& table, int column) override;
  void beginBatch() override;
  void commitBatch() override;
  void beginWholeBatch() override;
  void rollbackBatch() override;
  void close() override;
  const std::vector<std::string>& notices() const override { return notices_; }
  void setScanThreads(int threads) override { scanTuning_.threads = std::max(threads, 0); }

  // For the engine's own parts.
  Pager& pager();
  os::File& file();
  os::Env& env() { return env_; }
  const format::Header& header() const { return header_; }
  const format::TextCodec& codec() const { return *codec_; }
  const std::vector<CatalogEntry>& catalog() const { return catalog_; }
  // The definition behind a table of tables() (looked up by its TDEF page); fails with
  // 3420 for a linked table, which has none here.
  const format::TableDef& definition(const TableInfo& table) const;
  // The write path: syncs can be turned off before the first write, only to measure what
  // they cost; the statistics count commits and syncs so far.
  void setSyncs(bool on) { syncs_ = on; }
  Pager::WriteStats writeStats() const;
  // Where the last update put its row: 0 in place, 1 its own page repacked, 2 another
  // page of the table, 3 a new page (-1 before any update).
  int lastPlacement() const;
  // How filtered walks divide their work (threads, chunk size, the table size that
  // takes threads): small values let a test put a small file through the threaded path.
  void setScanTuning(const SweepTuning& tuning) { scanTuning_ = tuning; }
  const SweepTuning& scanTuning() const { return scanTuning_; }
  // Per ASCII character: Jet 3 text in this file's code page stores it as that byte
  // alone, and no other bytes decode to it (worked out once, on first use).
  const bool* asciiAsItself();
  // A format::Corrupt met while working on `table`, as the user's 3049 error.
  [[noreturn]] void raiseDamaged(const std::string& table, const format::Corrupt& e) const;

 private:
  JetDatabase(os::Env& env, std::string path, Mode mode);
  void load();
  void checkLength();
  uint64_t inUsePastEnd();
  void noteLostJournal();
  // Commits the write path's open transaction, with the lock file's marker set around it.
  void commitPages();
  void startWriting();
  void checkOpen() const;
  index::IndexMaintenance& indexUpkeep(const format::TableDef& def);
  // What every change does first: refusals of a closed or read-only database, the write
  // path started.
  const format::TableDef& startChange(const TableInfo& table);
  // 3314 or 3058 when column `column` of the table may not be Null.
  void refuseNull(const format::TableDef& def, size_t column) const;
  // A change touches only what reads whole (Corrupt otherwise): the row `id` decodes
  // column by column; every index holding `column` (every index, for nullptr) walks
  // without a fault, each walked once per open (the engine's own changes keep it sound).
  void refuseDamagedRow(const format::TableDef& def, RowId id);
  void refuseDamagedRow(const format::TableDef& def, const uint8_t* row, uint32_t length, RowId id);
  void refuseDamagedIndexes(const format::TableDef& def, const format::ColumnDef* column);
  // Runs a change's work; a damaged structure met on the way leaves as 3049 naming the table.
  template <typename Work>
  auto namingDamage(const TableInfo& table, Work&& work) -> decltype(work());
  // Runs a change's work (as namingDamage). A refusal of the one change leaves the
  // transaction as it was before it; any other failure (a read, write or sync the system
  // failed, a damaged page, a write left half done) loses the batch: loseBatch().
  template <typename Work>
  auto changing(const TableInfo& table, Work&& work) -> decltype(work());
  // Takes back every change since the last commit and throws e as BatchLost; an open
  // batch refuses every further change with it until it ends.
  [[noreturn]] void loseBatch(const Error& e);
  // Commits unless a batch groups this change with the next ones.
  void commitUnlessGrouped();
  // "The database file is unchanged", and which file of the database a path is.
  std::string unchanged() const;
  std::string roleOf(const std::string& path) const;
  using ValueOf = std::function<Value(const format::ColumnDef&)>;
  void checkRelations(const format::TableDef& def, const ValueOf* before, const ValueOf& after);
  RowId insertRow(const TableInfo& table, const std::vector<Value>& values);

  os::Env& env_;
  std::string path_;
  Mode mode_;
  std::unique_ptr<os::File> file_;
  std::unique_ptr<LockFile> lockFile_;
  format::Header header_;
  std::unique_ptr<Pager> pager_;
  std::unique_ptr<format::TextCodec> codec_;
  SweepTuning scanTuning_;
  std::unique_ptr<bool[]> asciiAsItself_;
  std::vector<CatalogEntry> catalog_;
  std::vector<TableInfo> tables_;
  std::vector<std::unique_ptr<format::TableDef>> defs_;  // parallel to tables_ (null: linked)
  std::unordered_map<uint32_t, size_t> byTdef_;          // TDEF page -> index in tables_
  std::unique_ptr<write::RowWriter> writer_;  // the write path, from the first change
  std::unique_ptr<index::TransactionPages> indexPages_;  // the index writer's view of it
  std::unordered_map<uint32_t, std::unique_ptr<index::IndexMaintenance>> indexUpkeep_;  // by TDEF
  std::set<std::pair<uint32_t, size_t>> soundIndexes_;  // (TDEF page, real index) walked
  std::string readOnlyReason_;  // not empty: every change is refused with 3027 and this
  std::string incomplete_;      // not empty: the file is cut short; changes are refused
  std::vector<std::string> notices_;
  bool syncs_ = true;
  bool batch_ = false;
  std::optional<BatchLost> lost_;  // the failure that ended the open batch
  std::shared_ptr<bool> open_;  // shared with cursors, which must fail once closed
};

}  // namespace jet
