#include "CheckSession.h"
#include "repair/Commands.h"

namespace cli {
namespace {

const char* kUsage = "update FILE TABLE COLUMN LINE VALUE --dates|--chars [CHARS] [--undo-log LOG]";

int run(const Args& args) {
  const auto options = parseCheckCommand(args, 5, kUsage);
  if (!options) return 2;
  CheckSession s;
  if (!s.startOnColumn(args, *options) || !s.selectLine(args[3])) return 1;
  s.ui.dialogs.answers.push_back(args[4]);
  return s.finishRepair(repair::Update(s.state, s.ui.controls), *options, args);
}

Registration reg({"update", kUsage, run});

}  // namespace
}  // namespace cli
