#pragma once
// What an open does about a write that was interrupted: a file left with its rollback
// journal (`<path>-journal`) holds pages of an unfinished commit and must not be read as
// it stands.
//
// REQUIRES: the database file open and locked (shared for reading, exclusive for writing).
// GUARANTEES: a read-write open rolls a hot journal back (journal/Journal.h) and removes
// the journal, or fails with a jet::Error that says why and what to do; a read-only open
// writes nothing and returns what a rollback would restore (for Pager::setRolledBack),
// leaving the journal in place.
#include <optional>
#include <string>

#include "jet/journal/Journal.h"
#include "jet/os/Env.h"

namespace jet {

std::string journalPathFor(const std::string& databasePath);

std::optional<journal::RolledBack> recoverInterruptedWrite(os::Env& env, const std::string& path,
                                                           os::File& file, bool writable);

}  // namespace jet
