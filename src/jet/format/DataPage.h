#pragma once
// Data pages (type 0x01): table rows, long-value (LVAL) rows and usage-map rows, found
// through a slot table at the page's start and stored from the page's end downwards.
// DataPage reads one; DataPageEdit changes one in place: a fresh page, a row appended at
// the end of the slot table, a slot's flags, and the page rebuilt with its rows packed
// against its end (every slot keeping its number and flags).
//
// A row's bytes run from its slot's offset to where the previous slot's row starts (the
// page's end for slot 0), below the slot table. A row that is read is never empty; a
// deleted slot (both flag bits) may keep no bytes, as Access leaves some, and nobody reads
// it, so its empty range is accepted and carried along when the page is rebuilt.
//
// Every walk over a page's slots goes through here: DataPage for a row by its number, its
// SlotCursor for the rows in slot order (scans, the filtered sweep), rowAt() for one row
// read through the pager.
//
// REQUIRES: ps bytes of a page. GUARANTEES: rowBounds() returns a range inside the page,
// below the slot table, non-empty unless the slot is deleted, or throws Corrupt naming the
// page and slot. The free space a change leaves is the gap between the slot table and the
// lowest row, as Access keeps it.
#include <cstdint>
#include <optional>

#include "jet/Pager.h"
#include "jet/Bytes.h"
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
constexpr uint16_t kSlotFlags = kSlotDeleted | kSlotOverflow;
constexpr uint16_t kSlotOffsetMask = 0x1FFF;
constexpr uint32_t kLvalMarker = 0x4C41564C;  // "LVAL"
// A row's slot number is one byte in every pointer to it.
constexpr uint16_t kMaxRowsPerPage = 255;
// A row joining a page costs its bytes and its slot.
constexpr uint32_t kSlotCost = 2;

// What a slot holds, by its two flag bits (the enumerators are their values).
enum class SlotKind : uint8_t {
  Row = 0,      // a row
  Pointer = 1,  // a row whose first four bytes point at its data (overflow)
  Target = 2,   // the data an overflow pointer points at: never a row by itself
  Deleted = 3,  // a deleted row
};
inline SlotKind slotKind(uint16_t entry) { return static_cast<SlotKind>(entry >> 14); }
// A row of the table: a walk takes it (following a pointer to its data).
inline bool isLive(SlotKind k) { return k < SlotKind::Target; }

// A page as a walk over one table's rows takes it.
enum class PageKind : uint8_t {
  Skip,  // no data page of the table (its map may name a page released and reused)
  Rows,  // the table's data page
  Bad,   // the table's data page, its slot table running past the page's end
};

// The slots of a data page in order, without a check that throws: the common row costs a
// few instructions. Each slot's row ends where the previous slot's row starts (the page's
// end for slot 0); whether that range is a row's is for the caller to ask (sound()).
class SlotCursor {
 public:
  SlotCursor() = default;  // over no slots

  // To the next slot, whatever it holds; false past the last.
  bool next() noexcept {
    if (slot_ + 1 >= rows_) return false;
    ++slot_;
    entry_ = le16(slots_ + 2 * slot_);
    end_ = start_;
    start_ = entry_ & kSlotOffsetMask;
    return true;
  }
  // To the next live row that is a plain one (no pointer, sound()), passing dead slots;
  // false when the slots end, or when the next live slot is not plain: next() then moves
  // to it, the dead slots before it already passed.
  bool nextRow() noexcept {
    while (slot_ + 1 < rows_) {
      const uint16_t e = le16(slots_ + 2 * (slot_ + 1));
      const uint32_t start = e & kSlotOffsetMask;
      const bool dead = e & kSlotDeleted;
      if (!dead && ((e & kSlotOverflow) || !inRows(start, start_))) return false;
      ++slot_;
      entry_ = e;
      end_ = start_;
      start_ = start;
      if (!dead) return true;
    }
    return false;
  }
  // To slot i directly. REQUIRES: i below the page's row count.
  void seek(uint16_t i) noexcept {
    slot_ = i;
    entry_ = le16(slots_ + 2 * i);
    start_ = entry_ & kSlotOffsetMask;
    end_ = i == 0 ? ps_ : le16(slots_ + 2 * (i - 1)) & kSlotOffsetMask;
  }

  uint16_t slot() const { return static_cast<uint16_t>(slot_); }
  uint16_t entry() const { return entry_; }
  SlotKind kind() const { return slotKind(entry_); }
  // The slot's bytes: [start, end).
  uint32_t start() const { return start_; }
  uint32_t end() const { return end_; }
  uint32_t length() const { return end_ - start_; }
  // The range lies in the rows' part of the page and is not empty, as every row's does.
  bool sound() const { return inRows(start_, end_); }

 private:
  friend class DataPage;
  SlotCursor(const uint8_t* page, uint16_t rows, uint32_t ps, const DataPageLayout& L)
      : slots_(page + L.slotTable), ps_(ps), minStart_(L.slotTable + 2u * rows), rows_(rows),
        start_(ps) {}
  bool inRows(uint32_t start, uint32_t end) const { return start >= minStart_ && start < end && end <= ps_; }

  const uint8_t* slots_ = nullptr;
  uint32_t ps_ = 0;
  uint32_t minStart_ = 0;
  int rows_ = 0;
  int slot_ = -1;
  uint16_t entry_ = 0;
  uint32_t start_ = 0;  // before the first slot: the page's end
  uint32_t end_ = 0;
};

