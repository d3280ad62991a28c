// mdbcheck-cli list FILE TABLE COLUMN --dates|--chars [CHARS]: the lines a click on the
// column's node shows.
#include "CheckSession.h"

namespace cli {
namespace {

const char* kUsage = "list FILE TABLE COLUMN --dates|--chars [CHARS]";

int run(const Args& args) {
  auto options = args.size() >= 3 ? parseCheckOptions(args, 3, kUsage) : std::nullopt;
  if (!options) {
    if (args.size() < 3) parseCheckOptions({}, 0, kUsage);
    return 2;
  }
  CheckSession s;
  if (!s.start(args[0], *options) || !s.drillDown(args[1], args[2])) return 1;
  s.printList();
  return 0;
}

Registration reg({"list", kUsage, run});

}  // namespace
}  // namespace cli
