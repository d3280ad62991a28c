#include "jet/format/LongValue.h"

#include <unordered_set>

#include "jet/Pager.h"
#include "jet/format/DataPage.h"
#include "jet/format/UsageMap.h"

namespace jet::format {

LongValueHeader decodeLongValueHeader(const uint8_t* p, uint32_t n) {
  if (n < LongValueHeader::kSize) corrupt("备注/OLE 值的头部不完整");
  const uint32_t word = le32(p);
  LongValueHeader h;
  h.length = word & LongValueHeader::kLengthMask;
  const uint32_t kind = word & ~LongValueHeader::kLengthMask;
  if (kind == LongValueHeader::kInlineBit) {
    h.kind = LongValueHeader::Kind::Inline;
  } else if (kind == LongValueHeader::kSingleBit) {
    h.kind = LongValueHeader::Kind::Single;
  } else if (kind == 0) {
    h.kind = LongValueHeader::Kind::Chain;
  } else {
    corrupt("备注/OLE 值的类型无效");
  }
  h.first = RowPointer::decode(le32(p + 4));
  return h;
}

namespace {
RowBytes lvalRow(Pager& pager, RowPointer where) {
  const PageRef ref = pager.get(where.page);
  const uint8_t* page = ref.data();
  if (page[0] != kDataPageType || le32(page + 4) != kLvalMarker)
    corruptPage(where.page, "备注/OLE 值指向的页不是长值页");
  return rowAt(pager, where);
}
}  // namespace

void readLongValue(Pager& pager, const uint8_t* p, uint32_t n, std::string& out) {
  out.clear();
  const LongValueHeader h = decodeLongValueHeader(p, n);
  switch (h.kind) {
    case LongValueHeader::Kind::Inline:
      if (h.length > n - LongValueHeader::kSize) corrupt("备注/OLE 值比它所在的行还长");
      out.assign(reinterpret_cast<const char*>(p + LongValueHeader::kSize), h.length);
      return;
    case LongValueHeader::Kind::Single: {
      const RowBytes row = lvalRow(pager, h.first);
      if (h.length > row.length) corruptPage(h.first.page, "备注/OLE 值比它所在的长值行还长");
      out.assign(reinterpret_cast<const char*>(row.data), h.length);
      return;
    }
    case LongValueHeader::Kind::Chain: {
      // Every segment carries at least one byte, so the file's size bounds the value.
      if (uint64_t{h.length} > uint64_t{pager.pageCount()} * pager.pageSize())
        corrupt("备注/OLE 值的长度超出文件大小");
      out.reserve(h.length);
      std::unordered_set<uint32_t> seen;
      RowPointer at = h.first;
      while (out.size() < h.length) {
        if (at.isNull()) corrupt("备注/OLE 值的长值链提前结束");
        if (!seen.insert((at.page << 8) | at.row).second)
          corruptPage(at.page, "备注/OLE 值的长值链出现循环");
        const RowBytes row = lvalRow(pager, at);
        if (row.length < 4) corruptPage(at.page, "长值链的行太短");
        const uint32_t take = std::min<uint32_t>(row.length - 4, h.length - static_cast<uint32_t>(out.size()));
        if (take == 0) corruptPage(at.page, "长值链的行没有数据");
        out.append(reinterpret_cast<const char*>(row.data + 4), take);
        at = RowPointer::decode(le32(row.data));
      }
      return;
    }
  }
}

}  // namespace jet::format
