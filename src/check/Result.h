#pragma once
// What a check or repair command did, for its caller. The command has shown its messages
// through Controls already (the window's message boxes); the console tool takes its exit
// status from this value and never from the text it printed.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "check/Controls.h"

namespace check {

struct Refusal {
  int number = 0;       // the engine's DAO error number; 0 for a command's own refusal
  std::string message;  // the text shown
};

struct Result {
  std::vector<Refusal> refusals;  // in the order shown
  int64_t changed = 0;            // rows a repair wrote durably
  bool ok() const { return refusals.empty(); }
  // A command run inside this one (the editor's scan) adds its own.
  void add(Result other) {
    for (Refusal& r : other.refusals) refusals.push_back(std::move(r));
    changed += other.changed;
  }
};

// Records a refusal, then shows it: a message box that fails does not make it a success.
inline void refuse(Controls& ui, Result& result, std::string message, int number = 0) {
  result.refusals.push_back({number, message});
  ui.dialogs.message(message);
}

}  // namespace check
