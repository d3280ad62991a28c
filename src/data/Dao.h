#pragma once
// The data access objects the window's commands use: an engine, workspaces, databases,
// table definitions, fields and recordsets opened from Jet SQL. Names and behaviour follow
// DAO over Jet, so the commands read like the operations they perform.
//
// REQUIRES: one thread. Objects are held by shared_ptr; every object refers to the database
// it came from. GUARANTEES: every failure is a jet::Error with DAO's number; once a database
// or its workspace is closed, every operation on it or on anything opened from it fails
// with 3420, even while the object is still held.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/Database.h"
#include "jet/Value.h"

namespace dao {

// Values travel as a variant: Null, text, date, number or boolean.
using Variant = jet::Value;

// A value as a field of the column takes it: converted to the column's type the way Jet
// converts it (text to date by jet::parseDate's forms, text to number with blanks around,
// numbers to whole numbers half to even). Fails with 3421 when it cannot convert, 3163 when
// a text is longer than the column, 3162 for Null in a Yes/No column.
Variant ConvertToColumn(const jet::ColumnInfo& col, const Variant& value);

constexpr int dbUseJet = 2;         // CreateWorkspace type
constexpr int dbUpdateRegular = 1;  // Recordset::Update type

// Field::Type values.
constexpr int16_t dbBoolean = 1, dbByte = 2, dbInteger = 3, dbLong = 4, dbCurrency = 5,
                  dbSingle = 6, dbDouble = 7, dbDate = 8, dbBinary = 9, dbText = 10,
                  dbLongBinary = 11, dbMemo = 12, dbGUID = 15, dbBigInt = 16, dbDecimal = 20;

class Workspace;
class Database;
class TableDef;
class Field;
class Recordset;

namespace detail {
struct WorkspaceState;
struct DatabaseState;
struct RecordsetState;
}  // namespace detail

// One per process, created on first use.
class DBEngine {
 public:
  static DBEngine& instance();
  // True once instance() has been called (the engine is never created twice).
  static bool created();

  // name "", user "admin", password "", type dbUseJet: a Jet workspace. Any other type or
  // user fails.
  std::shared_ptr<Workspace> CreateWorkspace(const std::string& name, const std::string& user,
                                             const std::string& password, int type);

 private:
  DBEngine() = default;
};

class Workspace {
 public:
  // Opens a database read-write and locked for this process alone (the engine has no
  // shared-write mode, so exclusive = false opens it exclusively as well); readOnly opens
  // it for shared reading. connect, as DAO takes it: ";PWD=password" gives the database
  // password (the text after "PWD=" up to the next ";"; the key's case is ignored); other
  // parts are ignored. The password is passed on and kept nowhere. Fails with 3024, 3343,
  // 3049, 3031 (a file with a password, and none or another given), 3045 or 3420.
  std::shared_ptr<Database> OpenDatabase(const std::string& path, bool exclusive,
                                         bool readOnly = false, std::string_view connect = {});
  // Closes every database opened from this workspace. Closing twice is harmless.
  void Close();
  std::string Name() const;

  explicit Workspace(std::shared_ptr<detail::WorkspaceState> s) : s_(std::move(s)) {}

 private:
  std::shared_ptr<detail::WorkspaceState> s_;
};

class Database {
 public:
  // Every table of the file (system and linked ones included), in collection order.
  std::vector<std::shared_ptr<TableDef>> TableDefs();
  // A count(*) query gives one row whose Fields(0) is the count; a single-table select
  // gives an updatable dynaset: its rows are those that met the condition when it opened,
  // in the table's stable scan order; their values are read live.
  std::shared_ptr<Recordset> OpenRecordset(const std::string& sql);
  // Not DAO: the values several count queries give, in order, as OpenRecordset(sql)
  // ->Fields(0) gives each, with each table read once for all of its queries (a query
  // that is not a count gives the number of rows it selects). Fails as the first query
  // that does not prepare fails, else as the first failing table's walk.
  std::vector<int64_t> Counts(const std::vector<std::string>& sqls);
  // Releases the file and its lock. Closing twice is harmless.
  void Close();
  // The path it was opened with.
  std::string Name() const;

