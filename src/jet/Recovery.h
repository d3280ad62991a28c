#pragma once
// Opening a database file for its pager, and what an open does about a write that was
// interrupted: a file left with its rollback journal (`<path>-journal`) holds pages of an
// unfinished commit and must not be read as it stands.
//
// The engine's one road in: openLocked(), then (after whatever must be refused before a
// rollback writes anything, such as a wrong password) recoverInterruptedWrite(), then a
// Pager over the file, given the rolled-back images when there are any (Pager.h).
//
// GUARANTEES: openLocked() returns the file locked, exclusively for writing and shared for
// reading, or fails: 3024 no such file, 3045 another holder, 3051 a read-only file system,
// 3343 a folder, any other refusal of the system as the Env reports it. A read-write recovery rolls a hot journal back (journal/Journal.h) and
// removes the journal, or fails with a jet::Error that says why and what to do; a read-only
// one writes nothing and returns what a rollback would restore (for Pager::setRolledBack),
// leaving the journal in place.
#include <memory>
#include <optional>
#include <string>

#include "jet/journal/Journal.h"
#include "jet/os/Env.h"

namespace jet {

std::string journalPathFor(const std::string& databasePath);

std::unique_ptr<os::File> openLocked(os::Env& env, const std::string& path, bool writable);

// REQUIRES: file is path opened by openLocked() with the same `writable`.
std::optional<journal::RolledBack> recoverInterruptedWrite(os::Env& env, const std::string& path,
                                                           os::File& file, bool writable);

}  // namespace jet
