#pragma once
// What the last repair command replaced, and the way back. Every repair command that
// changes at least one value leaves an UndoLog in CheckState: the column, and for each row
// it changed (by the row's identity) the value before and the value it stored. Putting the
// log back writes the old values through the same recordset path as the repairs, in one
// batch that lands whole or not at all.
//
// The log also travels as a file, so that the console tool can take back a repair later:
// one line per record, words separated by blanks, every text in hex so that no character
// of a value can break a line.
#include <cstddef>
#include <string>
#include <vector>

#include "check/CheckState.h"
#include "check/Controls.h"
#include "check/Result.h"
#include "jet/Value.h"

namespace dao {
class Database;
}

namespace repair {

struct UndoEntry {
  std::string bookmark;  // the row's identity, as the recordset gives it
  jet::Value before;     // the value the command replaced
  jet::Value after;      // the value the command stored
};

struct UndoLog {
  std::string table;
  std::string column;
  std::vector<UndoEntry> entries;  // in the order they were written
};

// Puts `before` back into every row of the log, the last written first, in one whole
// batch through the recordset path. Every row must still hold its `after` value: a row
// changed since (or gone) refuses the whole undo before anything is written. Returns how
// many values were restored. On any failure nothing is changed and a jet::Error says why.
size_t restore(dao::Database& db, const UndoLog& log);

// The window's "撤销" (Ctrl+Z): restores what the last repair command replaced, forgets the
// log, shows the column's defective values again and follows the tree's count. Never
// throws; returns the count of values put back and, for the caller to show, a notice that
// tells it, or the refusal that says why nothing was undone.
check::Result Undo(check::CheckState& state, check::Controls& ui);

// The log as a file. write replaces `path` whole (a crash leaves the old file or the new
// one); read fails with a jet::Error naming the file when it is no undo log.
void writeUndoFile(const std::string& path, const UndoLog& log);
UndoLog readUndoFile(const std::string& path);

}  // namespace repair
