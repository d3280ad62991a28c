// mdbcheck-cli update-all FILE TABLE COLUMN (--dates --date D | --chars [CHARS] --mode M):
// the popup's "批量更新" over the column's list, D or M answering its input box; prints each
// line's value as the batch rewrites it (the file changes only if the whole batch lands).
#include "CheckSession.h"
#include "repair/Commands.h"

namespace cli {
namespace {

const char* kUsage = "update-all FILE TABLE COLUMN (--dates --date D | --chars [CHARS] --mode M) [--undo-log LOG]";

int run(const Args& args) {
  auto options = args.size() >= 3 ? parseCheckOptions(args, 3, kUsage) : std::nullopt;
  // The batch's answer: a pattern for a check that uses the special characters, else a date.
  const bool patterned = options && options->kind->usesCheckChars;
  if (options && (patterned ? !options->mode || options->date : !options->date || options->mode))
    options = parseCheckOptions({}, 0, kUsage);
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
  s.ui.dialogs.answers.push_back(patterned ? *options->mode : *options->date);
  s.took(repair::BatchUpdate(s.state, s.ui.controls));
  s.saveUndo(*options, args[1], args[2]);
  s.printList();
  return s.exitCode();
}

Registration reg({"update-all", kUsage, run});

}  // namespace
}  // namespace cli
