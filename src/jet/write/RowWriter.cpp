#include "RowWriter.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "jet/Error.h"
#include "jet/Bytes.h"
#include "jet/format/DataPage.h"
#include "jet/format/UsageMap.h"
#include "jet/write/Encode.h"
#include "jet/write/RowCodec.h"

namespace jet::write {

using format::corruptPage;
using format::DataPage;
using format::DataPageEdit;
using format::le16;
using format::le32;
using format::RowPointer;
using format::buildRow;
using format::parseRow;

namespace {

// The global map: row 0 of page 1 (set bit = free page).
const RowPointer kGlobalMap{1, 0};

}  // namespace

RowWriter::RowWriter(Pager& pager, int codePage)
    : pager_(pager),
      version_(pager.version()),
      jet3_(version_.jet3()),
      ps_(version_.pageSize()),
      codePage_(codePage) {}

PageRef RowWriter::page(uint32_t n) { return pager_.get(n); }

void RowWriter::update(const format::TableDef& def, RowId id, const format::ColumnDef& c,
                       const Value& value, const std::function<void()>& alsoInside) {
  if (!alsoInside)
    for (const auto& idx : def.realIndexes)
      for (const auto& ic : idx.columns)
        if (ic.number == c.number) throw readOnly("有索引包含字段 '" + c.name + "'，暂不能修改");
  if (c.isLongValue()) throw readOnly("不支持修改备注或 OLE 字段");
  if (!jet3_ && c.calculated()) throw readOnly("字段 '" + c.name + "' 是计算字段，其值由表达式得出");

  // Everything that can refuse happens before the first page changes.
  std::optional<std::vector<uint8_t>> bytes = encodeValue(jet3_, c, value, codePage_);
  if (bytes && c.fixed() && c.type != format::coltype::kBoolean && bytes->size() != c.length)
    throw readOnly("字段 '" + c.name + "' 的存储长度与其类型不符");

  PageRef headPage = page(id.page);
  const uint8_t* hp = headPage.data();
  if (hp[0] != format::kDataPageType) throw noCurrentRecord();
  const DataPage hpage(hp, id.page, version_);
  if (hpage.owner() != def.page || id.row >= hpage.rowCount()) throw noCurrentRecord();
  const format::SlotKind hslot = hpage.kind(id.row);
  if (!format::isLive(hslot)) throw noCurrentRecord();
  Slot head{id.page, id.row};
  Slot data = head;
  const bool moved = hslot == format::SlotKind::Pointer;
  if (moved) {
    uint32_t s, e;
    hpage.rowBounds(id.row, s, e);
    if (e - s < 4) corruptPage(id.page, "转发指针太短");
    const RowPointer to = RowPointer::decode(le32(hp + s));
    data = Slot{to.page, to.row};
    const PageRef target = page(data.page);
    const std::optional<DataPage> dpage = DataPage::ifData(target.data(), data.page, version_);
    if (!dpage || dpage->owner() != def.page || data.row >= dpage->rowCount() ||
        dpage->kind(data.row) != format::SlotKind::Target)
      corruptPage(id.page, "第 " + std::to_string(id.row) + " 行的转发指针无效");
  }
  PageRef holder = page(data.page);
  const uint8_t* dp = holder.data();
  uint32_t start, end;
  DataPage(dp, data.page, version_).rowBounds(data.row, start, end);
  RowParts parts = parseRow(jet3_, def.numVarCols > 0, dp + start, end - start);
  setColumn(parts, def, c, bytes);
  std::vector<uint8_t> row = *buildRow(jet3_, parts);
  if (row.size() > end - start && row.size() > maxRowSize())
    throw recordTooLarge(row.size(), maxRowSize());
  // The pages change in place below; nothing here reads these bytes again.
  headPage.reset();
  holder.reset();

  pager_.beginSavepoint();
  try {
    place(def, head, data, moved, row, end - start);
    if (alsoInside) alsoInside();
    pager_.releaseSavepoint();
  } catch (...) {
    pager_.rollbackToSavepoint();
    forgetHints();
    throw;
  }
}

RowId RowWriter::insert(const format::TableDef& def, const std::vector<Value>& values,
                        std::optional<int32_t> autoNumber,
                        const std::function<void(RowId)>& alsoInside) {
  if (values.size() != def.columns.size()) throw invalidObject();
  // A full row: every column slot the table has ever had, every fixed column's bytes (zero
  // for Null), one variable slot per variable column, deleted ones included.
  RowParts parts;
  parts.hasVarTable = def.numVarCols > 0;
  parts.growColumns(def.maxCols);
  parts.vars.resize(def.numVarCols);
  size_t fixedLength = 0;
  for (const auto& c : def.columns)
    if (c.fixed() && c.type != format::coltype::kBoolean)
      fixedLength = std::max<size_t>(fixedLength, size_t(c.fixedOffset) + c.length);
  parts.fixed.assign(fixedLength, 0);
  for (size_t i = 0; i < values.size(); ++i) {
    const format::ColumnDef& c = def.columns[i];
    if (!values[i].isNull()) {
      if (c.isLongValue()) throw readOnly("暂不支持写入备注或 OLE 字段 '" + c.name + "' 的值");
      if (!jet3_ && c.calculated()) throw readOnly("字段 '" + c.name + "' 是计算字段，其值由表达式得出");
    }
    std::optional<std::vector<uint8_t>> bytes = encodeValue(jet3_, c, values[i], codePage_);
    if (bytes && c.fixed() && c.type != format::coltype::kBoolean && bytes->size() != c.length)
      throw readOnly("字段 '" + c.name + "' 的存储长度与其类型不符");
    setColumn(parts, def, c, bytes);
  }
  std::vector<uint8_t> row = *buildRow(jet3_, parts);
  // Room for a forwarding pointer, should a later update move the row.
  if (row.size() < 4) row = *buildRow(jet3_, parts, 4);
  if (row.size() > maxRowSize()) throw recordTooLarge(row.size(), maxRowSize());

  pager_.beginSavepoint();
  try {
    const uint32_t target = pageForInsert(def, uint32_t(row.size()));
    const RowId id{target, append(target, row, 0)};
    insertPage_[def.page] = target;
    uint8_t* t = pager_.modify(def.page);
    format::setTableRowCount(t, version_, format::tableRowCount(t, version_) + 1);
    if (autoNumber) format::setTableAutoNumber(t, version_, uint32_t(*autoNumber));
    if (alsoInside) alsoInside(id);
    pager_.releaseSavepoint();
    return id;
  } catch (...) {
    pager_.rollbackToSavepoint();
    forgetHints();
    throw;
  }
}

void RowWriter::forgetHints() {
  insertPage_.clear();
  freeFrom_ = 3;
}

// The last page an insert used while it has room; else the first page of the free-space
// map with room (pages without room for this row leave the map: it lists pages that can
// take rows); else a new page.
uint32_t RowWriter::pageForInsert(const format::TableDef& def, uint32_t length) {
  auto last = insertPage_.find(def.page);
  if (last != insertPage_.end() && last->second < pager_.pageCount() &&
      canAppend(page(last->second).data(), last->second, def.page, length))
    return last->second;
  const RowPointer map = def.freeMap.isNull() ? def.ownedMap : def.freeMap;
  for (uint32_t n : mapPages(map)) {
    const PageRef ref = page(n);
    const std::optional<DataPage> p = DataPage::ifData(ref.data(), n, version_);
    if (!p || p->owner() != def.page) continue;
    if (p->canAppend(length)) return n;
    if (!def.freeMap.isNull() && !p->hasRoomFor(length)) removeFromMap(def.freeMap, n);
  }
  return allocateDataPage(def);
}

void RowWriter::removeFromMap(RowPointer map, uint32_t n) {
  if (map.isNull()) return;
  const std::optional<format::UsageMap::Bit> bit = mapAt(map).bitOf(n);
  if (!bit || bit->page == 0 || !format::UsageMap::bitSet(page(bit->page).data(), *bit)) return;
  format::UsageMap::setBit(pager_.modify(bit->page), *bit, false);
}

void RowWriter::place(const format::TableDef& def, Slot head, Slot data, bool moved,
                      const std::vector<uint8_t>& row, uint32_t oldLength) {
  // 1. Not longer: the slot keeps its place, padded to its old length.
  if (row.size() <= oldLength) {
    RowParts parts = parseRow(jet3_, def.numVarCols > 0, row.data(), uint32_t(row.size()));
    if (auto padded = buildRow(jet3_, parts, oldLength)) {
      uint8_t* p = pager_.modify(data.page);
      uint32_t s, e;
      DataPage(p, data.page, version_).rowBounds(data.row, s, e);
      std::memcpy(p + s, padded->data(), padded->size());
      last_ = Placement::InPlace;
      return;
    }
  }
  // 2. Its own page, repacked: every slot keeps its number.
  if (repack(data.page, data.row, row)) {
    last_ = Placement::SamePage;
    return;
  }
  // 3. Another page of the table: the free-space map's first, then every owned page.
  uint32_t target = 0;
  for (auto map : {def.freeMap, def.ownedMap}) {
    for (uint32_t n : mapPages(map)) {
      if (n == data.page) continue;
      if (canAppend(page(n).data(), n, def.page, uint32_t(row.size()))) {
        target = n;
        break;
      }
    }
    if (target) break;
  }
  last_ = Placement::OtherPage;
  if (!target) {
    target = allocateDataPage(def);
    last_ = Placement::NewPage;
  }
  const uint16_t r = append(target, row, format::kSlotDeleted);
  // The row's first slot now only points at its data.
  uint8_t* hp = pager_.modify(head.page);
  uint32_t s, e;
  DataPage(hp, head.page, version_).rowBounds(head.row, s, e);
  if (e - s < 4) corruptPage(head.page, "行太短，放不下转发指针");
  format::put32le(hp + s, (target << 8) | r);
  DataPageEdit(hp, head.page, version_).setFlags(head.row, format::kSlotOverflow);
  if (moved) {
    // The old data slot is dead: deleted, so nothing points at it and nobody scans it.
    DataPageEdit(pager_.modify(data.page), data.page, version_).setFlags(data.row, format::kSlotFlags);
  }
}

bool RowWriter::repack(uint32_t n, uint16_t row, const std::vector<uint8_t>& bytes) {
  {
    const PageRef ref = page(n);
    if (!DataPage(ref.data(), n, version_).fitsRebuilt(row, uint32_t(bytes.size()))) return false;
  }
  DataPageEdit(pager_.modify(n), n, version_).rebuild(row, bytes.data(), uint32_t(bytes.size()));
  return true;
}

bool RowWriter::canAppend(const uint8_t* p, uint32_t pageNo, uint32_t owner, uint32_t length) {
  const std::optional<DataPage> page = DataPage::ifData(p, pageNo, version_);
  return page && page->owner() == owner && page->canAppend(length);
}

uint16_t RowWriter::append(uint32_t n, const std::vector<uint8_t>& bytes, uint16_t flags) {
  return DataPageEdit(pager_.modify(n), n, version_).append(bytes.data(), uint32_t(bytes.size()), flags);
}

// ---- pages and maps -------------------------------------------------------------------

format::UsageMap RowWriter::mapAt(RowPointer map) {
  return format::UsageMap(map, page(map.page), version_, pager_.pageCount());
}

std::vector<uint32_t> RowWriter::mapPages(RowPointer map) {
  if (map.isNull()) return {};
  return mapAt(map).pages(pager_);
}

bool RowWriter::inWindow(RowPointer map, uint32_t n) {
  return map.isNull() || mapAt(map).covers(n);
}

bool RowWriter::globallyFree(uint32_t n) {
  // A reference global map: only pages its bitmap pages cover can be told free.
  const std::optional<format::UsageMap::Bit> bit = mapAt(kGlobalMap).bitOf(n);
  return bit && bit->page != 0 && format::UsageMap::bitSet(page(bit->page).data(), *bit);
}

uint32_t RowWriter::allocateIndexPage(RowPointer map) {
  const uint32_t n = allocatePage({map});
  addToMap(map, n);
  return n;
}

void RowWriter::releasePage(RowPointer map, uint32_t n) {
  removeFromMap(map, n);
  freeFrom_ = std::min(freeFrom_, n);
  // Free in the global map.
  const std::optional<format::UsageMap::Bit> bit = mapAt(kGlobalMap).bitOf(n);
  if (!bit || bit->page == 0) return;
  format::UsageMap::setBit(pager_.modify(bit->page), *bit, true);
}

// An inline global map covers a window of pages; pages below it count as in use. A file
// that grows past the window's end moves the window up to start at the new page, which
// leaves the pages it uncovers in use (at worst a free one is never reused).
void RowWriter::slideGlobalWindow(uint32_t n) {
  const format::UsageMap global = mapAt(kGlobalMap);
  if (!global.isInline() || global.rowLength() <= 5) return;
  const uint32_t first = global.windowStart();
  const uint32_t span = global.windowSpan();
  if (n < uint64_t(first) + span) return;
  const uint32_t start = n & ~7u;
  const uint32_t count = pager_.pageCount();
  std::vector<uint32_t> free;
  for (uint32_t k = 0; k < span; ++k) {
    const uint32_t q = start + k;
    bool isFree = q >= count;
    if (!isFree && global.covers(q))
      isFree = format::UsageMap::bitSet(page(kGlobalMap.page).data(), *global.bitOf(q));
    if (isFree) free.push_back(q);
  }
  format::UsageMap::writeInline(pager_.modify(kGlobalMap.page) + global.rowStart(), global.rowLength(),
                                start, free);
}

// The global map's bit for a page: set = free. A page taken into use clears it.
void RowWriter::markUsed(uint32_t n) {
  if (!globallyFree(n))
    throw readOnly("数据库的全局页面映射容纳不下新页，暂不能扩展文件");
  const format::UsageMap::Bit bit = *mapAt(kGlobalMap).bitOf(n);
  format::UsageMap::setBit(pager_.modify(bit.page), bit, false);
}

// A page for the file's own bookkeeping or a table: a free page inside the file that the
// given maps can record without growing, else a new page at the end.
uint32_t RowWriter::allocatePage(const std::vector<RowPointer>& windows) {
  const uint32_t count = pager_.pageCount();
  uint32_t n = std::max<uint32_t>(3, freeFrom_);
  while (n < count && !globallyFree(n)) ++n;
  freeFrom_ = n;
  for (; n < count; ++n) {
    if (!globallyFree(n)) continue;
    bool fits = true;
    for (auto w : windows) fits = fits && inWindow(w, n);
    if (!fits) continue;
    markUsed(n);
    std::memset(pager_.modify(n), 0, ps_);
    return n;
  }
  slideGlobalWindow(count);
  if (!globallyFree(count))
    throw readOnly("数据库的全局页面映射容纳不下新页，暂不能扩展文件");
  const uint32_t added = pager_.append();
  markUsed(added);
  if (freeFrom_ == count) freeFrom_ = added + 1;
  return added;
}

uint32_t RowWriter::allocateDataPage(const format::TableDef& def) {
  const uint32_t n = allocatePage({def.ownedMap, def.freeMap});
  DataPageEdit::init(pager_.modify(n), version_, def.page);
  addToMap(def.ownedMap, n);
  addToMap(def.freeMap, n);
  return n;
}

uint32_t RowWriter::newBitmapPage() {
  const uint32_t bp = allocatePage({});
  format::UsageMap::initBitmapPage(pager_.modify(bp), ps_);
  return bp;
}

void RowWriter::addToMap(RowPointer map, uint32_t n) {
  if (map.isNull()) return;
  using format::UsageMap;
  const UsageMap m = mapAt(map);
  const uint32_t per = m.perBitmap(), s = m.rowStart(), len = m.rowLength();
  if (m.isInline()) {
    if (m.covers(n)) {
      UsageMap::setBit(pager_.modify(map.page), *m.bitOf(n), true);
      return;
    }
    std::vector<uint32_t> pages = mapPages(map);
    pages.push_back(n);
    const uint32_t lo = *std::min_element(pages.begin(), pages.end()) & ~7u;
    const uint32_t hi = *std::max_element(pages.begin(), pages.end());
    if (hi - lo < m.windowSpan()) {  // slide the window
      UsageMap::writeInline(pager_.modify(map.page) + s, len, lo, pages);
      return;
    }
    // Too wide for any window: the same row becomes references to bitmap pages.
    for (uint32_t q : pages)
      if (q / per >= m.bitmapSlots()) throw readOnly("页使用表容纳不下新页");
    std::vector<uint32_t> bitmaps(m.bitmapSlots(), 0);
    for (uint32_t q : pages) {
      uint32_t& bp = bitmaps[q / per];
      if (bp == 0) bp = newBitmapPage();
      UsageMap::setBit(pager_.modify(bp), UsageMap::inBitmap(bp, q, per), true);
    }
    UsageMap::writeReference(pager_.modify(map.page) + s, len, bitmaps);
    return;
  }
  if (!m.covers(n)) throw readOnly("页使用表容纳不下新页");
  const uint32_t j = n / per;
  uint32_t bp = m.bitmapPage(j);
  if (bp == 0) {
    bp = newBitmapPage();
    UsageMap::setBitmapPage(pager_.modify(map.page) + s, j, bp);
  }
  UsageMap::setBit(pager_.modify(bp), UsageMap::inBitmap(bp, n, per), true);
}

}  // namespace jet::write
