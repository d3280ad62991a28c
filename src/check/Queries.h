#pragma once
// The SQL of the checks, assembled from its parts. Table and column names always stand in
// square brackets, so blanks, reserved words and any other character a name may hold reach
// the engine as a name; nothing is substituted into a template, so no name or special
// character can change the rest of the query.
#include <optional>
#include <string>

#include "check/CheckKind.h"

namespace check {

// The condition that selects the defective values of one column, the kind's:
//   dates: [C]<#1900-1-1# and [C]>#0:0:0#
//   chars: [C] like '*[<list>]*'
// The list is checkChars unchanged, except that a leading "!" (which would negate the list)
// is moved to where it stands for itself.
std::string defectCondition(const std::string& column, const CheckKind& kind,
                            const std::string& checkChars);

// Select count(*)  from [T] where <condition>
std::string countQuery(const std::string& table, const std::string& column, const CheckKind& kind,
                       const std::string& checkChars);

// select [C] from [T] where <condition>
std::string selectQuery(const std::string& table, const std::string& column, const CheckKind& kind,
                        const std::string& checkChars);

// select [C] from [T]: every row of the table, whatever its value.
std::string columnQuery(const std::string& table, const std::string& column);

struct QueryColumn {
  std::string table, column;
};
// The table and column of a query made by selectQuery() or columnQuery(). Names never hold
// "]", so the first one closes each name.
std::optional<QueryColumn> queryColumn(const std::string& query);

}  // namespace check
