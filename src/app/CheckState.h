#pragma once
// The main window's state record. It holds no Qt type, so the check and repair commands,
// which read and write it, build and run without a screen.
//
// `database` and `workspace` are none whenever no file is open: an open that replaces the
// file, fails, or the unload closes them and lets go of them.
#include <cstdint>
#include <memory>
#include <string>

namespace dao {
class Database;
class Workspace;
class TableDef;
class Field;
}  // namespace dao

namespace repair {
struct UndoLog;
}  // namespace repair

namespace app {

// The special characters checked until the operator edits them.
inline constexpr const char* kDefaultCheckChars = "-+*/#%<>:,{=''";

struct CheckState {
  std::shared_ptr<dao::Database> database;
  std::shared_ptr<dao::Workspace> workspace;
  std::shared_ptr<dao::TableDef> currentTableDef;
  std::shared_ptr<dao::Field> currentField;
  std::string currentQuery;
  std::string checkChars;
  int16_t charMode = 0;  // 16-bit Boolean: 0 is False, any other value True (-1 when set)

  // Bumped whenever a command replaces the database, the tree or the list, so that a scan
  // resuming after its yield can tell that the world changed under it.
  uint64_t generation = 0;

  // What the last repair command replaced, while the file it changed stays open; opening
  // a file or closing the window forgets it.
  std::shared_ptr<repair::UndoLog> undo;
};

}  // namespace app
