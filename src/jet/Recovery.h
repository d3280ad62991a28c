#pragma once
// What an open does about a write that was interrupted: a file left with its rollback
// journal (`<path>-journal`) holds pages of an unfinished commit and must not be read as
// it stands.
//
// REQUIRES: the database file open and locked (shared for reading, exclusive for writing).
// GUARANTEES: on return the file may be read as a consistent database; otherwise a
// jet::Error. A read-write open rolls a hot journal back (journal/Journal.h); a read-only
// open refuses a hot journal and ignores a cleared one.
#include <string>

#include "jet/os/Env.h"

namespace jet {

std::string journalPathFor(const std::string& databasePath);

void recoverInterruptedWrite(os::Env& env, const std::string& path, os::File& file, bool writable);

}  // namespace jet
