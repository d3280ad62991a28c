#include "check/Commands.h"

#include <cctype>
#include <exception>
#include <memory>
#include <optional>

#include "check/CheckChars.h"
#include "check/Messages.h"
#include "check/Queries.h"
#include "check/Reporting.h"
#include "data/Dao.h"
#include "jet/Error.h"

namespace check {

namespace {

// The part of a path after its last folder separator (either kind), or the whole path.
std::string fileNameOf(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Closes the database, then the workspace, ignoring failures, and lets go of both.
void closeQuietly(check::CheckState& state) {
  try {
    if (state.database) state.database->Close();
  } catch (...) {
  }
  try {
    if (state.workspace) state.workspace->Close();
  } catch (...) {
  }
  state.database.reset();
  state.workspace.reset();
}

// Opens path exclusively; a file with a database password asks for it until it is right
// or the operator cancels (nullptr then). The password lives only for its attempt.
std::shared_ptr<dao::Database> openAskingPassword(dao::Workspace& workspace, const std::string& path,
                                                  Dialogs& dialogs) {
  try {
    return workspace.OpenDatabase(path, true);
  } catch (const jet::Error& e) {
    if (e.number() != jet::err::kBadPassword) throw;
  }
  const std::string prompt = msg::passwordPrompt(fileNameOf(path));
  std::string refusal;
  for (;;) {
    std::optional<jet::Secret> typed = dialogs.password(prompt, refusal);
    if (!typed) return nullptr;
    const jet::Secret connect = jet::Secret::concat(";PWD=", typed->view());
    typed.reset();
    try {
      return workspace.OpenDatabase(path, true, false, connect.view());
    } catch (const jet::Error& e) {
      if (e.number() != jet::err::kBadPassword) throw;
      refusal = e.description();
    }
  }
}

int64_t countOf(const jet::Value& v) {
  switch (v.kind()) {
    case jet::Value::Kind::Int:
      return v.asInt();
    case jet::Value::Kind::Double:
      return static_cast<int64_t>(v.asDouble());
    case jet::Value::Kind::Null:
      return 0;
    default:
      throw jet::conversion();
  }
}

}  // namespace

Result OpenDatabaseFile(check::CheckState& state, Controls& ui) {
  return reporting([&](Result& result) {
    // The dialog comes first: a cancel leaves the open file, its tree, its list and the
    // undo of its last repair as they are.
    const std::string path = ui.dialogs.openFile();
    if (path.empty()) {
      ui.status.setPanelText(3, state.checkChars);
      return;
    }
    // The previous database is closed here whatever follows, so anything still walking it
    // (a scan waiting in its yield) must let go.
    ++state.generation;
    closeQuietly(state);
    // Until the new file is open no file is: a failed open shows none and holds none, so
    // the next command asks for a file instead of failing on a closed one.
    ui.status.setPanelText(1, "");
    ui.tree.clear();
    // No repair may act on lines of a file the operator has not been shown.
    ui.list.clear();
    state.currentQuery.clear();
    state.workspace = dao::DBEngine::instance().CreateWorkspace("", "admin", "", dao::dbUseJet);
    try {
      state.database = openAskingPassword(*state.workspace, path, ui.dialogs);
    } catch (...) {
      closeQuietly(state);
      throw;
    }
    if (!state.database) {  // cancelled in the password box: no file is open
      closeQuietly(state);
      return;
    }
    ui.status.setPanelText(1, fileNameOf(path));
    ui.status.setPanelText(3, state.checkChars);
    // What the operator must know about the file before anything else: cut short, read
    // around an unfinished write, or a write interrupted whose journal is gone.
    for (const std::string& notice : state.database->engine().notices()) result.notify(notice);
  });
}

void CloseAtUnload(check::CheckState& state) {
  ++state.generation;
  closeQuietly(state);
}

Result ScanDatabase(check::CheckState& state, Controls& ui) {
  return reporting([&](Result& result) {
    if (!state.database) {
      result.refuse(msg::kOpenFirst);
      return;
    }
    // Another scan, an open or the unload during one of our yields bumps this: the newer
    // command owns the tree then, and this scan stops without touching anything.
    const uint64_t generation = ++state.generation;
    const std::shared_ptr<dao::Database> db = state.database;
    const CheckKind& kind = *state.kind;
    const std::string chars = state.checkChars;

    BusyScope busy(ui.events);
    const NodeId root;
    ui.tree.clear();
    ui.tree.add(root, msg::kRootText);
    ui.list.clear();
    for (const auto& tableDef : db->TableDefs()) {
      if (tableDef->Attributes() == 0) {
        const std::string table = tableDef->Name();
        const NodeId tableNode{NodeId::Kind::Table, table, {}};
        ui.tree.add(tableNode, table);
        std::vector<std::string> columns, queries;
        for (const auto& field : tableDef->Fields()) {
          if (field->Type() != kind.candidateType) continue;
          columns.push_back(field->Name());
          queries.push_back(countQuery(table, columns.back(), kind, chars));
        }
        // All of the table's columns are counted in one read of it. Should that fail, each
        // column is asked alone, so that the tree, the query shown and the failure are
        // those of the column that fails.
        std::vector<int64_t> counts;
        if (!queries.empty()) {
          try {
            counts = db->Counts(queries);
          } catch (const std::exception&) {
            counts.clear();
          }
        }
        for (size_t i = 0; i < columns.size(); ++i) {
          const std::string& column = columns[i];
          const NodeId columnNode{NodeId::Kind::Column, table, column};
          ui.tree.add(columnNode, column);
          state.currentQuery = queries[i];
          int64_t count;
          if (counts.size() == queries.size()) {
            count = counts[i];
          } else {
            auto rs = db->OpenRecordset(state.currentQuery);
            count = countOf(rs->Fields(0)->Value());
            rs->Close();
          }
          if (count > 0)
            ui.tree.setText(columnNode, column + "(" + std::to_string(count) + "条)");
          else
            ui.tree.remove(columnNode);
        }
        if (ui.tree.childCount(tableNode) == 0) ui.tree.remove(tableNode);
      }
      ui.events.yield();
      if (state.generation != generation || state.database != db) return;
    }
    // What the engine found wrong with the file itself (cut short, an interrupted write)
    // stands at the root, so that no count below is taken for the whole truth.
    std::string rootText = ui.tree.childCount(root) == 0 ? msg::kNoErrors : msg::kRootText;
    for (const std::string& notice : db->engine().notices()) rootText += "（注意：" + notice + "）";
    ui.tree.setText(root, rootText);
  });
}

Result DrillDown(check::CheckState& state, Controls& ui) {
  return reporting([&](Result& result) {
    const std::optional<NodeId> node = ui.tree.selected();
    if (!node || node->kind != NodeId::Kind::Column) return;
    const std::string query =
        selectQuery(node->table, node->column, *state.kind, state.checkChars);
    state.currentQuery = query;
    if (!state.database) throw jet::invalidObject();
    BusyScope busy(ui.events);
    auto rs = state.database->OpenRecordset(query);
    ui.list.clear();
    const auto field = rs->Fields(0);
    while (!rs->Eof()) {
      ui.list.addItem(field->Value().toText(), LineTag{rs->Bookmark(), query});
      rs->MoveNext();
    }
    rs->Close();
  });
}

Result EditCheckChars(check::CheckState& state, Controls& ui, const std::string& panelKey,
                    const std::string& panelText) {
  return reporting([&](Result& result) {
    if (panelText.empty() || panelKey.size() != 4) return;
    for (size_t i = 0; i < 4; ++i)
      if (std::tolower(static_cast<unsigned char>(panelKey[i])) != "char"[i]) return;
    const std::string answer = ui.dialogs.input(msg::kCharsPrompt, msg::kCharsTitle,
                                                state.checkChars);
    if (answer.empty()) {
      result.refuse(msg::kCharsInvalid);
      return;
    }
    NormalizedChars normalized = normalizeCheckChars(answer);
    for (std::string& m : normalized.messages) result.notify(std::move(m));
    state.checkChars = normalized.chars;
    ui.status.setPanelText(3, state.checkChars);
    result.scanAgain = state.kind->usesCheckChars;
  });
}

}  // namespace check
