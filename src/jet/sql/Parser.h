#pragma once
// Parses the SELECT subset: count(*) or count(column), *, or a list of columns; one table;
// an optional WHERE condition with AND, OR, NOT, parentheses, comparisons, IS [NOT] NULL and
// [NOT] LIKE. Names bare or in square brackets; keywords in any letter case.
//
// GUARANTEES: a malformed statement fails with DAO's number for the clause at fault: 3129
// (not a SELECT), 3141 (select list), 3131 (FROM), 3075 (WHERE, with the condition's text).
#include <string_view>

#include "jet/sql/Ast.h"

namespace jet::sql {

Statement parse(std::string_view text);

}  // namespace jet::sql
