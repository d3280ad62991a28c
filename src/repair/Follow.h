#pragma once
// After a repair or its undo, the window follows the data: the column's node in the tree
// shows how many defective values are left, and an undo lists the column's values again.
#include <string>

#include "check/CheckState.h"
#include "check/Controls.h"

namespace repair {

// The text of a column node for `count` defective values; 0 is said too.
std::string countText(const std::string& column, long long count);

// Counts the column's defective values again, as the tree's check counts them, and shows
// the count in its node. Nothing happens when the tree has no node for the column.
// Throws the engine's jet::Error.
void followCount(check::CheckState& state, check::Controls& ui, const std::string& table,
                 const std::string& column);
// The same for the column of a query made by the drill-down.
void followCount(check::CheckState& state, check::Controls& ui, const std::string& query);

// After an undo on `table`.`column`: the list, when it shows that column (or shows nothing
// and the last drill-down was of it), is filled again from the column's query; then the
// count follows.
void followUndo(check::CheckState& state, check::Controls& ui, const std::string& table,
                const std::string& column);

}  // namespace repair
