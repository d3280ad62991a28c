#include "CheckSession.h"
#include "repair/Commands.h"

namespace cli {
namespace {

const char* kUsage = "update-all FILE TABLE COLUMN (--dates --date D | --chars [CHARS] --mode M) [--undo-log LOG]";

int run(const Args& args) {
  const auto options = parseCheckCommand(args, 3, kUsage);
  if (!options) return 2;
  // The batch's answer: a pattern for a check that uses the special characters, else a date.
  const bool patterned = options->kind->usesCheckChars;
  if (patterned ? !options->mode || options->date : !options->date || options->mode)
    return usageError(kUsage);
  CheckSession s;
  if (!s.startBatch(args, *options)) return 1;
  s.ui.dialogs.answers.push_back(patterned ? *options->mode : *options->date);
  return s.finishRepair(repair::BatchUpdate(s.state, s.ui.controls), *options, args);
}

Registration reg({"update-all", kUsage, run});

}  // namespace
}  // namespace cli
