#include "jet/format/UsageMap.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "jet/Pager.h"
#include "jet/format/DataPage.h"

namespace jet::format {

UsageMap::UsageMap(RowPointer where, const uint8_t* holder, const Version& v, uint32_t pageCount)
    : where_(where),
      pageSize_(v.pageSize()),
      perBitmap_((v.pageSize() - 4) * 8),
      pageCount_(pageCount) {
  const DataPage page(holder, where.page, v);
  uint32_t end;
  page.rowBounds(where.row, start_, end);
  length_ = end - start_;
  row_ = holder + start_;
  if (row_[0] == kMapInline) {
    if (length_ < 5) corruptPage(where.page, "页使用表太短");
  } else if (row_[0] != kMapReference) {
    corruptPage(where.page, "未知的页使用表类型 " + std::to_string(row_[0]));
  }
}

bool UsageMap::covers(uint32_t n) const {
  if (isInline()) return n >= windowStart() && uint64_t{n} < uint64_t{windowStart()} + windowSpan();
  return n / perBitmap_ < bitmapSlots();
}

std::optional<UsageMap::Bit> UsageMap::bitOf(uint32_t n) const {
  if (!covers(n)) return std::nullopt;
  if (isInline()) {
    const uint32_t k = n - windowStart();
    return Bit{where_.page, start_ + 5 + k / 8, static_cast<uint8_t>(1u << (k % 8))};
  }
  return inBitmap(bitmapPage(n / perBitmap_), n, perBitmap_);
}

namespace {

// Adds the pages of the set bits of bitmap[0, bytes), bit 0 standing for page first, that
// lie inside the file of count pages.
void collect(const uint8_t* bitmap, uint32_t bytes, uint64_t first, uint32_t count,
             std::vector<uint32_t>& pages) {
  for (uint32_t i = 0; i < bytes; ++i) {
    uint8_t bits = bitmap[i];
    while (bits) {
      const int k = __builtin_ctz(bits);
      bits &= bits - 1;
      const uint64_t pg = first + uint64_t{i} * 8 + k;
      if (pg < count && pg != 0) pages.push_back(static_cast<uint32_t>(pg));
    }
  }
}

// How many set bits of the same bitmap stand for pages at or past count.
uint64_t countPastEnd(const uint8_t* bitmap, uint32_t bytes, uint64_t first, uint32_t count) {
  uint64_t n = 0;
  const uint32_t from = first >= count ? 0 : static_cast<uint32_t>(std::min<uint64_t>((count - first) / 8, bytes));
  for (uint32_t i = from; i < bytes; ++i) {
    uint8_t bits = bitmap[i];
    while (bits) {
      const int k = __builtin_ctz(bits);
      bits &= bits - 1;
      if (first + uint64_t{i} * 8 + k >= count) ++n;
    }
  }
  return n;
}

}  // namespace

// Each bitmap of the map with the page its bit 0 stands for.
template <typename Visit>
void UsageMap::eachBitmap(const PageReader& page, Visit visit) const {
  if (isInline()) {
    visit(row_ + 5, length_ - 5, uint64_t{windowStart()});
    return;
  }
  for (uint32_t j = 0; j < bitmapSlots(); ++j) {
    const uint32_t bp = bitmapPage(j);
    if (bp == 0) continue;  // absent, or garbage in a trailing slot
    const uint8_t* bitmap = page(bp);
    if (bitmap[0] != kUsageBitmapPageType) corruptPage(bp, "不是页使用位图页");
    visit(bitmap + 4, pageSize_ - 4, uint64_t{j} * perBitmap_);
  }
}

std::vector<uint32_t> UsageMap::pages(const PageReader& page) const {
  // A large table's list is long: sized once, not grown by doubling.
  size_t bits = 0;
  eachBitmap(page, [&](const uint8_t* bitmap, uint32_t bytes, uint64_t) {
    for (uint32_t i = 0; i < bytes; ++i) bits += static_cast<size_t>(__builtin_popcount(bitmap[i]));
  });
  std::vector<uint32_t> out;
  out.reserve(bits);
  eachBitmap(page, [&](const uint8_t* bitmap, uint32_t bytes, uint64_t first) {
    collect(bitmap, bytes, first, pageCount_, out);
  });
  if (!isInline()) {
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
  }
  return out;
}

uint64_t UsageMap::pagesPastEnd(const PageReader& page) const {
  uint64_t n = 0;
  eachBitmap(page, [&](const uint8_t* bitmap, uint32_t bytes, uint64_t first) {
    n += countPastEnd(bitmap, bytes, first, pageCount_);
  });
  return n;
}

void UsageMap::writeInline(uint8_t* row, uint32_t length, uint32_t start,
                           const std::vector<uint32_t>& pages) {
  std::memset(row, 0, length);
  row[0] = kMapInline;
  put32le(row + 1, start);
  for (uint32_t q : pages) row[5 + (q - start) / 8] |= static_cast<uint8_t>(1u << ((q - start) % 8));
}

void UsageMap::writeReference(uint8_t* row, uint32_t length, const std::vector<uint32_t>& bitmaps) {
  std::memset(row, 0, length);
  row[0] = kMapReference;
  for (size_t j = 0; j < bitmaps.size() && 1 + 4 * j + 4 <= length; ++j)
    put32le(row + 1 + 4 * j, bitmaps[j]);
}

void UsageMap::initBitmapPage(uint8_t* page, uint32_t pageSize) {
  std::memset(page, 0, pageSize);
  page[0] = kUsageBitmapPageType;
  page[1] = 0x01;
}

UsageMap::PageReader UsageMap::readerOf(Pager& pager, PageRef& held) {
  return [&pager, &held](uint32_t n) {
    held = pager.get(n);
    return held.data();
  };
}

std::vector<uint32_t> UsageMap::pages(Pager& pager) const {
  PageRef held;
  return pages(readerOf(pager, held));
}

std::vector<uint32_t> readUsageMap(Pager& pager, RowPointer where) {
  if (where.isNull()) return {};
  const UsageMap map(where, pager.get(where.page), pager.version(), pager.pageCount());
  return map.pages(pager);
}

uint64_t usageMapPagesPastEnd(Pager& pager, RowPointer where) {
  if (where.isNull()) return 0;
  const UsageMap map(where, pager.get(where.page), pager.version(), pager.pageCount());
  PageRef held;
  return map.pagesPastEnd(UsageMap::readerOf(pager, held));
}

}  // namespace jet::format
