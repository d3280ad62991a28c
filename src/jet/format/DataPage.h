#pragma once
// Data pages (type 0x01): table rows, long-value (LVAL) rows and usage-map rows, found
// through a slot table at the page's start and stored from the page's end downwards.
//
// REQUIRES: ps bytes of a page. GUARANTEES: rowBounds() returns a non-empty range inside
// the page, below the slot table, or throws Corrupt naming the page and slot.
#include <cstdint>

#include "jet/format/Bytes.h"
#include "jet/format/HeaderPage.h"

namespace jet::format {

struct DataPageLayout {
  int freeSpace = 2;
  int tdefPage = 4;  // owning table's TDEF page; "LVAL" on long-value pages
  int numRows;
  int slotTable;     // = header size
};
constexpr DataPageLayout kDataPageJet3{.numRows = 8, .slotTable = 10};
constexpr DataPageLayout kDataPageJet4{.numRows = 12, .slotTable = 14};
inline const DataPageLayout& dataPageLayout(const Version& v) {
  return v.jet3() ? kDataPageJet3 : kDataPageJet4;
}

constexpr uint8_t kDataPageType = 0x01;
constexpr uint8_t kUsageBitmapPageType = 0x05;
constexpr uint16_t kSlotDeleted = 0x8000;   // deleted, or the target of an overflow pointer
constexpr uint16_t kSlotOverflow = 0x4000;  // the row's bytes start with a pointer to its data
constexpr uint16_t kSlotOffsetMask = 0x1FFF;
constexpr uint32_t kLvalMarker = 0x4C41564C;  // "LVAL"

class DataPage {
 public:
  // Checks the type byte and that the slot table fits in the page.
  DataPage(const uint8_t* page, uint32_t number, const Version& v)
      : p_(page), number_(number), ps_(v.pageSize()), L_(dataPageLayout(v)) {
    if (p_[0] != kDataPageType) corruptPage(number_, "不是数据页");
    rows_ = le16(p_ + L_.numRows);
    if (L_.slotTable + 2u * rows_ > ps_) corruptPage(number_, "行数超出页容量");
  }

  const uint8_t* bytes() const { return p_; }
  uint32_t number() const { return number_; }
  uint16_t rowCount() const { return rows_; }
  uint32_t owner() const { return le32(p_ + L_.tdefPage); }
  bool isLongValuePage() const { return owner() == kLvalMarker; }
  uint16_t slot(uint16_t i) const { return le16(p_ + L_.slotTable + 2 * i); }

  // The bytes of slot i: [start, end). Rows end where the previous slot's row starts.
  void rowBounds(uint16_t i, uint32_t& start, uint32_t& end) const {
    start = slot(i) & kSlotOffsetMask;
    end = i == 0 ? ps_ : (slot(i - 1) & kSlotOffsetMask);
    if (start < L_.slotTable + 2u * rows_ || start >= end || end > ps_) badRow(i);
  }

 private:
  [[noreturn]] void badRow(uint16_t i) const;
  const uint8_t* p_;
  uint32_t number_;
  uint32_t ps_;
  const DataPageLayout& L_;
  uint16_t rows_;
};

}  // namespace jet::format
