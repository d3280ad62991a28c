#include "repair/Commands.h"

#include <chrono>
#include <exception>
#include <optional>
#include <vector>
#include <unordered_map>

#include "check/Messages.h"
#include "check/Queries.h"
#include "check/Reporting.h"
#include "check/Text.h"
#include "data/Dao.h"
#include "jet/DateTime.h"
#include "jet/Error.h"
#include "repair/Follow.h"
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

// Closes the recordset when the command ends, however it ends.
struct ClosingRecordset {
  std::shared_ptr<dao::Recordset> rs;
  ~ClosingRecordset() {
    if (!rs) return;
    try {
      rs->Close();
    } catch (...) {
    }
  }
  dao::Recordset* operator->() const { return rs.get(); }
};

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
    try {
      rs->Close();
    } catch (...) {
    }
    auto all = openQuery(state, check::columnQuery(where->table, where->column));
    try {
      all->SetBookmark(tag.bookmark);
    } catch (const jet::Error&) {
      throw notInQuery;
    }
    return all;
  }
}

void dropEdit(dao::Recordset& rs) {
  try {
    rs.CancelUpdate();
  } catch (...) {
  }
}

// Groups the rows of a walk into commits, at least every quarter second and at the end.
// A row's line may only show its new state once the row is durable: a commit that fails
// leaves the rows since the previous commit as they were on disk (the next open rolls them
// back), so the list must keep showing them as they were.
template <typename Change>
class GroupedWalk {
 public:
  GroupedWalk(std::shared_ptr<dao::Database> db, check::EventPump& pump)
      : db_(std::move(db)), pump_(pump) {
    db_->BeginBatch();
    last_ = std::chrono::steady_clock::now();
  }
  ~GroupedWalk() {
    if (open_) {
      try {
        db_->CommitBatch();
      } catch (...) {
      }
    }
  }
  // A row saved in the current group.
  void saved(Change change) { pending_.push_back(std::move(change)); }
  // Commits when the group is old enough; durable(change) runs for each of its rows.
  template <typename Durable>
  void tick(Durable&& durable) {
    if (std::chrono::steady_clock::now() - last_ < std::chrono::milliseconds(250)) return;
    commit(durable);
    db_->BeginBatch();
    open_ = true;
    pump_.paint();  // the lines rewritten so far show while the walk goes on
    last_ = std::chrono::steady_clock::now();
  }
  // The last commit. On failure lost(change) runs for each row of the group, and the
  // failure is passed on.
  template <typename Durable, typename Lost>
  void finish(Durable&& durable, Lost&& lost) {
    try {
      commit(durable);
    } catch (const jet::Error&) {
      for (Change& c : pending_) lost(c);
      pending_.clear();
      throw;
    }
  }

 private:
  template <typename Durable>
  void commit(Durable& durable) {
    open_ = false;
    db_->CommitBatch();
    for (Change& c : pending_) durable(c);
    pending_.clear();
  }

  std::shared_ptr<dao::Database> db_;
  check::EventPump& pump_;
  std::vector<Change> pending_;
  std::chrono::steady_clock::time_point last_;
  bool open_ = true;
};

// Collects what a command replaces. When the command ends, however it ends, the values
// that were durably written become the undo of the last command and the column's node
// shows its new count; a command that wrote nothing leaves the previous undo in place.
class UndoRecorder {
 public:
  UndoRecorder(check::CheckState& state, Controls& ui, const std::string& query)
      : state_(state), ui_(ui) {
    if (const auto where = check::queryColumn(query)) {
      log_.table = where->table;
      log_.column = where->column;
      known_ = true;
    }
  }
  ~UndoRecorder() {
    if (log_.entries.empty() || !known_) return;
    try {
      state_.undo = std::make_shared<UndoLog>(std::move(log_));
      followCount(state_, ui_, state_.undo->table, state_.undo->column);
    } catch (...) {
      // The count is only shown; the repair itself stands.
    }
  }
  UndoRecorder(const UndoRecorder&) = delete;
  UndoRecorder& operator=(const UndoRecorder&) = delete;

  void written(std::string bookmark, jet::Value before, jet::Value after) {
    log_.entries.push_back({std::move(bookmark), std::move(before), std::move(after)});
  }

 private:
  check::CheckState& state_;
  Controls& ui_;
  UndoLog log_;
  bool known_ = false;
};

