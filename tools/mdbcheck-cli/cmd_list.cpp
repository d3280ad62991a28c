#include "CheckSession.h"

namespace cli {
namespace {

const char* kUsage = "list FILE TABLE COLUMN --dates|--chars [CHARS]";

int run(const Args& args) {
  const auto options = parseCheckCommand(args, 3, kUsage);
  if (!options) return 2;
  CheckSession s;
  if (!s.startOnColumn(args, *options)) return 1;
  s.printList();
  return 0;
}

Registration reg({"list", kUsage, run});

}  // namespace
}  // namespace cli
