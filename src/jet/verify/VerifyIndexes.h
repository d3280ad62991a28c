#pragma once
// The index part of `mdbcheck-cli verify`: for every real index of every local table, the
// tree's shape (IndexTree.h), entries in ascending order, every live row found through the
// index by its RowId with exactly the key bytes computed from its current values, no entry
// without its live row, and no two rows with the same non-Null key in a unique index.
// Where a key cannot be computed (a non-Null value in a sort order we do not encode),
// everything but the key bytes is still checked; such indexes are named in `notComputed`
// (their Null keys are still compared).
//
// REQUIRES: a database open in either mode. GUARANTEES: never writes; a damaged file
// yields problems, never a crash.
#include <string>
#include <vector>

namespace jet {
class JetDatabase;
}

namespace jet::index {

struct IndexVerification {
  std::vector<std::string> problems;     // one readable line each (Chinese)
  std::vector<std::string> notComputed;  // "table.index: why", keys not compared
  int indexes = 0;                       // real indexes checked
  long entries = 0;                      // index entries read
  long keysCompared = 0;                 // entries whose bytes were recomputed and compared
};

IndexVerification verifyIndexesDetailed(JetDatabase& db);

// Each problem as one readable line, empty when every index is sound.
std::vector<std::string> verifyIndexes(JetDatabase& db);

}  // namespace jet::index
