#pragma once
// What a check or repair command did, for its caller to show. A command asks the operator
// through Controls (an input box, the file dialog) but never shows a message itself: every
// outcome it has to tell (a refusal with its DAO number, a notice such as the undo report)
// goes into its Result, in the order the operator is to read them. The window shows them
// as message boxes when the command returns (show() below), the console tool prints them,
// and its exit status comes from ok(), never from the text.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "check/Controls.h"

namespace check {

struct Message {
  enum class Kind { Notice, Refusal };
  Kind kind = Kind::Notice;
  int number = 0;    // a refusal's DAO error number; 0 for a command's own refusal
  std::string text;  // as the operator reads it

  bool refusal() const { return kind == Kind::Refusal; }
};

struct Result {
  std::vector<Message> messages;  // refusals and notices, in the order they are to be read
  int64_t changed = 0;            // values a repair (or its undo) wrote durably
  // The command changed what the check looks for: the tree shown is stale, and the caller
  // runs the scan again once it has shown this result's messages.
  bool scanAgain = false;

  bool ok() const {
    for (const Message& m : messages)
      if (m.refusal()) return false;
    return true;
  }
  std::vector<Message> refusals() const {
    std::vector<Message> out;
    for (const Message& m : messages)
      if (m.refusal()) out.push_back(m);
    return out;
  }

  void refuse(std::string text, int number = 0) {
    messages.push_back({Message::Kind::Refusal, number, std::move(text)});
  }
  void notify(std::string text) {
    messages.push_back({Message::Kind::Notice, 0, std::move(text)});
  }
};

// Shows the messages one message box after the other, in order. A box that fails passes
// its failure on, and the messages after it are not shown.
inline void show(const Result& result, Dialogs& dialogs) {
  for (const Message& m : result.messages) dialogs.message(m.text);
}

}  // namespace check
