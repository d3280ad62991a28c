#pragma once
// Shared by the repair tests: skipping while the engine cannot yet write a column, and the
// checks every repaired file must pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Mdbtools.h"
#include "Readback.h"

// Repairs need the engine's write path for this column; until it can write it, the test is
// skipped with the engine's own reason (never faked).
#define REQUIRE_WRITES(fixture, table, column)                                          \
  do {                                                                                  \
    if (auto why = ::checktest::writeRefusal(fixture, table, column))                   \
      GTEST_SKIP() << "the engine cannot write " << (table) << "." << (column) << ": " \
                   << *why;                                                             \
  } while (0)

namespace checktest {

inline std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

inline long occurrences(const std::vector<std::string>& v, const std::string& x) {
  return std::count(v.begin(), v.end(), x);
}

// The file reads back the same through a fresh engine and through mdbtools (as a multiset:
// the two readers need not walk rows in the same order; mdbtools shows an empty text as
// Null and a date below the zero date as 1900-01-00), and verify finds nothing wrong. The
// test is marked skipped when mdbtools or the console tool is missing.
inline void expectSoundFile(const std::string& path, const std::string& table,
                            const std::string& column) {
  if (mdbtools::required()) {
    auto engine = columnThroughEngine(path, table, column);
    auto mdb = columnThroughMdbtools(path, table, column);
    for (auto& v : engine)
      if (v.empty()) v = "\\N";
    std::erase_if(engine, [](const std::string& v) {
      return v.size() == 19 && v[4] == '-' && v[13] == ':' && v < "1899-12-30";
    });
    std::erase(mdb, "1900-01-00 00:00:00");
    EXPECT_EQ(sorted(engine), sorted(mdb));
  }
  if (auto problems = verifyProblems(path)) ADD_FAILURE() << "verify: " << *problems;
}

}  // namespace checktest
