#pragma once
// The popup menu's repairs of the listed values. Each reports its own failures through
// Controls and never throws to its caller.
#include <string>

#include "app/CheckState.h"
#include "check/Controls.h"

namespace repair {

void Clear(app::CheckState& state, check::Controls& ui);
void Update(app::CheckState& state, check::Controls& ui);
void BatchClear(app::CheckState& state, check::Controls& ui);
void BatchUpdate(app::CheckState& state, check::Controls& ui);

// Maps every special character of checkChars in fvalue to the character at the same
// position of nMode (a trailing "''" of checkChars counts as one quote).
std::string NewValue(const std::string& fvalue, const std::string& nMode,
                     const std::string& checkChars);

}  // namespace repair
