// mdbcheck-cli dump FILE [TABLE]: every row of every ordinary table (or of TABLE), in scan
// order, in the dump form of jet/Dump.h.
#include <iostream>

#include "Command.h"
#include "Password.h"
#include "jet/Database.h"
#include "jet/Dump.h"
#include "jet/Error.h"

namespace {

int run(const cli::Args& args) {
  if (args.empty() || args.size() > 2) {
    std::cerr << "用法: mdbcheck-cli dump FILE [TABLE]\n";
    return 2;
  }
  auto db = cli::withPassword(args[0], [&](std::string_view pw) {
    return jet::Database::open(args[0], jet::Database::Mode::ReadOnly, pw);
  });
  if (args.size() == 2) {
    const jet::TableInfo* t = db->findTable(args[1]);
    if (!t) throw jet::noSuchTable(args[1]);
    jet::dumpTable(*db, *t, &std::cout);
  } else {
    for (const auto& t : db->tables())
      if (t.attributes == 0 && !t.linked) jet::dumpTable(*db, t, &std::cout);
  }
  std::cout.flush();
  return 0;
}

cli::Registration reg({"dump", "dump FILE [TABLE]", run});

}  // namespace
