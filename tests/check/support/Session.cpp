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
  check::OpenDatabaseFile(state, ui.controls);
}

void Session::scan(bool charMode) {
  state.kind = charMode ? &check::kCharCheck : &check::kDateCheck;
  check::ScanDatabase(state, ui.controls);
}

void Session::drill(const std::string& table, const std::string& column) {
  ui.tree.select(check::NodeId{check::NodeId::Kind::Column, table, column});
  check::DrillDown(state, ui.controls);
}

std::vector<std::string> Session::takeMessages() {
  std::vector<std::string> m;
  m.swap(ui.dialogs.messages);
  return m;
}

}  // namespace checktest
