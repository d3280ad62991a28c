#include "CheckSession.h"
#include "repair/Commands.h"

namespace cli {
namespace {

const char* kUsage = "clear-all FILE TABLE COLUMN --dates|--chars [CHARS] [--undo-log LOG]";

int run(const Args& args) {
  const auto options = parseCheckCommand(args, 3, kUsage);
  if (!options) return 2;
  CheckSession s;
  if (!s.startBatch(args, *options)) return 1;
  return s.finishRepair(repair::BatchClear(s.state, s.ui.controls), *options, args);
}

Registration reg({"clear-all", kUsage, run});

}  // namespace
}  // namespace cli
