#pragma once
// Subcommands of mdbcheck-cli. A command file defines a static Registration; main() finds
// the command by name. A command returns the process's exit status; a jet::Error that
// escapes it is printed on stderr and exits with 1.
#include <functional>
#include <string>
#include <vector>

namespace cli {

using Args = std::vector<std::string>;  // the arguments after the command's name

struct Command {
  std::string name;
  std::string usage;  // one line, e.g. "tables FILE"
  std::function<int(const Args&)> run;
};

std::vector<Command>& commands();

struct Registration {
  explicit Registration(Command c) { commands().push_back(std::move(c)); }
};

}  // namespace cli
