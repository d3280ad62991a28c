#include "jet/format/TableDef.h"

#include <algorithm>
#include <unordered_set>

#include "jet/Pager.h"
#include "jet/format/Text.h"

namespace jet::format {

namespace {
constexpr uint8_t kTdefPageType = 0x02;
constexpr int kRealIndexSlots = 10;
}  // namespace

const ColumnDef* TableDef::findColumn(std::string_view name) const {
  for (const auto& c : columns)
    if (c.name == name) return &c;
  return nullptr;
}

const LogicalIndexDef* TableDef::keyRefusingNull(const ColumnDef& column) const {
  for (const LogicalIndexDef& l : logicalIndexes) {
    if (l.realIndex < 0 || static_cast<size_t>(l.realIndex) >= realIndexes.size()) continue;
    const RealIndexDef& r = realIndexes[static_cast<size_t>(l.realIndex)];
    if (l.type != idxtype::kPrimaryKey && !(r.flags & idxflag::kRequired)) continue;
    for (const RealIndexColumn& rc : r.columns)
      if (rc.number == column.number) return &l;
  }
  return nullptr;
}

std::vector<uint8_t> readTableDefBytes(Pager& pager, uint32_t first, std::vector<uint32_t>* chain) {
  const uint32_t ps = pager.pageSize();
  std::vector<uint8_t> buf;
  std::unordered_set<uint32_t> seen;
  uint32_t n = first;
  while (n != 0) {
    if (!seen.insert(n).second) corruptPage(n, "表定义页链出现循环");
    const PageRef ref = pager.get(n);
    const uint8_t* p = ref.data();
    if (p[0] != kTdefPageType) {
      corruptPage(n, n == first ? "不是表定义页" : "表定义的后续页不是表定义页");
    }
    if (buf.empty()) {
      buf.assign(p, p + ps);
    } else {
      buf.insert(buf.end(), p + 8, p + ps);
    }
    if (chain) chain->push_back(n);
    n = le32(p + 4);
  }
  return buf;
}

TableDef readTableDef(Pager& pager, uint32_t page, const TextCodec& codec) {
  const Version& v = pager.version();
  const TdefLayout& L = tdefLayout(v);
  TableDef t;
  t.page = page;
  const std::vector<uint8_t> buf = readTableDefBytes(pager, page, &t.pages);
  const ByteView b(buf.data(), buf.size(), "表定义");
  try {
    t.length = b.u32(L.length);
    t.numRows = b.u32(L.numRows);
    t.autoNumber = b.u32(L.autoNumber);
    t.tableType = b.u8(L.tableType);
    t.maxCols = b.u16(L.maxCols);
    t.numVarCols = b.u16(L.numVarCols);
    const uint16_t numCols = b.u16(L.numCols);
    const uint32_t numIdx = b.u32(L.numIdx);
    const uint32_t numRealIdx = b.u32(L.numRealIdx);
    t.ownedMap = RowPointer::decode(b.u32(L.ownedMap));
    t.freeMap = RowPointer::decode(b.u32(L.freeMap));
    if (numRealIdx > numIdx || numIdx > 1000) corrupt("索引数目不合理");

    size_t pos = L.blockEnd;
    std::vector<uint32_t> statsOffsets;
    for (uint32_t i = 0; i < numRealIdx; ++i) {
      b.at(pos, L.realIdxStatSize);
      statsOffsets.push_back(static_cast<uint32_t>(pos));
      pos += L.realIdxStatSize;
    }

    for (uint16_t i = 0; i < numCols; ++i) {
      const uint8_t* d = b.at(pos, L.columnSize);
      ColumnDef c;
      c.type = d[L.colType];
      c.number = le16(d + L.colNum);
      c.varIndex = le16(d + L.colVarIndex);
      c.collation = le16(d + L.colCollation);
      if (L.colCodePage >= 0) c.codePage = le16(d + L.colCodePage);
      if (L.colCollationVersion >= 0) c.collationVersion = d[L.colCollationVersion];
      if (L.colPrecision >= 0 && c.type == coltype::kNumeric) {
        c.precision = d[L.colPrecision];
        c.scale = d[L.colScale];
      }
      c.flags = d[L.colFlags];
      if (L.colExtFlags >= 0) c.extFlags = d[L.colExtFlags];
      c.fixedOffset = le16(d + L.colFixedOffset);
      c.length = le16(d + L.colLength);
      if (c.number >= t.maxCols) corrupt("列号 " + std::to_string(c.number) + " 超出列数");
      t.columns.push_back(std::move(c));
      pos += L.columnSize;
    }
    for (auto& c : t.columns) {
      size_t len = L.nameLengthSize == 1 ? b.u8(pos) : b.u16(pos);
      pos += L.nameLengthSize;
      c.name = codec.name(b.at(pos, len), len);
      pos += len;
    }

    for (uint32_t i = 0; i < numRealIdx; ++i) {
      const uint8_t* d = b.at(pos, L.realIdxSize);
      RealIndexDef r;
      for (int s = 0; s < kRealIndexSlots; ++s) {
        const uint8_t* slot = d + L.realIdxColumns + 3 * s;
        const uint16_t col = le16(slot);
        if (col == 0xFFFF) continue;
        r.columns.push_back({col, (slot[2] & 0x01) != 0});
      }
      r.usageMap = RowPointer::decode(le32(d + L.realIdxUsageMap));
      r.rootPage = le32(d + L.realIdxRoot);
      r.flags = d[L.realIdxFlags];
      r.statsOffset = statsOffsets[i];
      t.realIndexes.push_back(std::move(r));
      pos += L.realIdxSize;
    }

    for (uint32_t i = 0; i < numIdx; ++i) {
      const uint8_t* d = b.at(pos, L.logIdxSize);
      LogicalIndexDef l;
      l.number = static_cast<int32_t>(le32(d + L.logIdxNumber));
      l.realIndex = static_cast<int32_t>(le32(d + L.logIdxRealIndex));
      l.relTableType = d[L.logIdxRelTableType];
      l.relIndex = static_cast<int32_t>(le32(d + L.logIdxRelIndex));
      l.relTable = le32(d + L.logIdxRelTable);
      l.cascadeUpdates = d[L.logIdxCascadeUpdates];
      l.cascadeDeletes = d[L.logIdxCascadeDeletes];
      l.type = d[L.logIdxType];
      if (l.realIndex < 0 || static_cast<uint32_t>(l.realIndex) >= numRealIdx)
        corrupt("逻辑索引指向不存在的物理索引");
      t.logicalIndexes.push_back(std::move(l));
      pos += L.logIdxSize;
    }
    for (auto& l : t.logicalIndexes) {
      size_t len = L.nameLengthSize == 1 ? b.u8(pos) : b.u16(pos);
      pos += L.nameLengthSize;
      l.name = codec.name(b.at(pos, len), len);
      pos += len;
    }

    // Long-value maps: 10-byte entries up to an FF FF terminator. Older files may stop
    // short of it; the list is a hint, so its absence is not damage.
    while (pos + 2 <= buf.size()) {
      const uint16_t col = b.u16(pos);
      if (col == 0xFFFF || pos + 10 > buf.size()) break;
      LongValueMaps m;
      m.column = col;
      m.usageMap = RowPointer::decode(b.u32(pos + 2));
      m.freeMap = RowPointer::decode(b.u32(pos + 6));
      t.longValueMaps.push_back(m);
      pos += 10;
    }
  } catch (const Corrupt& e) {
    corruptPage(page, std::string("表定义损坏：") + e.what());
  }
  return t;
}

}  // namespace jet::format
