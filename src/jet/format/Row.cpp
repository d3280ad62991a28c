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

// Jet 3 offsets are single bytes; values of 256 and more are reconstructed from the jump
// table, whose size follows from the row length. When the offset table itself ends below
// the last 256-byte boundary the last jump byte is a placeholder and does not count.
void RowView::parseJet3() {
  const uint32_t tb = len_ - maskLen_;
  if (tb < 2) tooShort();
  varCount_ = row_[tb - 1];
  const uint32_t jumps = (len_ - 1) / 256;
  if (tb < 2 + jumps + varCount_ + 1) tooShort();
  const uint32_t first = tb - 2 - jumps;  // off(0); off(i) at first - i
  const uint32_t eodPos = first - varCount_;
  if (eodPos < 1) tooShort();
  uint32_t usable = jumps;
  if (eodPos / 256 < usable) --usable;
  offsets_.resize(varCount_ + 1u);
  uint32_t used = 0;
  for (uint32_t i = 0; i <= varCount_; ++i) {
    while (used < usable && i == row_[tb - 2 - used]) ++used;
    offsets_[i] = row_[first - i] + 256u * used;
  }
  varLimit_ = eodPos;
  varParsed_ = true;
}

}  // namespace jet::format
