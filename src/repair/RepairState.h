#pragma once
// What the repair commands keep between commands, on top of the check's state: the undo
// of the last repair and, on the console, the file its log goes to. The window and the
// console tool hold one; the check commands take it as the CheckState it also is.
#include <memory>

#include "check/CheckState.h"

namespace repair {

struct UndoLog;
class UndoFile;

class RepairState : public check::CheckState {
 public:
  // What the last repair command replaced, while the file it changed stays open: none
  // once another file is opened or the window is unloaded.
  std::shared_ptr<UndoLog> undo() const {
    const std::shared_ptr<dao::Database> changed = undoOf_.lock();
    if (!changed || changed != database) undo_.reset();  // its file is closed: let go
    return undo_;
  }
  // The log of a repair that has just landed on `database`, replacing the last one.
  void setUndo(std::shared_ptr<UndoLog> log) {
    undo_ = std::move(log);
    undoOf_ = database;
  }
  void forgetUndo() {
    undo_.reset();
    undoOf_.reset();
  }

  // The console's --undo-log: when set, a repair command writes what it replaces there,
  // in place before its commit point, instead of keeping it for undo().
  std::shared_ptr<UndoFile> undoFile;
  // Whether a repair keeps its undo at all: the console tool, which runs one command and
  // ends, keeps none (a batch's undo would grow with the batch).
  bool keepsUndo = true;

 private:
  mutable std::shared_ptr<UndoLog> undo_;
  std::weak_ptr<dao::Database> undoOf_;  // the open file the repair changed
};

}  // namespace repair
