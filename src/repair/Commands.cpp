#include "repair/Commands.h"

#include <functional>
#include <memory>
#include <optional>

#include "check/Messages.h"
#include "check/Queries.h"
#include "check/Reporting.h"
#include "data/Dao.h"
#include "jet/Error.h"
#include "repair/Follow.h"
#include "repair/Guards.h"
#include "repair/Undo.h"

namespace repair {

namespace msg = check::msg;
using check::Controls;
using check::LineTag;
using check::reporting;

namespace {

// A line is acted on through the query it was listed from: a scan that ran during the
// drill-down may have put a count query into currentQuery since.
std::string queryOfLine(const check::CheckState& state, const LineTag& tag) {
  return tag.query.empty() ? state.currentQuery : tag.query;
}

std::shared_ptr<dao::Recordset> openQuery(const check::CheckState& state,
                                          const std::string& query) {
  if (!state.database) throw jet::invalidObject();
  return state.database->OpenRecordset(query);
}

// A recordset standing on the row a line shows. The line's query finds it while its value
// is still defective; a row that an earlier rewrite took out of the query is found among
// all rows of its column, so a line can be repaired again.
std::shared_ptr<dao::Recordset> openOnLine(const check::CheckState& state, const LineTag& tag) {
  const std::string query = queryOfLine(state, tag);
  auto rs = openQuery(state, query);
  try {
    rs->SetBookmark(tag.bookmark);
    return rs;
  } catch (const jet::Error& notInQuery) {
    const auto where = check::queryColumn(query);
    if (!where) throw;
    closeQuietly(*rs);
    auto all = openQuery(state, check::columnQuery(where->table, where->column));
    try {
      all->SetBookmark(tag.bookmark);
    } catch (const jet::Error&) {
      throw notInQuery;
    }
    return all;
  }
}

// One repair command's changes, landing together or not at all: one whole batch of the
// engine, the undo of what the command replaces, and the list's lines, staged until then.
// commit() puts the undo log (the console's file) in place first, then passes the
// engine's commit point, then shows the lines, keeps the undo for Ctrl+Z and lets the
// column's node show its new count. Leaving without commit() takes the batch back, drops
// the staged lines and the log. A command that wrote nothing leaves the previous undo.
class RepairScope {
 public:
  RepairScope(RepairState& state, Controls& ui, const std::string& query)
      : state_(state), ui_(ui), db_(state.database), batch_(std::in_place, *db_) {
    if (const auto where = check::queryColumn(query)) {
      log_.table = where->table;
      log_.column = where->column;
      known_ = true;
    }
  }
  ~RepairScope() {
    if (landed_) return;
    batch_.reset();
    ui_.list.dropStaged();
    if (began_) state_.undoFile->abandon();
  }
  RepairScope(const RepairScope&) = delete;
  RepairScope& operator=(const RepairScope&) = delete;

  // A row the command changed, in the order written.
  void written(std::string bookmark, jet::Value before, jet::Value after) {
    ++count_;
    if (!known_) return;
    UndoEntry e{std::move(bookmark), std::move(before), std::move(after)};
    if (!state_.undoFile) {
      if (state_.keepsUndo) log_.entries.push_back(std::move(e));
      return;
    }
    if (!began_) {
      state_.undoFile->begin(log_.table, log_.column);
      began_ = true;
    }
    state_.undoFile->add(e);
  }
  int64_t count() const { return count_; }

  // A failure after the commit point is told in result: the changes are in the file.
  void commit(check::Result& result) {
    if (began_) state_.undoFile->prepare();
    try {
      batch_->commit();
    } catch (const jet::AfterCommit& e) {
      result.refuse(e.description(), e.number());
    }
    landed_ = true;
    ui_.list.applyStaged();
    if (count_ == 0 || !known_) return;
    const std::string table = log_.table, column = log_.column;
    if (!state_.undoFile && state_.keepsUndo) state_.setUndo(std::make_shared<UndoLog>(std::move(log_)));
    try {
      followCount(state_, ui_, table, column);
    } catch (...) {
      // The count is only shown; the repair itself stands.
    }
  }

