// mdbcheck-cli scan FILE --dates | --chars [CHARS]: the defect tree of the window's check.
#include "CheckSession.h"
#include "check/Commands.h"

namespace cli {
namespace {

const char* kUsage = "scan FILE --dates | --chars [CHARS]";

int run(const Args& args) {
  const auto options = parseCheckCommand(args, 1, kUsage);
  if (!options) return 2;
  CheckSession s;
  if (!s.start(args[0], *options)) return 1;
  s.took(check::ScanDatabase(s.state, s.ui.controls));
  if (s.failed()) return 1;
  s.printTree();
  return 0;
}

Registration reg({"scan", kUsage, run});

}  // namespace
}  // namespace cli
