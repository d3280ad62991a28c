// mdbcheck-cli dump FILE [TABLE]: every row of every ordinary table (or of TABLE), in scan
// order, in the dump form of jet/Dump.h.
#include <iostream>

#include "Command.h"
#include "jet/Dump.h"
#include "jet/Error.h"

namespace {

const char* kUsage = "dump FILE [TABLE]";

int run(const cli::Args& args) {
  if (!cli::arguments(args, 1, 2, kUsage)) return 2;
  auto db = cli::openFile(args[0], jet::Database::Mode::ReadOnly);
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

cli::Registration reg({"dump", kUsage, run});

}  // namespace
