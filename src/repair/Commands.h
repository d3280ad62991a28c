#pragma once
// The popup menu's repairs of the listed values. Each asks for its answer and redraws the
// list and the tree through Controls, never throws to its caller, and returns what it did:
// the refusals for the caller to show, and the rows it wrote durably. src/repair stands on src/check and src/data;
// only the window and the console tool stand on it.
#include <string>

#include "check/CheckKind.h"
#include "check/Controls.h"
#include "check/Result.h"
#include "repair/RepairState.h"

namespace repair {

check::Result Clear(RepairState& state, check::Controls& ui);
check::Result Update(RepairState& state, check::Controls& ui);
check::Result BatchClear(RepairState& state, check::Controls& ui);
check::Result BatchUpdate(RepairState& state, check::Controls& ui);

// The special-character check's rewrite (check/CheckKind.h).
using check::NewValue;

}  // namespace repair
