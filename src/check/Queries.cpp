#include "check/Queries.h"

namespace check {

namespace {

std::string bracketed(const std::string& name) { return "[" + name + "]"; }

}  // namespace

std::string defectCondition(const std::string& column, const CheckKind& kind,
                            const std::string& checkChars) {
  return kind.condition(bracketed(column), checkChars);
}

std::string countQuery(const std::string& table, const std::string& column, const CheckKind& kind,
                       const std::string& checkChars) {
  return "Select count(*)  from " + bracketed(table) + " where " +
         defectCondition(column, kind, checkChars);
}

std::string selectQuery(const std::string& table, const std::string& column, const CheckKind& kind,
                        const std::string& checkChars) {
  return "select " + bracketed(column) + " from " + bracketed(table) + " where " +
         defectCondition(column, kind, checkChars);
}

std::string columnQuery(const std::string& table, const std::string& column) {
  return "select " + bracketed(column) + " from " + bracketed(table);
}

std::optional<QueryColumn> queryColumn(const std::string& query) {
  static const std::string kSelect = "select [", kFrom = "] from [";
  if (query.compare(0, kSelect.size(), kSelect) != 0) return std::nullopt;
  const size_t columnEnd = query.find(']', kSelect.size());
  if (columnEnd == std::string::npos || query.compare(columnEnd, kFrom.size(), kFrom) != 0)
    return std::nullopt;
  const size_t tableStart = columnEnd + kFrom.size();
  const size_t tableEnd = query.find(']', tableStart);
  if (tableEnd == std::string::npos) return std::nullopt;
  return QueryColumn{query.substr(tableStart, tableEnd - tableStart),
                     query.substr(kSelect.size(), columnEnd - kSelect.size())};
}

}  // namespace check
