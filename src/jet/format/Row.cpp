#include "jet/format/Row.h"

namespace jet::format {

void RowView::tooShort() { corrupt("行太短，放不下它的列信息"); }
void RowView::badOffsets() { corrupt("行内变长列的偏移无效"); }

uint16_t RowView::varCount() {
  if (jet3_) {
    if (!varParsed_) parseJet3();
    return varCount_;
  }
  const uint32_t tb = len_ - maskLen_;
  if (tb < 4) tooShort();
  return le16(row_ + tb - 2);
}

// When the offset table itself ends below the last 256-byte boundary the last jump byte
// is a placeholder and does not count.
bool jet3VarOffsets(const uint8_t* row, uint32_t len, uint32_t maskLen,
                    std::vector<uint32_t>& offsets, uint32_t& eodPos) {
  if (len < maskLen + 2) return false;
  const uint32_t tb = len - maskLen;
  const uint32_t count = row[tb - 1];
  const uint32_t jumps = (len - 1) / 256;
  if (tb < 2 + jumps + count + 1) return false;
  const uint32_t first = tb - 2 - jumps;  // off(0); off(i) at first - i
  eodPos = first - count;
  uint32_t usable = jumps;
  if (eodPos / 256 < usable) --usable;
  offsets.resize(count + 1u);
  uint32_t used = 0;
  for (uint32_t i = 0; i <= count; ++i) {
    while (used < usable && i == row[tb - 2 - used]) ++used;
    offsets[i] = row[first - i] + 256u * used;
  }
  return true;
}

void RowView::parseJet3() {
  if (!jet3VarOffsets(row_, len_, maskLen_, offsets_, varLimit_)) tooShort();
  varCount_ = static_cast<uint16_t>(offsets_.size() - 1);
  varParsed_ = true;
}

}  // namespace jet::format