class DataPage {
 public:
  // Checks the type byte and that the slot table fits in the page.
  DataPage(const uint8_t* page, uint32_t number, const Version& v)
      : p_(page), number_(number), ps_(v.pageSize()), L_(dataPageLayout(v)) {
    if (p_[0] != kDataPageType) corruptPage(number_, "不是数据页");
    rows_ = le16(p_ + L_.numRows);
    if (L_.slotTable + 2u * rows_ > ps_) corruptPage(number_, "行数超出页容量");
  }
  // The page read as a data page, or nothing when it is none or its slot table overruns it.
  static std::optional<DataPage> ifData(const uint8_t* page, uint32_t number, const Version& v) {
    const DataPageLayout& L = dataPageLayout(v);
    if (page[0] != kDataPageType || L.slotTable + 2u * le16(page + L.numRows) > v.pageSize())
      return std::nullopt;
    return DataPage(page, number, v);
  }
  // The slots of a page that kindFor() takes as Rows, without the checks of a DataPage.
  static SlotCursor slotsOf(const uint8_t* page, const Version& v) noexcept {
    const DataPageLayout& L = dataPageLayout(v);
    return SlotCursor(page, le16(page + L.numRows), v.pageSize(), L);
  }
  // How a walk over table `owner` takes the page, without throwing.
  static PageKind kindFor(const uint8_t* page, uint32_t owner, const Version& v) noexcept {
    const DataPageLayout& L = dataPageLayout(v);
    if (page[0] != kDataPageType || le32(page + L.tdefPage) != owner) return PageKind::Skip;
    return L.slotTable + 2u * le16(page + L.numRows) > v.pageSize() ? PageKind::Bad : PageKind::Rows;
  }

  const uint8_t* bytes() const { return p_; }
  uint32_t number() const { return number_; }
  uint16_t rowCount() const { return rows_; }
  uint32_t owner() const { return le32(p_ + L_.tdefPage); }
  bool isLongValuePage() const { return owner() == kLvalMarker; }
  uint16_t slot(uint16_t i) const { return le16(p_ + L_.slotTable + 2 * i); }
  // REQUIRES: i < rowCount().
  SlotKind kind(uint16_t i) const { return slotKind(slot(i)); }
  uint16_t freeSpace() const { return le16(p_ + L_.freeSpace); }
  // The slots in order, from before the first.
  SlotCursor slots() const { return SlotCursor(p_, rows_, ps_, L_); }

  // The first byte past the slot table: no row starts before it.
  uint32_t slotTableEnd() const { return L_.slotTable + 2u * rows_; }
  // The bytes of slot i: [start, end). Rows end where the previous slot's row starts.
  void rowBounds(uint16_t i, uint32_t& start, uint32_t& end) const {
    if (i >= rows_) noRow(i);
    if (!boundsOf(i, start, end)) badRow(i);
  }
  // The same for a slot that exists, false (and the bounds as the slots say) when they
  // lie outside the rows' part of the page. Only a row deleted with no bytes kept may be
  // empty.
  bool boundsOf(uint16_t i, uint32_t& start, uint32_t& end) const {
    SlotCursor c = slots();
    c.seek(i);
    start = c.start();
    end = c.end();
    return c.sound() || (start == end && c.kind() == SlotKind::Deleted && start >= slotTableEnd() && end <= ps_);
  }

  // Free space as recorded allows one more row of `length` bytes, and a slot number is left.
  bool hasRoomFor(uint32_t length) const {
    return rows_ < kMaxRowsPerPage && freeSpace() >= length + kSlotCost;
  }
  // A row of `length` bytes can go at the end of the slot table: there is room, and the
  // last slot's row is the page's lowest, so the new one ends where that one starts.
  bool canAppend(uint32_t length) const;
  // The page rebuilt with row `row` replaced by `length` bytes still fits.
  bool fitsRebuilt(uint16_t row, uint32_t length) const;

 private:
  friend class DataPageEdit;
  [[noreturn]] void noRow(uint16_t i) const;
  [[noreturn]] void badRow(uint16_t i) const;
  const uint8_t* p_;
  uint32_t number_;
  uint32_t ps_;
  const DataPageLayout& L_;
  uint16_t rows_;
};

// The bytes of "row r on page p" in a data page, with the page pinned.
struct RowBytes {
  const uint8_t* data;
  uint32_t length;
  uint16_t slot;  // the raw slot entry, flags included
  PageRef holder;
};
// Fails as Corrupt when the page is no data page or has no such row.
RowBytes rowAt(Pager& pager, RowPointer where);

class DataPageEdit {
 public:
  DataPageEdit(uint8_t* page, uint32_t number, const Version& v) : p_(page), number_(number), v_(v) {}

  // A zeroed page becomes an empty data page of `owner`.
  static void init(uint8_t* page, const Version& v, uint32_t owner);

  // Appends a row of `length` bytes as the last slot, with the given slot flags; returns
  // its slot number. REQUIRES: DataPage::canAppend(length).
  uint16_t append(const uint8_t* bytes, uint32_t length, uint16_t flags);
  // Replaces slot i's flag bits, keeping its offset.
  void setFlags(uint16_t i, uint16_t flags);
  // Every row packed again from the page's end down in slot order, row `row` (if any)
  // replaced by `length` bytes; the header and the slots' flags stay, the bytes between
  // the slot table and the rows become zero. REQUIRES: DataPage::fitsRebuilt(row, length).
  void rebuild(uint16_t row, const uint8_t* bytes, uint32_t length);
  void rebuild() { rebuild(kNoRow, nullptr, 0); }

 private:
  static constexpr uint16_t kNoRow = 0xFFFF;
  DataPage read() const { return DataPage(p_, number_, v_); }
  uint8_t* p_;
  uint32_t number_;
  Version v_;
};

}  // namespace jet::format
