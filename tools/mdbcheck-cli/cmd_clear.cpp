// mdbcheck-cli clear FILE TABLE COLUMN LINE --dates|--chars [CHARS]: the popup's "清空" on
// line LINE (from 0) of the column's list; prints the list afterwards.
#include <string>

#include "CheckSession.h"
#include "repair/Commands.h"

namespace cli {
namespace {

const char* kUsage = "clear FILE TABLE COLUMN LINE --dates|--chars [CHARS] [--undo-log LOG]";

int run(const Args& args) {
  auto options = args.size() >= 4 ? parseCheckOptions(args, 4, kUsage) : std::nullopt;
  if (!options) {
    if (args.size() < 4) parseCheckOptions({}, 0, kUsage);
    return 2;
  }
  CheckSession s;
  if (!s.start(args[0], *options) || !s.drillDown(args[1], args[2])) return 1;
  if (!s.selectLine(args[3])) return 1;
  s.took(repair::Clear(s.state, s.ui.controls));
  s.saveUndo(*options, args[1], args[2]);
  s.printList();
  return s.exitCode();
}

Registration reg({"clear", kUsage, run});

}  // namespace
}  // namespace cli
