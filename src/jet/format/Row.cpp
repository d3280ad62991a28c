#include "jet/format/Row.h"

#include <algorithm>

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

void RowParts::setBit(uint16_t column, bool on) {
  if (column >= numCols) growColumns(column + 1);
  if (on)
    mask[column >> 3] |= uint8_t(1u << (column & 7));
  else
    mask[column >> 3] &= uint8_t(~(1u << (column & 7)));
}

void RowParts::growColumns(uint16_t n) {
  if (n <= numCols) return;
  numCols = n;
  mask.resize((n + 7u) / 8u, 0);
}

RowParts parseRow(bool jet3, bool hasVarTable, const uint8_t* row, uint32_t len) {
  RowParts r;
  r.hasVarTable = hasVarTable;
  const uint32_t head = (jet3 ? kRowJet3 : kRowJet4).numColsSize;
  if (len < head) corrupt("行太短");
  r.numCols = jet3 ? row[0] : le16(row);
  const uint32_t maskLen = (r.numCols + 7u) / 8u;
  if (head + maskLen > len) corrupt("行太短，放不下空值位图");
  r.mask.assign(row + len - maskLen, row + len);
  const uint32_t tb = len - maskLen;
  if (!hasVarTable) {
    r.fixed.assign(row + head, row + tb);
    return r;
  }
  std::vector<uint32_t> off;
  if (!jet3) {
    if (tb < head + 4) corrupt("行太短，放不下变长列表");
    const uint16_t count = le16(row + tb - 2);
    if (tb < head + 4 + 2u * count) corrupt("变长列数目超出行长");
    off.resize(count + 1u);
    for (uint32_t i = 0; i <= count; ++i) off[i] = le16(row + tb - 4 - 2 * i);
    const uint32_t limit = tb - 4 - 2u * count;
    for (uint32_t i = 0; i <= count; ++i)
      if (off[i] < head || off[i] > limit || (i && off[i] < off[i - 1]))
        corrupt("行内变长列的偏移无效");
  } else {
    if (tb < head + 1) corrupt("行太短，放不下变长列表");
    uint32_t eodPos;
    if (!jet3VarOffsets(row, len, maskLen, off, eodPos)) corrupt("变长列数目超出行长");
    const uint32_t count = uint32_t(off.size() - 1);
    for (uint32_t i = 0; i <= count; ++i)
      if (off[i] < head || off[i] > eodPos || (i && off[i] < off[i - 1]))
        corrupt("行内变长列的偏移无效");
  }
  r.fixed.assign(row + head, row + off[0]);
  r.vars.resize(off.size() - 1);
  for (size_t i = 0; i + 1 < off.size(); ++i) r.vars[i].assign(row + off[i], row + off[i + 1]);
  return r;
}

namespace {

// Jet 3 stores offsets as bytes; jump[j] names the first offset entry at or past 256*(j+1).
void putJet3Trailer(std::vector<uint8_t>& out, const std::vector<uint32_t>& off, uint32_t jumps) {
  const size_t count = off.size() - 1;
  for (size_t i = off.size(); i-- > 0;) out.push_back(uint8_t(off[i] & 0xFF));
  for (uint32_t j = jumps; j-- > 0;) {
    uint8_t v = 0xFF;
    for (size_t i = 0; i < off.size(); ++i)
      if (off[i] >= 256u * (j + 1)) {
        v = uint8_t(i);
        break;
      }
    out.push_back(v);
  }
  out.push_back(uint8_t(count));
}

}  // namespace

std::optional<std::vector<uint8_t>> buildRow(bool jet3, const RowParts& p, uint32_t padTo) {
  std::vector<uint8_t> out;
  out.reserve(padTo ? padTo : 64);
  if (jet3) {
    if (p.numCols > 255) corrupt("列数超出 Jet 3 行的上限");
    out.push_back(uint8_t(p.numCols));
  } else {
    out.push_back(uint8_t(p.numCols));
    out.push_back(uint8_t(p.numCols >> 8));
  }
  out.insert(out.end(), p.fixed.begin(), p.fixed.end());
  std::vector<uint32_t> off;
  if (p.hasVarTable) {
    for (const auto& v : p.vars) {
      off.push_back(uint32_t(out.size()));
      out.insert(out.end(), v.begin(), v.end());
    }
    off.push_back(uint32_t(out.size()));  // eod
  }
  const uint32_t body = uint32_t(out.size());
  uint32_t trailer;
  uint32_t jumps = 0;
  if (!p.hasVarTable) {
    trailer = uint32_t(p.mask.size());
  } else if (!jet3) {
    trailer = 2u * uint32_t(off.size()) + 2u + uint32_t(p.mask.size());
  } else {
    // The jump count depends on the row length, which depends on the jump count.
    const uint32_t fixedPart = uint32_t(off.size()) + 1u + uint32_t(p.mask.size());
    if (padTo) {
      jumps = (padTo - 1) / 256;
    } else {
      for (int k = 0; k < 4; ++k) jumps = (body + fixedPart + jumps - 1) / 256;
    }
    trailer = fixedPart + jumps;
  }
  uint32_t total = body + trailer;
  if (padTo) {
    if (total > padTo) return std::nullopt;
    out.resize(body + (padTo - total), 0);
    total = padTo;
  }
  if (jet3 && p.hasVarTable && (total - 1) / 256 != jumps) return std::nullopt;
  if (p.hasVarTable) {
    if (!jet3) {
      for (size_t i = off.size(); i-- > 0;) {
        out.push_back(uint8_t(off[i]));
        out.push_back(uint8_t(off[i] >> 8));
      }
      out.push_back(uint8_t(p.vars.size()));
      out.push_back(uint8_t(p.vars.size() >> 8));
    } else {
      if (p.vars.size() > 255) corrupt("变长列数超出 Jet 3 行的上限");
      putJet3Trailer(out, off, jumps);
    }
  }
  out.insert(out.end(), p.mask.begin(), p.mask.end());
  // What we wrote must read back as what we meant.
  RowParts back = parseRow(jet3, p.hasVarTable, out.data(), uint32_t(out.size()));
  if (back.vars != p.vars || back.mask != p.mask || back.numCols != p.numCols ||
      !std::equal(p.fixed.begin(), p.fixed.end(), back.fixed.begin()))
    corrupt("重建的行读回不一致");
  return out;
}

}  // namespace jet::format
