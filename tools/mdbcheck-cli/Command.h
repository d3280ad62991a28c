#pragma once
// Subcommands of mdbcheck-cli. A command file defines a static Registration; main() finds
// the command by name. A command returns the process's exit status; a jet::Error that
// escapes it is printed on stderr and exits with 1. What the commands share is here: the
// check of their arguments and the opening of their file with the operator's password.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jet/JetDatabase.h"

namespace dao {
class Database;
class Workspace;
}  // namespace dao

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

// The exit status of a mistake on the command line (2), after printing the usage line.
int usageError(const std::string& usage);
// Whether there are `least` to `most` arguments; prints the usage line when not.
bool arguments(const Args& args, size_t least, size_t most, const std::string& usage);

// The file through the engine alone, with the operator's password.
std::unique_ptr<jet::JetDatabase> openFile(const std::string& file, jet::Database::Mode mode);

// The file through the DAO-style interface, with the operator's password; close() closes
// the database, then its workspace.
struct DaoFile {
  std::shared_ptr<dao::Workspace> workspace;
  std::shared_ptr<dao::Database> database;
  void close();
};
DaoFile openDaoFile(const std::string& file, bool exclusive, bool readOnly);

}  // namespace cli
