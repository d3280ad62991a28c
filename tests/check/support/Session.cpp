#include "Session.h"

#include "check/Commands.h"

namespace checktest {

Session::Session() { state.checkChars = check::kDefaultCheckChars; }

Session::~Session() { check::CloseAtUnload(state); }

std::string Session::copy(const std::string& fixture, const std::string& as) {
  return dir.copy(testfiles::data(fixture), as).string();
}

void Session::open(const std::string& path) {
  ui.dialogs.files.push_back(path);
  run(check::OpenDatabaseFile);
}

void Session::scan(bool charMode) {
  state.kind = charMode ? &check::kCharCheck : &check::kDateCheck;
  run(check::ScanDatabase);
}

void Session::drill(const std::string& table, const std::string& column) {
  ui.tree.select(check::NodeId{check::NodeId::Kind::Column, table, column});
  run(check::DrillDown);
}

std::vector<std::string> Session::takeMessages() {
  std::vector<std::string> m;
  m.swap(ui.dialogs.messages);
  return m;
}

}  // namespace checktest
