#pragma once
// The engine's public face: open a Jet 3, Jet 4 or ACE file, list its tables, scan rows,
// read and (later) write values. Everything above the engine (SQL, data access objects,
// tools) uses only this header and the value types.
//
// REQUIRES: one thread per Database. GUARANTEES: a scan returns the live rows of a table
// in the same order on every open of an unchanged file; every failure is a jet::Error.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/Value.h"
#include "jet/Types.h"  // FileFormat, daotype, RowId

namespace jet {

struct ColumnInfo {
  std::string name;
  int daoType = 0;       // daotype::k*
  int jetType = 0;       // the type byte stored in the file
  int size = 0;          // DAO Field.Size: bytes for fixed types, characters for Text
  int position = 0;      // index into TableInfo::columns (the field collection's order)
  bool fixedLength = false;
  bool autoNumber = false;
  bool required = false;         // the Required property: Null is refused
  bool allowZeroLength = true;   // Text/Memo: the AllowZeroLength property
  bool compressedUnicode = false;
  bool calculated = false;  // ACE calculated column: holds its expression's last result
};

struct IndexColumn {
  int column = 0;  // index into TableInfo::columns
  bool ascending = true;
};

struct IndexInfo {
  std::string name;
  std::vector<IndexColumn> columns;
  bool unique = false;
  bool primaryKey = false;
  bool foreignKey = false;
};

struct TableInfo {
  std::string name;
  int32_t attributes = 0;  // as DAO's TableDef.Attributes: 0 for an ordinary local table
  bool linked = false;
  bool system = false;
  std::vector<ColumnInfo> columns;  // in the field collection's order
  std::vector<IndexInfo> indexes;
  uint32_t tdefPage = 0;
  uint32_t rowCount = 0;  // as the table definition records it

  const ColumnInfo* findColumn(std::string_view name) const;  // letter case ignored
};

class TableCursor;

class Database {
 public:
  enum class Mode {
    ReadOnly,   // shared read; refuses a file left with an unfinished write
    Exclusive,  // read-write; takes an exclusive lock (a second open fails with 3045)
  };

  // Opens and identifies the file; fails with 3024, 3343, 3049, 3031 or 3045. A file with a
  // database password opens only with exactly that password (3031 otherwise, with nothing
  // written); a file without one ignores it. The password is compared and forgotten: the
  // engine keeps no copy of it and writes it nowhere.
  static std::unique_ptr<Database> open(const std::string& path, Mode mode,
                                        std::string_view password = {});
  virtual ~Database() = default;

  virtual FileFormat format() const = 0;
  virtual const std::string& path() const = 0;
  virtual int codePage() const = 0;
  virtual Mode mode() const = 0;

  // Every table of the catalog (system and linked tables included), in the order of the
  // catalog's name index.
  virtual const std::vector<TableInfo>& tables() const = 0;
  // Letter case ignored; nullptr when absent.
  virtual const TableInfo* findTable(std::string_view name) const = 0;

  // A forward scan of the live rows of a table in stable physical order.
  virtual std::unique_ptr<TableCursor> scan(const TableInfo& table) = 0;

  // Reads one value of a row by its identity; fails with 3021 when the row is gone.
  virtual Value read(const TableInfo& table, RowId row, int column) = 0;

  // Writes one value of one row, atomically and durably (see the write path). Fails with
  // 3027 on a read-only database or a change the engine refuses, 3047, 3163, 3022, 3314.
  virtual void update(const TableInfo& table, RowId row, int column, const Value& value) = 0;

  // Adds a row to a local table: one value per column of TableInfo::columns (Null for
  // none). An AutoNumber column given Null takes the table's next number; a number given
  // is kept and the counter moves past it.
  // Every index gets the row's entry; the definition's row count and AutoNumber counter
  // follow. Every refusal (3027, 3022, 3314, 3163, 3421, 3047) comes before any change.
  virtual RowId insert(const TableInfo& table, const std::vector<Value>& values) = 0;
  // Adds rows in one transaction and one commit: all of them, or none when one is refused
  // (an open batch is committed first).
  virtual std::vector<RowId> insertMany(const TableInfo& table,
                                        const std::vector<std::vector<Value>>& rows) = 0;

  // A table that changes must read whole: every live row decodes column by column, and
  // every index holding `column` walks without a fault. Fails with 3049 naming the damage,
  // else does nothing. update() tests its own row and those indexes; a walk over many
  // rows calls this first, so that it refuses a damaged table before its first change.
  virtual void checkWritable(const TableInfo& table, int column) = 0;

