#pragma once
// What the last repair command replaced, and the way back. Every repair command that
// changes at least one value leaves an UndoLog in RepairState: the column, and for each row
// it changed (by the row's identity) the value before and the value it stored. Putting the
// log back writes the old values through the same recordset path as the repairs, in one
// batch that lands whole or not at all.
//
// The log also travels as a file (the console tool's --undo-log), so that a repair can be
// taken back later: one line per record, words separated by blanks, every text in hex so
// that no character of a value can break a line. A command writes it as it goes, and it is
// complete, synced and in place before the command's commit point: a repair in the file
// always has its log. A repair that does not land removes it; should the process die
// between the two, the rows still hold the log's "before" values, which the undo notices.
// The file is read and written through the engine's Env, so the same faults reach it.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "check/Controls.h"
#include "check/Result.h"
#include "jet/Value.h"
#include "jet/os/Env.h"
#include "repair/RepairState.h"

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
// changed since (or gone) refuses the whole undo before anything is written, and so does
// a log whose rows all hold their `before` values already (undone, or never written).
// Returns how many values were restored; 0 when `meter` says the operator stopped it.
// On any failure nothing is changed and a jet::Error says why.
size_t restore(dao::Database& db, const UndoLog& log, check::ProgressMeter* meter = nullptr);

// The window's "撤销" (Ctrl+Z): restores what the last repair command replaced, forgets the
// log, shows the column's defective values again and follows the tree's count. Never
// throws; returns the count of values put back and, for the caller to show, a notice that
// tells it, or the refusal that says why nothing was undone.
check::Result Undo(RepairState& state, check::Controls& ui);

// The console's --undo-log: the log of one repair command, written to `path` as the
// command runs. Every failure is a jet::Error in Chinese naming the file, with the DAO
// number of the system's failure (3026 a full disk, 3043 another).
class UndoFile {
 public:
  UndoFile(jet::os::Env& env, std::string path);
  ~UndoFile();  // an unfinished log is removed
  UndoFile(const UndoFile&) = delete;
  UndoFile& operator=(const UndoFile&) = delete;

  const std::string& path() const { return path_; }
  // Starts the log of a command on `table`.`column`, beside `path` until prepare().
  void begin(const std::string& table, const std::string& column);
  void add(const UndoEntry& entry);
  // Before the command's commit point: the log complete and synced, then in place at
  // `path` (replacing what was there) and the folder synced.
  void prepare();
  // The command's changes did not land: the log that would claim them goes. False when it
  // could not be removed (the caller says so).
  bool abandon() noexcept;
  // The log of a command that changed nothing on `table`.`column`, in place at once.
  void writeEmpty(const std::string& table, const std::string& column);
  // Whether the last command's log is in place.
  bool prepared() const { return prepared_; }

 private:
  void flush();
  void removeQuietly(const std::string& path) noexcept;
  [[noreturn]] void failed(const jet::os::IoError& e) const;

  jet::os::Env& env_;
  std::string path_;
  std::string temp_;
  std::unique_ptr<jet::os::File> file_;
  std::string buffer_;
  uint64_t written_ = 0;
  size_t count_ = 0;
  bool tempMade_ = false;  // the unfinished log may lie beside `path`
  bool prepared_ = false;
};

// The log as a file at once: write replaces `path` whole (a crash leaves the old file or
// the new one); read fails with a jet::Error naming the file when it is no undo log.
void writeUndoFile(const std::string& path, const UndoLog& log,
                   jet::os::Env& env = jet::os::Env::system());
UndoLog readUndoFile(const std::string& path, jet::os::Env& env = jet::os::Env::system());

}  // namespace repair
