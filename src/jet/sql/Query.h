#pragma once
// A SELECT statement parsed and bound to one table of an open database, evaluated by a scan
// in the engine's stable order. The condition compiles to a tree of small predicates that
// read only the columns they test, through the cursor's allocation-free paths, so a count
// query costs little more than the scan itself.
//
// REQUIRES: the Database outlives the Query and keeps its catalog (tables()) unchanged.
// GUARANTEES: failures as DAO raises them: 3129/3141/3131/3075 for syntax, 3078 for an
// unknown table, 3061 for unknown names (Jet takes them for parameters), 3421 for a
// comparison between types that do not convert.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/Database.h"

namespace jet::sql {

class Predicate;

class Query {
 public:
  static Query prepare(Database& db, std::string_view text);
  Query(Query&&) noexcept;
  Query& operator=(Query&&) noexcept;
  ~Query();

  bool isCount() const { return count_; }
  const TableInfo& table() const { return *table_; }
  // The selected columns as indexes into table().columns, in select-list order; for a
  // count query, empty.
  const std::vector<int>& columns() const { return columns_; }
  // The result's field names: the alias, the column's name, or "Expr1000" for a count.
  const std::vector<std::string>& fieldNames() const { return names_; }

  // A count query's single value: the rows that meet the condition (and, for
  // count(column), whose column is not Null).
  int64_t count(Database& db);
  // Several queries' counts at the cost of about one scan per table: each query's value
  // as count() gives it (for a query that is not a count, the rows that meet its
  // condition), in the order given. The queries of one table are answered in one walk
  // whose byte filter keeps a row when any of theirs would; each row it keeps is then
  // decided by every query's own condition. Fails as the first failing table's walk
  // fails, in the order the tables first appear.
  static std::vector<int64_t> countAll(Database& db, std::vector<Query>& queries);
  // The identities of the rows that meet the condition, in scan order.
  std::vector<RowId> rows(Database& db);
  // Whether the cursor's current row meets the condition.
  bool test(TableCursor& cursor);

 private:
  Query();
  const TableInfo* table_ = nullptr;
  bool count_ = false;
  std::vector<int> columns_;
  std::vector<std::string> names_;
  std::unique_ptr<Predicate> where_;  // null: every row
};

}  // namespace jet::sql
