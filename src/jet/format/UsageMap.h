#pragma once
// Usage maps: a set of page numbers kept as a bitmap in one row of a data page, either
// inline (start page + bits) or as references to bitmap pages (type 0x05). The one home of
// the layout: the readers and the writer both go through UsageMap.
//
// A map never names page 0 (the header; 0 means "none" wherever a page is named), and a
// reference slot that names a page inside the file which is not a bitmap page is damage.
//
// REQUIRES: the bytes of the data page holding the map row; for pages(), a way to read the
// bitmap pages. GUARANTEES: pages() returns the set's pages in ascending order, without
// duplicates, all inside the file; a map that cannot be read fails as Corrupt naming its page.
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "jet/Bytes.h"
#include "jet/Pager.h"
#include "jet/format/HeaderPage.h"


namespace jet::format {

constexpr uint8_t kMapInline = 0x00;
constexpr uint8_t kMapReference = 0x01;

class UsageMap {
 public:
  // A page's bytes, valid until the next call.
  using PageReader = std::function<const uint8_t*(uint32_t)>;

  // The map in row where.row of holder (the bytes of page where.page, which the caller
  // keeps); pageCount is the file's length in pages. Fails as Corrupt when the row is not
  // a map.
  UsageMap(RowPointer where, const uint8_t* holder, const Version& v, uint32_t pageCount);
  // The same over a pinned page, which the map keeps pinned.
  UsageMap(RowPointer where, PageRef holder, const Version& v, uint32_t pageCount)
      : UsageMap(where, holder.data(), v, pageCount) {
    holder_ = std::move(holder);
  }

  RowPointer where() const { return where_; }
  bool isInline() const { return row_[0] == kMapInline; }
  uint32_t rowStart() const { return start_; }  // offset of the row in its page
  uint32_t rowLength() const { return length_; }

  // Inline: the first page of the window and how many pages it spans.
  uint32_t windowStart() const { return le32(row_ + 1); }
  uint32_t windowSpan() const { return (length_ - 5) * 8; }
  // Reference: pages per bitmap page, the slots of the row, and slot j's page (0: none;
  // a number past the file's end counts as none).
  uint32_t perBitmap() const { return perBitmap_; }
  uint32_t bitmapSlots() const { return (length_ - 1) / 4; }
  uint32_t bitmapPage(uint32_t j) const {
    const uint32_t bp = le32(row_ + 1 + 4 * j);
    return bp < pageCount_ ? bp : 0;
  }

  // Whether the map can record page n without changing its shape: inside an inline map's
  // window, or in a slot of a reference map.
  bool covers(uint32_t n) const;

  // Where page n's bit lives: a byte of the holder page (inline) or of a bitmap page. page
  // is 0 when a reference map covers n with no bitmap page yet; nullopt when not covered.
  struct Bit {
    uint32_t page;
    uint32_t offset;
    uint8_t mask;
  };
  std::optional<Bit> bitOf(uint32_t n) const;

  std::vector<uint32_t> pages(const PageReader& page) const;
  // The same, reading bitmap pages through the pager.
  std::vector<uint32_t> pages(Pager& pager) const;
  // How many pages the map names past the file's end (a sound file has none: a file cut
  // short has lost them), without listing the others.
  uint64_t pagesPastEnd(const PageReader& page) const;
  // A reader of pager's pages that keeps the last one pinned in held.
  static PageReader readerOf(Pager& pager, PageRef& held);

  // ---- changes over page buffers ----
  static void setBit(uint8_t* page, const Bit& bit, bool on) {
    if (on)
      page[bit.offset] |= bit.mask;
    else
      page[bit.offset] &= static_cast<uint8_t>(~bit.mask);
  }
  static bool bitSet(const uint8_t* page, const Bit& bit) { return page[bit.offset] & bit.mask; }
  // Rewrites the map row (row points at its first byte) as an inline map starting at
  // start (a multiple of 8) holding exactly pages. REQUIRES: all of them in the window.
  static void writeInline(uint8_t* row, uint32_t length, uint32_t start,
                          const std::vector<uint32_t>& pages);
  // Rewrites the map row as references to the given bitmap pages (0: none).
  static void writeReference(uint8_t* row, uint32_t length, const std::vector<uint32_t>& bitmaps);
  // Page n's bit in bitmap page bp (for a map being rebuilt as references).
  static Bit inBitmap(uint32_t bp, uint32_t n, uint32_t perBitmap) {
    const uint32_t k = n % perBitmap;
    return Bit{bp, 4 + k / 8, static_cast<uint8_t>(1u << (k % 8))};
  }
  // Names bp as the bitmap page of slot j of a reference map row.
  static void setBitmapPage(uint8_t* row, uint32_t j, uint32_t bp) { put32le(row + 1 + 4 * j, bp); }
  // A fresh bitmap page: its header and no bits.
  static void initBitmapPage(uint8_t* page, uint32_t pageSize);

 private:
  template <typename Visit>
  void eachBitmap(const PageReader& page, Visit visit) const;

  RowPointer where_;
  const uint8_t* row_;
  uint32_t start_;
  uint32_t length_;
  uint32_t pageSize_;
  uint32_t perBitmap_;
  uint32_t pageCount_;
  PageRef holder_;  // when the map pins its page
};

// The pages of the map at where, read through the pager (see UsageMap::pages).
std::vector<uint32_t> readUsageMap(Pager& pager, RowPointer where);
// How many pages the map at where names past the file's end (see UsageMap::pagesPastEnd).
uint64_t usageMapPagesPastEnd(Pager& pager, RowPointer where);

}  // namespace jet::format
