// mdbcheck-cli update FILE TABLE COLUMN LINE VALUE --dates|--chars [CHARS]: the popup's
// "更新" on line LINE (from 0), VALUE answering the input box; prints the list afterwards.
#include <string>

#include "CheckSession.h"
#include "repair/Commands.h"

namespace cli {
namespace {

const char* kUsage = "update FILE TABLE COLUMN LINE VALUE --dates|--chars [CHARS] [--undo-log LOG]";

int run(const Args& args) {
  auto options = args.size() >= 5 ? parseCheckOptions(args, 5, kUsage) : std::nullopt;
  if (!options) {
    if (args.size() < 5) parseCheckOptions({}, 0, kUsage);
    return 2;
  }
  CheckSession s;
  if (!s.start(args[0], *options) || !s.drillDown(args[1], args[2])) return 1;
  if (!s.selectLine(args[3])) return 1;
  s.ui.dialogs.answers.push_back(args[4]);
  s.took(repair::Update(s.state, s.ui.controls));
  s.saveUndo(*options, args[1], args[2]);
  s.printList();
  return s.exitCode();
}

Registration reg({"update", kUsage, run});

}  // namespace
}  // namespace cli