// The line showing the row with this identity, looked for first where the walk expects it.
int findLine(const check::ResultList& list, const std::string& bookmark, const std::string& query,
             int hint) {
  const int n = list.count();
  for (int k = 0; k < n; ++k) {
    const int i = (hint + k) % n;
    const LineTag tag = list.tag(i);
    if (tag.bookmark == bookmark && tag.query == query) return i;
  }
  return -1;
}

}  // namespace

check::Result Clear(check::CheckState& state, Controls& ui) {
  return reporting([&](check::Result& result) {
    const int line = ui.list.listIndex();
    if (ui.list.text().empty()) return;
    const LineTag tag = ui.list.tag(line);
    UndoRecorder undo(state, ui, queryOfLine(state, tag));
    ClosingRecordset rs;
    try {
      rs.rs = openOnLine(state, tag);
      jet::Value before = rs->Fields(0)->Value();
      rs->Edit();
      rs->Fields(0)->SetValue(dao::Variant::null());
      rs->Update(dao::dbUpdateRegular, false);
      undo.written(rs->Bookmark(), std::move(before), jet::Value::null());
      result.changed = 1;
    } catch (const jet::Error& e) {
      if (rs.rs) dropEdit(*rs.rs);
      if (e.number() > 0) {
        result.refuse(e.description(), e.number());
        return;
      }
    }
    ui.list.removeItem(line);
  });
}

check::Result Update(check::CheckState& state, Controls& ui) {
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
    UndoRecorder undo(state, ui, queryOfLine(state, tag));
    ClosingRecordset rs;
    rs.rs = openOnLine(state, tag);
    bool refused = false;
    try {
      jet::Value before = rs->Fields(0)->Value();
      rs->Edit();
      rs->Fields(0)->SetValue(dao::Variant(answer));
      rs->Update(dao::dbUpdateRegular, false);
      undo.written(rs->Bookmark(), std::move(before), rs->Fields(0)->Value());
      result.changed = 1;
    } catch (const jet::Error& e) {
      // A refused value is no success: say why, and keep showing what is stored.
      dropEdit(*rs.rs);
      result.refuse(e.description(), e.number());
      refused = true;
    }
    try {
      ui.list.setItem(line, rs->Fields(0)->Value().toText());
    } catch (const jet::Error&) {
      if (!refused) throw;  // one message per command
    }
  });
}

check::Result BatchClear(check::CheckState& state, Controls& ui) {
  return reporting([&](check::Result& result) {
    const int selected = ui.list.listIndex();
    if (ui.list.text().empty()) return;
    const std::string query = queryOfLine(state, ui.list.tag(selected));
    UndoRecorder undo(state, ui, query);
    check::BusyScope busy(ui.events);
    ClosingRecordset rs;
    rs.rs = openQuery(state, query);
    rs->CheckWritable();  // a damaged table is refused before anything changes
    // Only rows the list shows are cleared, and a line goes once its row is durably Null.
    struct Cleared {
      std::string bookmark;
      jet::Value before;
    };
    int hint = 0;
    const auto removeLine = [&](Cleared& c) {
      undo.written(c.bookmark, std::move(c.before), jet::Value::null());
      ++result.changed;
      const int line = findLine(ui.list, c.bookmark, query, hint);
      if (line < 0) return;
      ui.list.removeItem(line);
      hint = line;
    };
    const auto keepLine = [](const Cleared&) {};
    GroupedWalk<Cleared> walk(state.database, ui.events);
    const auto field = rs->Fields(0);
    std::optional<jet::Error> failure;
    try {
      while (!rs->Eof()) {
        std::string bookmark = rs->Bookmark();
        if (findLine(ui.list, bookmark, query, hint) >= 0) {
          jet::Value before = field->Value();
          rs->Edit();
          field->SetValue(dao::Variant::null());
          rs->Update(dao::dbUpdateRegular, false);
          walk.saved(Cleared{std::move(bookmark), std::move(before)});
          walk.tick(removeLine);
        }
        rs->MoveNext();
      }
    } catch (const jet::Error& e) {
      dropEdit(*rs.rs);
      failure = e;
    }
    // The rows cleared before a refusal stay cleared: commit them, then report.
    try {
      walk.finish(removeLine, keepLine);
    } catch (const jet::Error& e) {
      if (!failure) failure = e;
    }
    if (failure) throw *failure;
  });
}

