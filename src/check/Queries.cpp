#include "check/Queries.h"

namespace check {

namespace {

std::string bracketed(const std::string& name) { return "[" + name + "]"; }

// The LIKE pattern that matches a text holding any character of the set.
std::string likePattern(const std::string& set) {
  if (set.empty() || set[0] != '!') return "*[" + set + "]*";
  // "[!...]" is a negated list. A "!" anywhere but first is literal, so move the leading
  // ones behind another character; a "-" must stay first or last, where it is literal.
  std::string rest = set;
  while (!rest.empty() && rest[0] == '!') rest.erase(0, 1);
  if (rest.empty()) return "*!*";  // outside a list "!" is an ordinary character
  if (rest[0] == '-') return "*[-!" + rest.substr(1) + "]*";
  if (rest.back() == '-') return "*[" + rest.substr(0, rest.size() - 1) + "!-]*";
  return "*[" + rest + "!]*";
}

}  // namespace

std::string defectCondition(const std::string& column, bool charMode,
                            const std::string& checkChars) {
  const std::string c = bracketed(column);
  if (charMode) return c + " like '" + likePattern(checkChars) + "'";
  return c + "<#1900-1-1# and " + c + ">#0:0:0#";
}

std::string countQuery(const std::string& table, const std::string& column, bool charMode,
                       const std::string& checkChars) {
  return "Select count(*)  from " + bracketed(table) + " where " +
         defectCondition(column, charMode, checkChars);
}

std::string selectQuery(const std::string& table, const std::string& column, bool charMode,
                        const std::string& checkChars) {
  return "select " + bracketed(column) + " from " + bracketed(table) + " where " +
         defectCondition(column, charMode, checkChars);
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
