#include "Command.h"

#include <iostream>

#include "Password.h"
#include "data/Dao.h"
#include "jet/os/Env.h"

namespace cli {

std::vector<Command>& commands() {
  static std::vector<Command> all;
  return all;
}

int usageError(const std::string& usage) {
  std::cerr << "用法: mdbcheck-cli " << usage << "\n";
  return 2;
}

bool arguments(const Args& args, size_t least, size_t most, const std::string& usage) {
  if (args.size() >= least && args.size() <= most) return true;
  usageError(usage);
  return false;
}

std::unique_ptr<jet::JetDatabase> openFile(const std::string& file, jet::Database::Mode mode) {
  return withPassword(file, [&](std::string_view pw) {
    return jet::JetDatabase::open(jet::os::Env::system(), file, mode, pw);
  });
}

DaoFile openDaoFile(const std::string& file, bool exclusive, bool readOnly) {
  DaoFile f;
  f.workspace = dao::DBEngine::instance().CreateWorkspace("", "admin", "", dao::dbUseJet);
  f.database = withPassword(file, [&](std::string_view) {
    return f.workspace->OpenDatabase(file, exclusive, readOnly, connectString().view());
  });
  return f;
}

void DaoFile::close() {
  database->Close();
  workspace->Close();
}

}  // namespace cli
