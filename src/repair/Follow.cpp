#include "repair/Follow.h"

#include "check/Queries.h"
#include "data/Dao.h"
#include "jet/Error.h"

namespace repair {

std::string countText(const std::string& column, long long count) {
  return column + "(" + std::to_string(count) + "条)";
}

void followCount(check::CheckState& state, check::Controls& ui, const std::string& table,
                 const std::string& column) {
  const check::NodeId node{check::NodeId::Kind::Column, table, column};
  if (!ui.tree.contains(node) || !state.database) return;
  // The tree is the last check's: its mode and characters are the state's.
  auto rs = state.database->OpenRecordset(
      check::countQuery(table, column, *state.kind, state.checkChars));
  const jet::Value v = rs->Fields(0)->Value();
  rs->Close();
  long long count = 0;
  if (v.kind() == jet::Value::Kind::Int) count = v.asInt();
  else if (v.kind() == jet::Value::Kind::Double) count = static_cast<long long>(v.asDouble());
  ui.tree.setText(node, countText(column, count));
}

void followCount(check::CheckState& state, check::Controls& ui, const std::string& query) {
  if (const auto where = check::queryColumn(query))
    followCount(state, ui, where->table, where->column);
}

void followUndo(check::CheckState& state, check::Controls& ui, const std::string& table,
                const std::string& column) {
  const auto isLogColumn = [&](const std::string& query) {
    const auto where = check::queryColumn(query);
    return where && where->table == table && where->column == column &&
           query != check::columnQuery(table, column);
  };
  std::string query;
  if (ui.list.count() > 0) {
    const std::string shown = ui.list.tag(0).query;
    if (isLogColumn(shown)) query = shown;
  } else if (isLogColumn(state.currentQuery)) {
    query = state.currentQuery;
  }
  if (!query.empty() && state.database) {
    auto rs = state.database->OpenRecordset(query);
    ui.list.clear();
    const auto field = rs->Fields(0);
    while (!rs->Eof()) {
      ui.list.addItem(field->Value().toText(), check::LineTag{rs->Bookmark(), query});
      rs->MoveNext();
    }
    rs->Close();
  }
  followCount(state, ui, table, column);
}

}  // namespace repair
