#pragma once
// The window's commands on in-memory controls over a scratch copy of a fixture: what a
// test drives instead of a screen. The engine, the files and the locks are real.
#include <string>
#include <utility>
#include <vector>

#include "TestFiles.h"
#include "repair/RepairState.h"
#include "check/MemoryControls.h"
#include "check/Result.h"

namespace checktest {

class Session {
 public:
  Session();
  ~Session();  // unloads: closes the database and the workspace

  // A writable copy of a fixture in this session's scratch folder.
  std::string copy(const std::string& fixture, const std::string& as = {});
  // Runs a command as the window does: its result's messages are shown (into ui.dialogs)
  // as it returns. `extra` follows the state and the controls.
  template <class Command, class... Extra>
  check::Result run(Command&& command, Extra&&... extra) {
    check::Result result = command(state, ui.controls, std::forward<Extra>(extra)...);
    check::show(result, ui.dialogs);
    return result;
  }
  // The file dialog answers `path` ("" cancels) and the open runs.
  void open(const std::string& path);
  void scan(bool charMode);
  // A click on a column node.
  void drill(const std::string& table, const std::string& column);
  void selectLine(int line) { ui.list.select(line); }

  std::string tree() const { return ui.tree.render(); }
  std::vector<std::string> lines() const { return ui.list.items(); }
  // The messages shown so far, and then forgets them.
  std::vector<std::string> takeMessages();

  testfiles::ScratchDir dir;
  repair::RepairState state;  // the window's: the check's state and the repairs'
  check::MemoryControls ui;
};

}  // namespace checktest
