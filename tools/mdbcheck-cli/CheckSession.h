#pragma once
// The window's check and repair commands on the console: the same command code runs on
// in-memory controls, the operator's answers come from the command line, and every message
// of a command's result, which the window would show in a box, goes to stderr.
#include <optional>
#include <string>

#include <iostream>

#include "Command.h"
#include "ConsoleList.h"
#include "check/MemoryControls.h"
#include "check/Result.h"
#include "repair/RepairState.h"

namespace cli {

// What follows the positional arguments: --dates | --chars [CHARS], the answers
// (--date D, --mode M) of the batch rewrite, and where a repair writes the values it
// replaces (--undo-log LOG).
struct CheckOptions {
  const check::CheckKind* kind = &check::kDateCheck;
  std::optional<std::string> chars;  // as typed; the editor's rules apply to it
  std::optional<std::string> date;
  std::optional<std::string> mode;
  std::optional<std::string> undoLog;
};

// Parses the options from args[first] on; on a mistake prints usage and returns nothing.
std::optional<CheckOptions> parseCheckOptions(const Args& args, size_t first,
                                              const std::string& usage);
// A command's `positional` arguments (FILE TABLE COLUMN ...) and the options after them;
// on a mistake prints usage and returns nothing.
std::optional<CheckOptions> parseCheckCommand(const Args& args, size_t positional,
                                              const std::string& usage);

// The window's controls on the console: the list prints, the rest is kept in memory.
struct ConsoleControls {
  check::MemoryTree tree;
  ConsoleList list{std::cout};
  check::MemoryStatusBar status;
  check::ScriptedDialogs dialogs;
  check::ScriptedEvents events;
  check::Controls controls{tree, list, status, dialogs, events};
};

class CheckSession {
 public:
  CheckSession();
  ~CheckSession();

  // Opens FILE, sets the check mode and the special characters. False after a message.
  // With an undo log, the repairs write what they replace to it.
  bool start(const std::string& file, const CheckOptions& options);
  // For a batch over the whole list: the list keeps no values, and prints each line as
  // the batch gives it its value (call before drillDown).
  void streamList() { ui.list.setStreaming(true); }
  // Lists the defective values of one column, as a click on its node does. A column the
  // scan would not check (unknown, of another type, in a linked or system table) is
  // refused with a message naming it.
  bool drillDown(const std::string& table, const std::string& column);
  // start() on FILE, then drillDown() on TABLE COLUMN (args[0..2]).
  bool startOnColumn(const Args& args, const CheckOptions& options);
  // For a batch over the whole list of TABLE COLUMN: the list streams, the column is
  // listed and must be repairable, and its first line, if any, is selected.
  bool startBatch(const Args& args, const CheckOptions& options);
  // Before a batch over the column: the file and the column's table read whole (a file
  // cut short or a damaged table is refused here, even when nothing is listed).
  bool repairable(const std::string& table, const std::string& column);
  // Selects line LINE (from 0) of the list; false (with a message) when there is no such
  // line.
  bool selectLine(const std::string& line);

  // After a repair command: its undo log is in place already when it changed something;
  // an empty log is written when it changed nothing. False after a message.
  bool saveUndo(const CheckOptions& options, const std::string& table, const std::string& column);
  // A repair command's end on TABLE COLUMN (args[1..2]): its result taken, its undo log
  // saved, the list printed; returns the exit status.
  int finishRepair(const check::Result& result, const CheckOptions& options, const Args& args);

  // Takes a command's result: prints its messages to stderr, in order; a refusal makes the
  // session fail. True when there was none.
  bool took(const check::Result& result);
  // True once a command was refused or the session refused something itself.
  bool failed() const { return failed_; }
  int exitCode() const { return failed_ ? 1 : 0; }

  void printTree() const;
  void printList() const;

  repair::RepairState state;
  ConsoleControls ui;

 private:
  bool isCandidate(const std::string& table, const std::string& column);
  bool failed_ = false;
  int64_t changed_ = 0;  // by the last command taken
};

}  // namespace cli
