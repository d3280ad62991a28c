#pragma once
// The window's commands that open, scan and drill down. Each asks and draws through
// Controls, never throws to its caller, and returns what it did with the messages the
// caller is to show (check/Result.h).
//
// src/check stands on src/data and the engine's public headers; src/repair stands on it,
// and the window and the console tool on both. Nothing here includes repair/ or app/.
#include <string>

#include "check/CheckState.h"
#include "check/Controls.h"
#include "check/Result.h"

namespace check {

// Toolbar "Open": asks for a file; unless the operator cancels (which changes nothing),
// closes the previous database and opens the file exclusively. A file with a database
// password asks for it in the password box, again after a wrong one (saying so), until it
// is right; 取消 there leaves no file open and shows nothing. After a failed open no
// database is held and none is shown.
Result OpenDatabaseFile(check::CheckState& state, Controls& ui);
// The window unloads: database, then workspace, are closed and released; never fails.
void CloseAtUnload(check::CheckState& state);
// Toolbar "Tavrin"/"CheckChar" (after the state's kind is set) and the pattern editor.
Result ScanDatabase(check::CheckState& state, Controls& ui);
// A click in the tree: lists the defective values of the selected column node.
Result DrillDown(check::CheckState& state, Controls& ui);
// A double-click on a status-bar panel, with the panel's key and text. The rules' notices
// come back in the result; when the current check uses the special characters, the result
// asks for the scan again (scanAgain), which the caller runs after showing them.
Result EditCheckChars(check::CheckState& state, Controls& ui, const std::string& panelKey,
                    const std::string& panelText);

}  // namespace check
