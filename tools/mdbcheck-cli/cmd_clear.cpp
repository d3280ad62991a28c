#include "CheckSession.h"
#include "repair/Commands.h"

namespace cli {
namespace {

const char* kUsage = "clear FILE TABLE COLUMN LINE --dates|--chars [CHARS] [--undo-log LOG]";

int run(const Args& args) {
  const auto options = parseCheckCommand(args, 4, kUsage);
  if (!options) return 2;
  CheckSession s;
  if (!s.startOnColumn(args, *options) || !s.selectLine(args[3])) return 1;
  return s.finishRepair(repair::Clear(s.state, s.ui.controls), *options, args);
}

Registration reg({"clear", kUsage, run});

}  // namespace
}  // namespace cli
