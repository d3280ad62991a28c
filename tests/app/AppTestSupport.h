#pragma once
// A QApplication for the window tests, and dialogs that answer from a script.
#include <QApplication>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "check/Controls.h"

namespace apptest {

// The one QApplication of the test process, on the offscreen platform unless told otherwise.
QApplication& qtApp();

struct Prompt {
  std::string prompt, title, defaultAnswer;
};

class ScriptedDialogs : public check::Dialogs {
 public:
  void message(const std::string& text) override;
  std::string input(const std::string& prompt, const std::string& title,
                    const std::string& defaultAnswer) override;
  std::string openFile() override;

  std::vector<std::string> messages;
  std::vector<Prompt> prompts;
  std::deque<std::string> answers;  // input boxes; "" when exhausted (a cancel)
  std::deque<std::string> files;    // file dialogs; "" when exhausted (a cancel)
  int fileDialogs = 0;
  // Runs before a message is recorded; may throw to make the caller fail.
  std::function<void(const std::string&)> beforeMessage;
};

}  // namespace apptest
