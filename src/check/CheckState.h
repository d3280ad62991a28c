#pragma once
// The state the check and repair commands share: the open file, the query behind the
// list, the check's kind and special characters. It holds no Qt type; the window keeps one,
// the console tool another, and tests their own.
//
// `database` and `workspace` are none whenever no file is open: an open that replaces the
// file, fails, or the unload closes them and lets go of them.
#include <cstdint>
#include <memory>
#include <string>

#include "check/CheckKind.h"

namespace dao {
class Database;
class Workspace;
}  // namespace dao

namespace check {

// The special characters checked until the operator edits them.
inline constexpr const char* kDefaultCheckChars = "-+*/#%<>:,{=''";

struct CheckState {
  std::shared_ptr<dao::Database> database;
  std::shared_ptr<dao::Workspace> workspace;
  std::string currentQuery;
  std::string checkChars;
  const CheckKind* kind = &kDateCheck;  // the toolbar's last choice; dates until then

  // Bumped whenever a command replaces the database, the tree or the list, so that a scan
  // resuming after its yield can tell that the world changed under it.
  uint64_t generation = 0;
};

}  // namespace check
