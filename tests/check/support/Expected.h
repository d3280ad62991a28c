#pragma once
// What tests/data/expected.json says a scan of a fixture must show.
#include <string>

namespace checktest {

// The defect tree as MemoryTree::render() prints it: tables in the catalog's order, columns
// in field order, "name(N条)"; the root alone reads "没有发现错误".
std::string expectedTree(const std::string& fixture, bool charMode);

}  // namespace checktest
