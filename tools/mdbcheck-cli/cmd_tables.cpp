// mdbcheck-cli tables FILE: one line per table in collection order, name<TAB>attributes.
#include <iostream>

#include "Command.h"
#include "Password.h"
#include "jet/Database.h"

namespace {

int run(const cli::Args& args) {
  if (args.size() != 1) {
    std::cerr << "用法: mdbcheck-cli tables FILE\n";
    return 2;
  }
  auto db = cli::withPassword(args[0], [&](std::string_view pw) {
    return jet::Database::open(args[0], jet::Database::Mode::ReadOnly, pw);
  });
  for (const auto& t : db->tables()) std::cout << t.name << '\t' << t.attributes << '\n';
  return 0;
}

cli::Registration reg({"tables", "tables FILE", run});

}  // namespace
