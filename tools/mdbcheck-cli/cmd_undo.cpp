// mdbcheck-cli undo FILE LOG: takes back a repair command that ran with --undo-log LOG.
// Every value of the log goes back in one batch, whole or not at all; a row changed since
// the repair refuses the whole undo. Prints how many values came back.
#include <iostream>

#include "Command.h"
#include "data/Dao.h"
#include "jet/Error.h"
#include "repair/Undo.h"

namespace cli {
namespace {

const char* kUsage = "undo FILE LOG";

int run(const Args& args) {
  if (!arguments(args, 2, 2, kUsage)) return 2;
  const repair::UndoLog log = repair::readUndoFile(args[1]);
  DaoFile file = openDaoFile(args[0], true, false);
  size_t restored = 0;
  try {
    restored = repair::restore(*file.database, log);
  } catch (const jet::Error& e) {
    file.close();
    std::cerr << e.description() << "\n撤销未执行，数据库没有改动。\n";
    return 1;
  }
  file.close();
  std::cout << "已恢复 " << restored << " 个值（表 " << log.table << "，字段 " << log.column
            << "）。\n";
  return 0;
}

Registration reg({"undo", kUsage, run});

}  // namespace
}  // namespace cli