  // Not DAO: groups the following updates into one durable commit (a walk over many rows);
  // CommitBatch() makes them durable.
  void BeginBatch();
  void CommitBatch();
  // Not DAO: like BeginBatch, but the updates land whole at CommitBatch() or not at all:
  // RollbackBatch() takes every one of them back (an open batch is committed first).
  void BeginWholeBatch();
  void RollbackBatch();
  // Not DAO: the engine underneath, for tools that check the file. Fails with 3420 once
  // closed.
  jet::Database& engine();

  explicit Database(std::shared_ptr<detail::DatabaseState> s) : s_(std::move(s)) {}

 private:
  std::shared_ptr<detail::DatabaseState> s_;
};

class TableDef {
 public:
  std::string Name() const;
  int32_t Attributes() const;  // 0 for an ordinary local table
  std::vector<std::shared_ptr<Field>> Fields() const;  // in collection order

  TableDef(std::shared_ptr<detail::DatabaseState> db, int table)
      : db_(std::move(db)), table_(table) {}

 private:
  std::shared_ptr<detail::DatabaseState> db_;
  int table_;  // index into jet::Database::tables()
};

// A column of a table definition, or a column of a recordset's current row.
class Field {
 public:
  std::string Name() const;
  int16_t Type() const;  // dbDate, dbText, ...
  int32_t Size() const;  // characters for text, bytes otherwise
  bool Required() const;

  // Recordset fields: the current row's value (the pending value while editing). Fails
  // with 3021 without a current row; table-definition fields fail with 3219.
  Variant Value() const;
  // Recordset fields between Edit or AddNew and Update: converts the value to the column's
  // type as Jet does (text to date by jet::parseDate's forms). Fails with 3421 when it
  // cannot convert, 3163 when a text is longer than the column, 3020 outside Edit and
  // AddNew.
  void SetValue(const Variant& value);

  // Table-definition field.
  Field(std::shared_ptr<detail::DatabaseState> db, int table, int column)
      : db_(std::move(db)), table_(table), column_(column) {}
  // Recordset field: index into the recordset's selected columns.
  Field(std::shared_ptr<detail::RecordsetState> rs, int index);

 private:
  std::shared_ptr<detail::DatabaseState> db_;
  std::shared_ptr<detail::RecordsetState> rs_;
  int table_ = -1;
  int column_ = -1;
};

class Recordset {
 public:
  // True past the last row, and at once for an empty result. (Not named EOF: that is a
  // macro of the C library.)
  bool Eof() const;
  bool Bof() const;
  // Next row; fails with 3021 when already past the last.
  void MoveNext();
  // Moves by rows from the current row (a fresh recordset is on its first row); landing
  // past either end leaves Eof() or Bof() true. Fails with 3021 without a current row.
  void Move(int32_t rows);
  int32_t RecordCount() const;  // rows in the result
  int FieldCount() const;

  // The selected columns in select-list order; fails with 3265 when there is no such one.
  std::shared_ptr<Field> Fields(int16_t index);
  std::shared_ptr<Field> Fields(const std::string& name);

  // Starts changing the current row (3021 without one, 3027 for a count query).
  void Edit();
  // Starts a new row of the recordset's table: every field Null until set (an AutoNumber
  // left Null gets the table's next number). 3027 for a count query.
  void AddNew();
  // Saves the values set since Edit through the engine's write path: 3314 for Null in a
  // required column, or the engine's failure; on failure the edit stays pending. Several
  // changed columns go to the engine one by one in one commit, so a refusal of a later one
  // (3163, 3047, 3022) can leave earlier ones written.
  // After AddNew: inserts the row whole or not at all (3022, 3314, 3163 ... change
  // nothing); it joins the end of the recordset, and the current row stays where it was.
  void Update(int type = dbUpdateRegular, bool force = false);
  // The bookmark of the row the last Update added or changed (3021 before any).
  std::string LastModified() const;
  // Drops the pending edit.
  void CancelUpdate();

  // Not DAO: fails with 3049 naming the damage when a row of the recordset's table, or an
  // index holding one of its columns, does not read whole. A walk that changes many rows
  // asks first, so that it refuses a damaged table before its first change.
  void CheckWritable();

  // The current row's stable identity as opaque bytes; setting it makes that row current
  // again (3159 when it is not a row of this recordset, 3021 without a current row).
  std::string Bookmark() const;
  void SetBookmark(const std::string& bookmark);

  void Close();

  explicit Recordset(std::shared_ptr<detail::RecordsetState> s) : s_(std::move(s)) {}

 private:
  std::shared_ptr<detail::RecordsetState> s_;
};

}  // namespace dao
