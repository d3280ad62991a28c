#include "repair/Commands.h"

// Placeholders until the real commands land.
namespace repair {

void Clear(app::CheckState&, check::Controls&) {}
void Update(app::CheckState&, check::Controls&) {}
void BatchClear(app::CheckState&, check::Controls&) {}
void BatchUpdate(app::CheckState&, check::Controls&) {}

}  // namespace repair
