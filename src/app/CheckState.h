#pragma once
// The main window's state record. It holds no Qt type, so the check and repair commands,
// which read and write it, build and run without a screen.
//
// Closing `database` or `workspace` does not reset the field: a closed object stays held
// until the window unloads, and the first operation on it fails with 3420.
#include <cstdint>
#include <memory>
#include <string>

namespace dao {
class Database;
class Workspace;
class TableDef;
class Field;
}  // namespace dao

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
};

}  // namespace app
