#include "jet/format/DataPage.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace jet::format {

void DataPage::noRow(uint16_t i) const { corruptPage(number_, "没有第 " + std::to_string(i) + " 行"); }

void DataPage::badRow(uint16_t i) const {
  corruptPage(number_, "第 " + std::to_string(i) + " 行的位置无效");
}

RowBytes rowAt(Pager& pager, RowPointer where) {
  PageRef ref = pager.get(where.page);
  const DataPage page(ref.data(), where.page, pager.version());
  uint32_t start, end;
  page.rowBounds(where.row, start, end);
  return {page.bytes() + start, end - start, page.slot(where.row), std::move(ref)};
}

bool DataPage::canAppend(uint32_t length) const {
  if (!hasRoomFor(length)) return false;
  uint32_t low = ps_;
  for (uint16_t i = 0; i < rows_; ++i) low = std::min<uint32_t>(low, slot(i) & kSlotOffsetMask);
  const uint32_t end = rows_ == 0 ? ps_ : (slot(rows_ - 1) & kSlotOffsetMask);
  if (end != low) return false;
  return low >= L_.slotTable + kSlotCost * (rows_ + 1u) + length;
}

bool DataPage::fitsRebuilt(uint16_t row, uint32_t length) const {
  uint32_t total = L_.slotTable + kSlotCost * rows_;
  for (uint16_t i = 0; i < rows_; ++i) {
    uint32_t start, end;
    rowBounds(i, start, end);
    total += i == row ? length : end - start;
  }
  return total <= ps_;
}

void DataPageEdit::init(uint8_t* p, const Version& v, uint32_t owner) {
  const DataPageLayout& L = dataPageLayout(v);
  p[0] = kDataPageType;
  p[1] = 0x01;
  put16le(p + L.freeSpace, uint16_t(v.pageSize() - L.slotTable));
  put32le(p + L.tdefPage, owner);
}

uint16_t DataPageEdit::append(const uint8_t* bytes, uint32_t length, uint16_t flags) {
  const DataPage page = read();
  const DataPageLayout& L = page.L_;
  const uint16_t rows = page.rowCount();
  const uint32_t end = rows == 0 ? page.ps_ : (page.slot(rows - 1) & kSlotOffsetMask);
  if (uint64_t(L.slotTable) + kSlotCost * (rows + 1u) + length > end)
    corruptPage(number_, "页内放不下新行");
  const uint32_t start = end - length;
  std::memcpy(p_ + start, bytes, length);
  put16le(p_ + L.slotTable + 2 * rows, uint16_t(start | flags));
  put16le(p_ + L.numRows, uint16_t(rows + 1));
  put16le(p_ + L.freeSpace, uint16_t(start - (L.slotTable + kSlotCost * (rows + 1u))));
  return rows;
}

void DataPageEdit::setFlags(uint16_t i, uint16_t flags) {
  const DataPage page = read();
  if (i >= page.rowCount()) page.noRow(i);
  put16le(p_ + page.L_.slotTable + 2 * i, uint16_t((page.slot(i) & ~kSlotFlags) | flags));
}

void DataPageEdit::rebuild(uint16_t row, const uint8_t* bytes, uint32_t length) {
  const DataPage page = read();
  const DataPageLayout& L = page.L_;
  const uint32_t ps = page.ps_;
  const uint16_t rows = page.rowCount();
  const uint32_t head = L.slotTable + kSlotCost * rows;
  std::vector<uint8_t> next(ps, 0);
  std::memcpy(next.data(), p_, head);
  uint32_t pos = ps;
  for (uint16_t i = 0; i < rows; ++i) {
    uint32_t start, end;
    page.rowBounds(i, start, end);
    const uint8_t* src = i == row ? bytes : p_ + start;
    const uint32_t len = i == row ? length : end - start;
    if (len > pos - head) corruptPage(number_, "页内放不下重排的行");
    pos -= len;
    std::memcpy(next.data() + pos, src, len);
    put16le(next.data() + L.slotTable + 2 * i, uint16_t((page.slot(i) & kSlotFlags) | pos));
  }
  put16le(next.data() + L.freeSpace, uint16_t(pos - head));
  std::memcpy(p_, next.data(), ps);
}

}  // namespace jet::format
