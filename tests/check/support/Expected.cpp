#include "Expected.h"

#include <stdexcept>

#include "ExpectedJson.h"
#include "TestFiles.h"

namespace checktest {

std::string expectedTree(const std::string& fixture, bool charMode) {
  static const std::map<std::string, expected::FileCounts> all =
      expected::load(testfiles::data("expected.json").string());
  const auto it = all.find(fixture);
  if (it == all.end()) throw std::runtime_error("no expectations for " + fixture);
  const std::vector<expected::ColumnCount>& tree = charMode ? it->second.charsTree : it->second.datesTree;

  std::string out;
  for (const std::string& name : it->second.catalogOrder) {
    bool first = true;
    for (const expected::ColumnCount& c : tree) {
      if (c.table != name) continue;
      if (first) out += "  " + name + "\n";
      first = false;
      out += "    " + c.column + "(" + std::to_string(c.count) + "条)\n";
    }
  }
  return out.empty() ? "没有发现错误\n" : "表\n" + out;
}

}  // namespace checktest
