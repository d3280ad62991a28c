#pragma once
// The window's commands that open, scan and drill down. Each reports its own failures
// through Controls and never throws to its caller.
#include <string>

#include "app/CheckState.h"
#include "check/Controls.h"

namespace check {

// Toolbar "Open": asks for a file; unless the operator cancels (which changes nothing),
// closes the previous database and opens the file exclusively. After a failed open no
// database is held and none is shown.
void OpenDatabaseFile(app::CheckState& state, Controls& ui);
// The window unloads: database, then workspace, are closed and released; never fails.
void CloseAtUnload(app::CheckState& state);
// Toolbar "Tavrin"/"CheckChar" (after charMode is set) and the pattern editor.
void ScanDatabase(app::CheckState& state, Controls& ui);
// A click in the tree: lists the defective values of the selected column node.
void DrillDown(app::CheckState& state, Controls& ui);
// A double-click on a status-bar panel, with the panel's key and text.
void EditCheckChars(app::CheckState& state, Controls& ui, const std::string& panelKey,
                    const std::string& panelText);

}  // namespace check
