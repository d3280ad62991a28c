#include "check/Commands.h"

// Placeholders until the real commands land: the window links and behaves sanely.
namespace check {

void OpenDatabaseFile(app::CheckState&, Controls&) {}
void CloseAtUnload(app::CheckState& state) {
  state.database.reset();
  state.workspace.reset();
}
void ScanDatabase(app::CheckState& state, Controls& ui) {
  if (!state.database) ui.dialogs.message("请先打开数据库");
}
void DrillDown(app::CheckState&, Controls&) {}
void EditCheckChars(app::CheckState&, Controls&, const std::string&, const std::string&) {}

}  // namespace check