check::Result BatchUpdate(check::CheckState& state, Controls& ui) {
  return reporting([&](check::Result& result) {
    const check::CheckKind& kind = *state.kind;
    const std::string chars = state.checkChars;
    const check::Answer asked = kind.askRewrite(ui.dialogs, chars);
    if (asked.refusal) {
      result.refuse(asked.refusal);
      return;
    }
    const std::string& answer = asked.value;
    const int selected = ui.list.listIndex();
    if (ui.list.text().empty()) return;
    const std::string query = queryOfLine(state, ui.list.tag(selected));

    // Rows and lines are matched by identity, so every line gets its own row's value
    // however many rows there are and whatever left the query before. The walk meets the
    // rows in the order of the lines, so the next line is tried before the lookup.
    std::vector<std::string> bookmarkOf(ui.list.count());
    std::unordered_map<std::string, int> lineOf;
    for (int i = 0; i < ui.list.count(); ++i) {
      LineTag tag = ui.list.tag(i);
      if (tag.query != query) continue;
      lineOf.emplace(tag.bookmark, i);
      bookmarkOf[i] = std::move(tag.bookmark);
    }
    size_t next = 0;
    const auto findRowLine = [&](const std::string& bookmark) -> int {
      if (next < bookmarkOf.size() && bookmarkOf[next] == bookmark) return static_cast<int>(next++);
      const auto it = lineOf.find(bookmark);
      if (it == lineOf.end()) return -1;
      next = it->second + 1;
      return it->second;
    };

    std::optional<UndoRecorder> undo(std::in_place, state, ui, query);
    std::optional<check::BusyScope> busy(std::in_place, ui.events);
    ClosingRecordset rs;
    rs.rs = openQuery(state, query);
    rs->CheckWritable();  // a damaged table is refused before anything changes
    struct Rewritten {
      int line;
      std::string before;  // the line's text
      std::string bookmark;
      jet::Value was, now;  // the row's value before and after
    };
    int64_t refused = 0;
    std::string lastRefusal;
    const auto durable = [&](Rewritten& r) {
      undo->written(std::move(r.bookmark), std::move(r.was), std::move(r.now));
      ++result.changed;
    };
    const auto lost = [&](const Rewritten& r) {
      ui.list.setItem(r.line, r.before);
      ++refused;
    };
    GroupedWalk<Rewritten> walk(state.database, ui.events);
    const auto field = rs->Fields(0);
    // The text of the last stored value: a date rewrite stores the same value in every row.
    jet::Value shownValue;
    std::string shownText;
    std::string walkEnded;
    try {
      while (!rs->Eof()) {
        std::string bookmark = rs->Bookmark();
        const int line = findRowLine(bookmark);
        if (line >= 0) {
          bool saved = false;
          jet::Value was;
          try {
            was = field->Value();
            rs->Edit();
            field->SetValue(kind.rewrite(was, answer, chars));
            rs->Update(dao::dbUpdateRegular, false);
            saved = true;
          } catch (const jet::Error& e) {
            dropEdit(*rs.rs);
            ++refused;
            lastRefusal = e.description();
          }
          std::string before = ui.list.item(line);
          jet::Value now;
          try {
            jet::Value stored = field->Value();
            now = stored;
            if (!(stored == shownValue) || shownText.empty()) {
              shownText = stored.toText();
              shownValue = std::move(stored);
            }
            ui.list.setItem(line, shownText);
          } catch (const jet::Error& e) {
            if (saved) ++refused;
            saved = false;
            lastRefusal = e.description();
          }
          if (saved)
            walk.saved(Rewritten{line, std::move(before), std::move(bookmark), std::move(was),
                                 std::move(now)});
          walk.tick(durable);
        }
        rs->MoveNext();
      }
    } catch (const jet::Error& e) {
      // The walk cannot go on (the end test or the move failed): stop rather than loop.
      walkEnded = e.description();
    }
    try {
      walk.finish(durable, lost);
    } catch (const jet::Error& e) {
      lastRefusal = e.description();
    }
    undo.reset();  // the count follows before the messages
    busy.reset();
    if (refused > 0)
      result.refuse(std::to_string(refused) + msg::kRowsNotUpdated + lastRefusal);
    if (!walkEnded.empty()) result.refuse(walkEnded);
  });
}

}  // namespace repair
