// mdbcheck-cli verify FILE: the structural check; one line per problem, exit 1 when any.
#include <iostream>

#include "Command.h"
#include "jet/JetDatabase.h"
#include "jet/write/Verify.h"

namespace {

int run(const cli::Args& args) {
  if (args.size() != 1) {
    std::cerr << "用法: mdbcheck-cli verify FILE\n";
    return 2;
  }
  auto db = jet::JetDatabase::open(jet::os::Env::posix(), args[0], jet::Database::Mode::ReadOnly);
  const auto problems = jet::write::verifyStructure(*db);
  for (const auto& p : problems) std::cout << p << '\n';
  if (!problems.empty()) {
    std::cerr << "发现 " << problems.size() << " 处结构问题。\n";
    return 1;
  }
  std::cout << "结构完好。\n";
  return 0;
}

cli::Registration reg({"verify", "verify FILE", run});

}  // namespace