 private:
  RepairState& state_;
  Controls& ui_;
  std::shared_ptr<dao::Database> db_;
  std::optional<BatchGuard> batch_;
  UndoLog log_;
  bool known_ = false;   // the query names its table and column
  bool began_ = false;   // the console's undo file has this command's log
  bool landed_ = false;
  int64_t count_ = 0;
};

// The walk both batch commands are: every row of the query that a line shows, in the
// order of the lines, gets `value` of its stored value, in one batch that lands whole at
// the end or, when the operator stops it or anything but a row's own refusal fails, not
// at all. A refused row is skipped and counted. A cleared row's line goes; any other
// listed row's line shows what the row holds once the batch has landed.
struct Rewrite {
  const char* what;  // the command, as the progress names it
  bool clears;       // BatchClear: changes end at the first refusal, which alone is told
  std::function<dao::Variant(const jet::Value&)> value;
};

void rewriteListedRows(RepairState& state, Controls& ui, const Rewrite& how,
                       check::Result& result) {
  const int selected = ui.list.listIndex();
  if (ui.list.text().empty()) return;
  const std::string query = queryOfLine(state, ui.list.tag(selected));
  check::BusyScope busy(ui.events);
  ClosingRecordset rs(openQuery(state, query));
  rs->CheckWritable();  // a damaged table is refused before anything changes
  RepairScope scope(state, ui, query);
  const auto where = check::queryColumn(query);
  check::ProgressMeter meter(ui.events,
                             std::string(how.what) + "字段 '" + (where ? where->column : "") + "'",
                             rs->RecordCount());
  const auto field = rs->Fields(0);
  int64_t refused = 0;
  std::optional<jet::Error> refusal;
  // The text of the last stored value: a date rewrite stores the same value in every row.
  jet::Value shownValue;
  std::string shownText;
  int next = 0;
  for (; !rs->Eof(); rs->MoveNext()) {
    if (!meter.step()) {
      result.notify(msg::kCancelled);
      return;  // the scope takes everything back
    }
    std::string bookmark = rs->Bookmark();
    const int line = ui.list.findLine(bookmark, query, next);
    if (line < 0) continue;
    next = line + 1;
    jet::Value was;
    bool saved = false;
    if (!(how.clears && refusal)) {
      try {
        was = field->Value();
        writeValue(*rs.rs, *field, how.value(was));
        saved = true;
      } catch (const jet::BatchLost&) {
        throw;
      } catch (const jet::Error& e) {
        ++refused;
        refusal = e;
      }
    }
    if (saved && how.clears) {
      scope.written(std::move(bookmark), std::move(was), jet::Value::null());
      ui.list.stageRemoval(line);
      continue;
    }
    jet::Value stored = field->Value();
    if (!(stored == shownValue) || shownText.empty()) {
      shownText = stored.toText();
      shownValue = stored;
    }
    if (saved) scope.written(std::move(bookmark), std::move(was), std::move(stored));
    ui.list.stageItem(line, shownText);
  }
  meter.finish();
  scope.commit(result);
  result.changed = scope.count();
  if (!refusal) return;
  if (how.clears)
    result.refuse(refusal->description(), refusal->number());
  else
    result.refuse(std::to_string(refused) + msg::kRowsNotUpdated + refusal->description());
}

}  // namespace

check::Result Clear(RepairState& state, Controls& ui) {
  return reporting([&](check::Result& result) {
    const int line = ui.list.listIndex();
    if (ui.list.text().empty()) return;
    const LineTag tag = ui.list.tag(line);
    ClosingRecordset rs;
    std::optional<RepairScope> scope;
    try {
      rs.rs = openOnLine(state, tag);
      scope.emplace(state, ui, queryOfLine(state, tag));
      const auto field = rs->Fields(0);
      jet::Value before = field->Value();
      writeValue(*rs.rs, *field, dao::Variant::null());
      scope->written(rs->Bookmark(), std::move(before), jet::Value::null());
    } catch (const jet::BatchLost&) {
      throw;
    } catch (const jet::Error& e) {
      if (e.number() > 0) {
        result.refuse(e.description(), e.number());
        return;
      }
    }
    ui.list.stageRemoval(line);
    if (!scope) {
      ui.list.applyStaged();
      return;
    }
    scope->commit(result);
    result.changed = scope->count();
  });
}

check::Result Update(RepairState& state, Controls& ui) {
  return reporting([&](check::Result& result) {
    const check::Answer asked = state.kind->askValue(ui.dialogs, ui.list.text());
    if (asked.refusal) {
      result.refuse(asked.refusal);
      return;
    }
    const std::string& answer = asked.value;
    const int line = ui.list.listIndex();
    if (ui.list.text().empty()) return;
    const LineTag tag = ui.list.tag(line);
    ClosingRecordset rs(openOnLine(state, tag));
    RepairScope scope(state, ui, queryOfLine(state, tag));
    bool refused = false;
    try {
      const auto field = rs->Fields(0);
      jet::Value before = field->Value();
      writeValue(*rs.rs, *field, dao::Variant(answer));
      scope.written(rs->Bookmark(), std::move(before), field->Value());
    } catch (const jet::BatchLost&) {
      throw;
    } catch (const jet::Error& e) {
      // A refused value is no success: say why, and keep showing what is stored.
      result.refuse(e.description(), e.number());
      refused = true;
    }
    try {
      ui.list.stageItem(line, rs->Fields(0)->Value().toText());
    } catch (const jet::Error&) {
      if (!refused) throw;  // one message per command
    }
    scope.commit(result);
    result.changed = scope.count();
  });
}

check::Result BatchClear(RepairState& state, Controls& ui) {
  return reporting([&](check::Result& result) {
    rewriteListedRows(state, ui,
                      {"批量清空", true, [](const jet::Value&) { return dao::Variant::null(); }},
                      result);
  });
}

check::Result BatchUpdate(RepairState& state, Controls& ui) {
  return reporting([&](check::Result& result) {
    const check::CheckKind& kind = *state.kind;
    const std::string chars = state.checkChars;
    const check::Answer asked = kind.askRewrite(ui.dialogs, chars);
    if (asked.refusal) {
      result.refuse(asked.refusal);
      return;
    }
    const std::string answer = asked.value;
    rewriteListedRows(state, ui,
                      {"批量更新", false,
                       [&](const jet::Value& was) { return kind.rewrite(was, answer, chars); }},
                      result);
  });
}

}  // namespace repair
