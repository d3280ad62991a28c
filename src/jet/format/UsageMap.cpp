#include "jet/format/UsageMap.h"

#include <algorithm>

#include "jet/Pager.h"
#include "jet/format/DataPage.h"

namespace jet::format {

RowBytes rowAt(Pager& pager, RowPointer where) {
  const DataPage page(pager.page(where.page), where.page, pager.version());
  if (where.row >= page.rowCount())
    corruptPage(where.page, "没有第 " + std::to_string(where.row) + " 行");
  uint32_t start, end;
  page.rowBounds(where.row, start, end);
  return {page.bytes() + start, end - start, page.slot(where.row)};
}

std::vector<uint32_t> readUsageMap(Pager& pager, RowPointer where, uint64_t* pastEnd) {
  if (where.isNull()) return {};
  const RowBytes row = rowAt(pager, where);
  const uint32_t count = pager.pageCount();
  std::vector<uint32_t> pages;
  if (row.length < 1) corruptPage(where.page, "页使用表为空");
  if (row.data[0] == kMapInline) {
    if (row.length < 5) corruptPage(where.page, "页使用表太短");
    const uint32_t startPage = le32(row.data + 1);
    for (uint32_t i = 5; i < row.length; ++i) {
      uint8_t bits = row.data[i];
      while (bits) {
        const int k = __builtin_ctz(bits);
        bits &= bits - 1;
        const uint64_t pg = uint64_t{startPage} + uint64_t{i - 5} * 8 + k;
        if (pg < count && pg != 0) pages.push_back(static_cast<uint32_t>(pg));
        else if (pg >= count && pastEnd) ++*pastEnd;
      }
    }
  } else if (row.data[0] == kMapReference) {
    const uint32_t perBitmap = (pager.pageSize() - 4) * 8;
    for (uint32_t j = 0; 1 + 4 * j + 4 <= row.length; ++j) {
      const uint32_t bp = le32(row.data + 1 + 4 * j);
      if (bp == 0 || bp >= count) continue;  // absent, or garbage in a trailing slot
      const uint8_t* bitmap = pager.page(bp);
      if (bitmap[0] != kUsageBitmapPageType) corruptPage(bp, "不是页使用位图页");
      for (uint32_t i = 4; i < pager.pageSize(); ++i) {
        uint8_t bits = bitmap[i];
        while (bits) {
          const int k = __builtin_ctz(bits);
          bits &= bits - 1;
          const uint64_t pg = uint64_t{j} * perBitmap + uint64_t{i - 4} * 8 + k;
          if (pg < count && pg != 0) pages.push_back(static_cast<uint32_t>(pg));
          else if (pg >= count && pastEnd) ++*pastEnd;
        }
      }
    }
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  } else {
    corruptPage(where.page, "未知的页使用表类型 " + std::to_string(row.data[0]));
  }
  return pages;
}

}  // namespace jet::format
