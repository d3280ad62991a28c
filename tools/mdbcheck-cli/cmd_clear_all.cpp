// mdbcheck-cli clear-all FILE TABLE COLUMN --dates|--chars [CHARS]: the popup's "批量清空"
// over the column's list; prints what is left of the list, line by line as the batch goes.
#include "CheckSession.h"
#include "repair/Commands.h"

namespace cli {
namespace {

const char* kUsage = "clear-all FILE TABLE COLUMN --dates|--chars [CHARS] [--undo-log LOG]";

int run(const Args& args) {
  auto options = args.size() >= 3 ? parseCheckOptions(args, 3, kUsage) : std::nullopt;
  if (!options) {
    if (args.size() < 3) parseCheckOptions({}, 0, kUsage);
    return 2;
  }
  CheckSession s;
  s.streamList();
  if (!s.start(args[0], *options) || !s.drillDown(args[1], args[2]) ||
      !s.repairable(args[1], args[2]))
    return 1;
  if (s.ui.list.count() > 0) s.ui.list.select(0);
  s.took(repair::BatchClear(s.state, s.ui.controls));
  s.saveUndo(*options, args[1], args[2]);
  s.printList();
  return s.exitCode();
}

Registration reg({"clear-all", kUsage, run});

}  // namespace
}  // namespace cli
