#pragma once
// A kind of check, whole in one place: the columns it looks at, the condition that picks
// their defective values, how a repair asks for a new value and reads the answer, and what
// the batch rewrite stores in each row. The scan, the drill-down, the repairs, the window's
// toolbar and the console tool all ask the check's kind; none of them tests which kind it
// is. A new check is one more CheckKind (and its tests).
#include <string>

#include "check/Controls.h"
#include "jet/Value.h"

namespace check {

// An operator's answer, or the message that turns it down.
struct Answer {
  std::string value;
  const char* refusal = nullptr;
};

struct CheckKind {
  // The console tool's option (--dates, --chars) without its dashes.
  const char* name;
  // The DAO Field.Type of the columns the check looks at; the scan lists no other column
  // and the console tool refuses any other with `wrongType`.
  int candidateType;
  const char* wrongType;
  // True when the special characters take part in the condition: editing them scans again.
  bool usesCheckChars;
  // The SQL condition, in terms of the bracketed column name, that selects the defective
  // values.
  std::string (*condition)(const std::string& bracketedColumn, const std::string& checkChars);
  // "更新": asks for the new value of the selected line (showing `shown`, its text).
  Answer (*askValue)(Dialogs& dialogs, const std::string& shown);
  // "批量更新": asks for the answer the rewrite uses.
  Answer (*askRewrite)(Dialogs& dialogs, const std::string& checkChars);
  // The value the batch rewrite stores in a row that holds `stored`.
  jet::Value (*rewrite)(const jet::Value& stored, const std::string& answer,
                        const std::string& checkChars);
};

// Dates before 1900-1-1 (and after 0:00:00) in Date/Time columns; a repair stores a date.
extern const CheckKind kDateCheck;
// Special characters in Text columns; a repair stores a text, the batch maps each special
// character through the answer's pattern.
extern const CheckKind kCharCheck;

// Maps every special character of checkChars in fvalue to the character at the same
// position of nMode (a trailing "''" of checkChars counts as one quote).
std::string NewValue(const std::string& fvalue, const std::string& nMode,
                     const std::string& checkChars);

}  // namespace check
