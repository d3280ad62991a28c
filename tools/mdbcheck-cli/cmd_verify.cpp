// mdbcheck-cli verify FILE: the structural check, then every index against its rows; one
// line per problem, exit 1 when any.
#include <iostream>

#include "Command.h"
#include "jet/verify/VerifyIndexes.h"
#include "jet/verify/Verify.h"

namespace {

const char* kUsage = "verify FILE";

int run(const cli::Args& args) {
  if (!cli::arguments(args, 1, 1, kUsage)) return 2;
  auto db = cli::openFile(args[0], jet::Database::Mode::ReadOnly);
  // What the open found wrong with the file as a whole (cut short, a write interrupted
  // whose journal is gone) comes first, and counts as a problem.
  std::vector<std::string> problems;
  for (const auto& notice : db->notices()) problems.push_back("注意：" + notice);
  const auto structure = jet::write::verifyStructure(*db);
  problems.insert(problems.end(), structure.begin(), structure.end());
  const jet::index::IndexVerification indexes = jet::index::verifyIndexesDetailed(*db);
  problems.insert(problems.end(), indexes.problems.begin(), indexes.problems.end());
  for (const auto& p : problems) std::cout << p << '\n';
  for (const auto& n : indexes.notComputed) std::cout << "未核对索引键：" << n << '\n';
  if (!problems.empty()) {
    std::cerr << "发现 " << problems.size() << " 处问题。\n";
    return 1;
  }
  std::cout << "结构与索引完好（" << indexes.indexes << " 个索引、" << indexes.entries
            << " 个条目）。\n";
  return 0;
}

cli::Registration reg({"verify", kUsage, run});

}  // namespace
