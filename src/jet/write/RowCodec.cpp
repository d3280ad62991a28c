#include "RowCodec.h"

#include <algorithm>

namespace jet::write {

void setColumn(RowParts& parts, const format::TableDef& def, const format::ColumnDef& c,
               const std::optional<std::vector<uint8_t>>& bytes) {
  if (c.type == format::coltype::kBoolean) {
    parts.setBit(c.number, bytes && !bytes->empty() && (*bytes)[0] != 0);
    return;
  }
  if (!bytes) {
    if (c.number < parts.numCols) parts.setBit(c.number, false);
    if (!c.fixed() && c.varIndex < parts.vars.size()) parts.vars[c.varIndex].clear();
    return;
  }
  parts.growColumns(uint16_t(c.number + 1));
  // The fixed area holds every fixed column the row's column count covers.
  size_t need = parts.fixed.size();
  for (const auto& d : def.columns)
    if (d.fixed() && d.type != format::coltype::kBoolean && d.number < parts.numCols)
      need = std::max<size_t>(need, size_t(d.fixedOffset) + d.length);
  parts.fixed.resize(need, 0);
  if (c.fixed()) {
    std::copy(bytes->begin(), bytes->end(), parts.fixed.begin() + c.fixedOffset);
  } else {
    if (parts.vars.size() <= c.varIndex) parts.vars.resize(c.varIndex + 1u);
    parts.vars[c.varIndex] = *bytes;
  }
  parts.setBit(c.number, true);
}

}  // namespace jet::write
