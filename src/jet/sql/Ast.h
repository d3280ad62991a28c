#pragma once
// The syntax tree of the single-table SELECT subset: what the parser produces and the
// binder turns into a predicate over one table.
#include <memory>
#include <string>
#include <vector>

#include "jet/Value.h"

namespace jet::sql {

enum class CompareOp { Eq, Ne, Lt, Gt, Le, Ge };

struct Expr {
  enum class Kind { Column, Literal, Compare, And, Or, Not, IsNull, Like };
  Kind kind = Kind::Literal;
  std::string qualifier;  // Column: the table named before a dot, if any
  std::string name;       // Column
  Value literal;          // Literal
  CompareOp op = CompareOp::Eq;
  bool negated = false;   // IS NOT NULL, NOT LIKE
  std::unique_ptr<Expr> lhs, rhs;  // Not, IsNull: lhs only
};

struct SelectItem {
  std::string qualifier;
  std::string name;
  std::string alias;  // AS alias, empty when none
};

struct Statement {
  enum class Kind { Count, Star, Columns };
  Kind kind = Kind::Star;
  bool countColumn = false;      // count(column) rather than count(*)
  std::vector<SelectItem> items;  // Columns; Count: the counted column when countColumn
  std::string countAlias;
  std::vector<std::string> tables;  // FROM list as written (names without brackets)
  std::unique_ptr<Expr> where;      // null without a WHERE clause
  std::string whereText;            // the condition as written, for error messages
};

}  // namespace jet::sql
