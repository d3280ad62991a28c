#include "app/dispatch/Dispatch.h"

#include <cctype>
#include <exception>
#include <iterator>

#include "app/dispatch/Window.h"
#include "check/Commands.h"
#include "check/Messages.h"
#include "jet/Error.h"
#include "repair/Commands.h"
#include "repair/Undo.h"

namespace app {

namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

constexpr int kModifiers = kShiftMask | kCtrlMask | kAltMask;

}  // namespace

bool isPopupKey(int keyCode, int shift) {
  return (keyCode == kKeyMenu && (shift & kModifiers) == 0) ||
         (keyCode == kKeyF10 && (shift & kModifiers) == kShiftMask);
}

Dispatch::Dispatch(Shell& shell, check::Controls controls) : shell_(shell) {
  controls_.emplace(controls);
}

void Dispatch::setControls(check::Controls controls) { controls_.emplace(controls); }

bool Dispatch::canUndo() const { return state_.undo != nullptr; }

// ---- the window ----

void Dispatch::load() {
  guarded([&] { state_.checkChars = check::kDefaultCheckChars; });
}

void Dispatch::unload() {
  if (unloaded_) return;
  unloaded_ = true;
  guarded([&] { check::CloseAtUnload(state_); });
}

void Dispatch::tick() {
  guarded([&] { controls().status.setPanelText(kClockPanel, shell_.timeOfDay()); });
}

void Dispatch::keyDown(int keyCode, int /*shift: F1 is F1 whatever is held*/) {
  guarded([&] {
    if (keyCode == kKeyF1) controls().dialogs.message(kHelpText);
  });
}

// ---- the toolbar ----

void Dispatch::buttonClick(std::string_view key) {
  guarded([&] {
    if (sameIgnoringCase(key, "Open")) {
      show(check::OpenDatabaseFile(state_, controls()));
    } else if (sameIgnoringCase(key, "Tavrin")) {
      state_.kind = &check::kDateCheck;
      show(check::ScanDatabase(state_, controls()));
    } else if (sameIgnoringCase(key, "CheckChar")) {
      state_.kind = &check::kCharCheck;
      show(check::ScanDatabase(state_, controls()));
    } else if (sameIgnoringCase(key, "help")) {
      keyDown(kKeyF1, 0);
    }
  });
}

// ---- the tree ----

void Dispatch::drillDown() {
  guarded([&] { show(check::DrillDown(state_, controls())); });
}

void Dispatch::treeClick() { drillDown(); }

// The keyboard moves the selection the way a click does: the list follows it, so that
// the tree and the list never show two different columns.
void Dispatch::treeSelectionChanged() { drillDown(); }

// ---- the list and its popup ----

void Dispatch::mouseUp(int button, int shift, int screenX, int screenY) {
  guarded([&] {
    if (button == kRightButton && (shift & kModifiers) == 0 && !controls().list.text().empty())
      shell_.showPopupAt(screenX, screenY);
  });
}

void Dispatch::popupKey() {
  guarded([&] {
    if (!controls().list.text().empty()) shell_.showPopupUnderLine(controls().list.listIndex());
  });
}

void Dispatch::menuClick(std::string_view name) {
  using Command = check::Result (*)(check::CheckState&, check::Controls&);
  static constexpr struct {
    std::string_view name;
    Command command;
  } kCommands[] = {
      {"Clear", repair::Clear},
      {"Update", repair::Update},
      {"BatchClear", repair::BatchClear},
      {"BatchUpdate", repair::BatchUpdate},
      {kUndoName, repair::Undo},
  };
  static_assert(std::size(kCommands) == std::size(kMenuItems) + 1);
  guarded([&] {
    // 撤销 is disabled while there is nothing to take back; Ctrl+Z then does nothing.
    if (name == kUndoName && !canUndo()) return;
    for (const auto& c : kCommands)
      if (c.name == name) show(c.command(state_, controls()));
  });
}

// ---- the status bar ----

void Dispatch::panelDblClick(std::string_view panelKey) {
  guarded([&] {
    std::string text;
    for (size_t i = 0; i < std::size(kPanels); ++i)
      if (panelKey == kPanels[i].key) text = controls().status.panelText(int(i) + 1);
    const check::Result edited =
        check::EditCheckChars(state_, controls(), std::string(panelKey), text);
    // The rules' notices come first; the tree follows the new characters after them.
    show(edited);
    if (edited.scanAgain) show(check::ScanDatabase(state_, controls()));
  });
}

// ---- failures ----

template <class F>
void Dispatch::guarded(F&& handler) noexcept {
  try {
    handler();
  } catch (const jet::Error& e) {
    report(e.description());
  } catch (const std::exception& e) {
    report(e.what());
  } catch (...) {
    report(check::msg::kUnknownError);
  }
  try {
    shell_.setUndoEnabled(canUndo());
  } catch (...) {
    // The action keeps its state; the next event sets it again.
  }
}

void Dispatch::show(const check::Result& result) { check::show(result, controls().dialogs); }

void Dispatch::report(const std::string& description) noexcept {
  try {
    controls().dialogs.message(description);
  } catch (...) {
    // Nowhere left to report; the window stays usable.
  }
}

}  // namespace app
