// mdbcheck-cli tables FILE: one line per table in collection order, name<TAB>attributes.
#include <iostream>

#include "Command.h"

namespace {

const char* kUsage = "tables FILE";

int run(const cli::Args& args) {
  if (!cli::arguments(args, 1, 1, kUsage)) return 2;
  auto db = cli::openFile(args[0], jet::Database::Mode::ReadOnly);
  for (const auto& t : db->tables()) std::cout << t.name << '\t' << t.attributes << '\n';
  return 0;
}

cli::Registration reg({"tables", kUsage, run});

}  // namespace
