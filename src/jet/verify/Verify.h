#pragma once
// The structural check of a whole file, run by `mdbcheck-cli verify` and after every write
// test: page types, slot tables and free space, rows that parse, forwarding pointers (none
// dangling, none shared, no target without its pointer), usage maps against the pages
// that really belong to each table, the global map against every page in use, and row
// counts against the table definitions.
//
// REQUIRES: a database open in either mode. GUARANTEES: never writes; a damaged file
// yields problems, never a crash.
#include <string>
#include <vector>

namespace jet {
class JetDatabase;
}

namespace jet::write {

// Each problem as one readable line (Chinese), empty when the file is sound.
std::vector<std::string> verifyStructure(JetDatabase& db);

}  // namespace jet::write