  // A batch: the following updates and inserts are one transaction, however many and
  // however long it runs. Nothing is committed until commitBatch(), which makes them
  // durable at once (its commit point is the sync of the file, behind a journal holding
  // the original of every page the batch changed); rollbackBatch() takes every one of
  // them back. Pages past the pager's bound are written early, behind the synced journal,
  // so a batch's memory does not grow with it, and a crash before the commit point leaves
  // the file as it was before the batch. Without a batch each update or insert is its own
  // commit. An open transaction is committed first. beginBatch() is the same call.
  //
  // A change refused on its own (3022, 3047, 3027 ...) leaves the batch as it was before
  // that change. Any other failure (a read, write or sync the system failed, a damaged
  // page) loses the batch: it throws BatchLost, every change since the batch began is
  // taken back, and every further change, and commitBatch(), throw the same until
  // rollbackBatch() or commitBatch() ends it. commitBatch() fails like a single commit:
  // before the commit point the file is as it was (the Error says so); a failure after
  // it is an AfterCommit, and the batch is in the file.
  virtual void beginBatch() = 0;
  virtual void commitBatch() = 0;
  virtual void beginWholeBatch() = 0;
  // Takes back every change since the last commit and ends the batch.
  virtual void rollbackBatch() = 0;

  virtual void close() = 0;

  // Threads a filtered walk over a large table may use: 0, as the machine allows (or as
  // the environment variable MDBCHECK_SCAN_THREADS says); 1, the calling thread alone.
  // The rows and their order are the same either way.
  virtual void setScanThreads(int threads) { (void)threads; }

  // What the user must be told about the file though it opened: cut short (changes are
  // refused), read around an unfinished write, or a write interrupted whose journal is
  // gone. Simplified Chinese, one sentence each; empty for a sound file.
  virtual const std::vector<std::string>& notices() const = 0;
};

// A cursor over the live rows of one table. Values are decoded on demand, one column at a
// time, so a scan that tests one column pays for that column only.
// A test on one column's stored bytes that rules rows out without decoding them, for
// conditions that can hold only when it passes. It never rules out a row the full test
// would accept: a row it cannot judge from the bytes alone (a value stored out of line, a
// damaged row, a type it does not know) is kept, and the full test decides.
struct RowFilter {
  enum class Kind : uint8_t {
    None,
    // A Date/Time column whose stored double lies in [lo, hi] (loOpen/hiOpen exclude the
    // bound); a Null date is ruled out.
    DateIn,
    // A Text column holding at least one of the ASCII characters `ascii` marks, as stored
    // (compressed or two-byte Unicode); a Null value is ruled out.
    TextHasAscii,
    // A row that any filter of `any` keeps (several queries answered in one walk).
    Any,
  };
  Kind kind = Kind::None;
  int column = -1;
  double lo = 0, hi = 0;
  bool loOpen = false, hiOpen = false;
  bool ascii[128] = {};
  std::vector<RowFilter> any;  // for Any
  // The caller walks to the end (or drops the cursor) with this one filter, writing
  // nothing meanwhile: the engine may read the table's pages ahead, on several threads.
  bool wholeWalk = false;
};

class TableCursor {
 public:
  virtual ~TableCursor() = default;
  // Moves to the next live row; false past the last one. Starts before the first row.
  virtual bool next() = 0;
  // Moves to the next live row the filter keeps: the same rows next() reaches, minus those
  // the filter rules out, in the same order, with the errors of next().
  virtual bool nextWhere(const RowFilter& filter) {
    (void)filter;
    return next();
  }
  virtual RowId rowId() const = 0;
  virtual Value value(int column) = 0;
  // Fast paths without allocation. Return false when the value is Null (or, for date(),
  // when the column is not a Date/Time column).
  virtual bool date(int column, double& stored) = 0;
  // Text and memo as UTF-8 into a caller's buffer, reused between rows.
  virtual bool text(int column, std::string& utf8) = 0;
};

// A batch bound to a scope. commit() ends it and makes its changes durable; leaving the
// scope any other way (an exception) takes back every change since the last commit and
// ends the batch, so that no failure leaves the engine batching.
// REQUIRES: no batch open when it begins (an open transaction is committed first).
// GUARANTEES: after the scope the engine is not batching, whatever happened inside.
class ScopedBatch {
 public:
  explicit ScopedBatch(Database& db) : db_(db) { db_.beginWholeBatch(); }
  ScopedBatch(const ScopedBatch&) = delete;
  ScopedBatch& operator=(const ScopedBatch&) = delete;
  ~ScopedBatch() {
    if (!open_) return;
    try {
      db_.rollbackBatch();
    } catch (...) {
      // A closed database has no batch left to end.
    }
  }

  void commit() {
    open_ = false;
    db_.commitBatch();
  }

 private:
  Database& db_;
  bool open_ = true;
};

}  // namespace jet
