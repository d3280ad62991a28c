#include "RowWriter.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "jet/Error.h"
#include "jet/format/Bytes.h"
#include "jet/format/DataPage.h"
#include "jet/format/UsageMap.h"
#include "jet/write/Encode.h"
#include "jet/write/RowCodec.h"

namespace jet::write {

using format::corruptPage;
using format::le16;
using format::le32;
using format::RowPointer;

namespace {

void put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

constexpr uint16_t kFlags = format::kSlotDeleted | format::kSlotOverflow;
constexpr uint32_t kGlobalMapPage = 1;

// Rows on a page ask this much beyond their bytes when they join it.
constexpr uint32_t kSlotCost = 2;

}  // namespace

RowWriter::RowWriter(journal::PageFile& file, const format::Version& v, int codePage)
    : file_(file),
      jet3_(v.jet3()),
      ps_(v.pageSize()),
      hs_(jet3_ ? 10 : 14),
      tdef_(&format::tdefLayout(v)),
      codePage_(codePage) {}

const uint8_t* RowWriter::page(uint32_t n) {
  if (const uint8_t* p = file_.image(n)) return p;
  auto& buf = clean_[n];
  if (!buf) {
    auto b = std::make_unique<uint8_t[]>(ps_);
    file_.read(n, b.get());
    buf = std::move(b);
  }
  return buf.get();
}

uint16_t RowWriter::rowCount(const uint8_t* p) const { return le16(p + (jet3_ ? 8 : 12)); }
uint16_t RowWriter::slot(const uint8_t* p, uint16_t i) const { return le16(p + hs_ + 2 * i); }
void RowWriter::setSlot(uint8_t* p, uint16_t i, uint16_t v) const { put16(p + hs_ + 2 * i, v); }
uint16_t RowWriter::freeSpace(const uint8_t* p) const { return le16(p + 2); }

void RowWriter::rowBounds(const uint8_t* p, uint32_t n, uint16_t row, uint32_t& start,
                          uint32_t& end) {
  if (p[0] != format::kDataPageType) corruptPage(n, "不是数据页");
  const uint16_t rows = rowCount(p);
  if (row >= rows) corruptPage(n, "没有第 " + std::to_string(row) + " 行");
  start = slot(p, row) & format::kSlotOffsetMask;
  end = row == 0 ? ps_ : (slot(p, row - 1) & format::kSlotOffsetMask);
  // Rows deleted by Access may keep no bytes at all.
  const bool deleted = (slot(p, row) & kFlags) == kFlags;
  if (start < hs_ + 2u * rows || start > end || (start == end && !deleted) || end > ps_)
    corruptPage(n, "第 " + std::to_string(row) + " 行的位置无效");
}

void RowWriter::update(const format::TableDef& def, RowId id, const format::ColumnDef& c,
                       const Value& value, const std::function<void()>& alsoInside) {
  if (!alsoInside)
    for (const auto& idx : def.realIndexes)
      for (const auto& ic : idx.columns)
        if (ic.number == c.number) throw readOnly("有索引包含字段 '" + c.name + "'，暂不能修改");
  if (c.isLongValue()) throw readOnly("不支持修改备注或 OLE 字段");
  if (!jet3_ && (c.extFlags & 0xC0)) throw readOnly("字段 '" + c.name + "' 是计算字段，其值由表达式得出");

  // Everything that can refuse happens before the first page changes.
  std::optional<std::vector<uint8_t>> bytes = encodeValue(jet3_, c, value, codePage_);
  if (bytes && c.fixed() && c.type != format::coltype::kBoolean && bytes->size() != c.length)
    throw readOnly("字段 '" + c.name + "' 的存储长度与其类型不符");

  const uint8_t* hp = page(id.page);
  if (hp[0] != format::kDataPageType || le32(hp + 4) != def.page || id.row >= rowCount(hp))
    throw noCurrentRecord();
  const uint16_t hslot = slot(hp, id.row);
  if (hslot & format::kSlotDeleted) throw noCurrentRecord();
  Slot head{id.page, id.row};
  Slot data = head;
  const bool moved = hslot & format::kSlotOverflow;
  if (moved) {
    uint32_t s, e;
    rowBounds(hp, id.page, id.row, s, e);
    if (e - s < 4) corruptPage(id.page, "转发指针太短");
    const RowPointer to = RowPointer::decode(le32(hp + s));
    data = Slot{to.page, to.row};
    const uint8_t* dp = page(data.page);
    if (dp[0] != format::kDataPageType || le32(dp + 4) != def.page || data.row >= rowCount(dp) ||
        (slot(dp, data.row) & kFlags) != format::kSlotDeleted)
      corruptPage(id.page, "第 " + std::to_string(id.row) + " 行的转发指针无效");
  }
  const uint8_t* dp = page(data.page);
  uint32_t start, end;
  rowBounds(dp, data.page, data.row, start, end);
  RowParts parts = parseRow(jet3_, def.numVarCols > 0, dp + start, end - start);
  setColumn(parts, def, c, bytes);
  std::vector<uint8_t> row = *buildRow(jet3_, parts);
  if (row.size() > end - start && row.size() > maxRowSize())
    throw recordTooLarge(row.size(), maxRowSize());

  file_.beginSavepoint();
  try {
    place(def, head, data, moved, row, end - start);
    if (alsoInside) alsoInside();
    file_.releaseSavepoint();
  } catch (...) {
    file_.rollbackToSavepoint();
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

  file_.beginSavepoint();
  try {
    const uint32_t target = pageForInsert(def, uint32_t(row.size()));
    const RowId id{target, append(target, row, 0)};
    insertPage_[def.page] = target;
    const format::TdefLayout& L = *tdef_;
    uint8_t* t = file_.modify(def.page);
    put32(t + L.numRows, le32(t + L.numRows) + 1);
    if (autoNumber) put32(t + L.autoNumber, uint32_t(*autoNumber));
    if (alsoInside) alsoInside(id);
    file_.releaseSavepoint();
    return id;
  } catch (...) {
    file_.rollbackToSavepoint();
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
  if (last != insertPage_.end() && last->second < file_.pageCount() &&
      canAppend(page(last->second), def.page, length))
    return last->second;
  const RowPointer map = def.freeMap.isNull() ? def.ownedMap : def.freeMap;
  for (uint32_t n : mapPages(map)) {
    const uint8_t* p = page(n);
    if (canAppend(p, def.page, length)) return n;
    if (!def.freeMap.isNull() && p[0] == format::kDataPageType && le32(p + 4) == def.page &&
        (rowCount(p) >= 255 || freeSpace(p) < length + kSlotCost))
      removeFromMap(def.freeMap, n);
  }
  return allocateDataPage(def);
}

void RowWriter::removeFromMap(RowPointer map, uint32_t n) {
  if (map.isNull() || !inWindow(map, n)) return;
  uint32_t s, e;
  rowBounds(page(map.page), map.page, map.row, s, e);
  if (page(map.page)[s] == format::kMapInline) {
    const uint32_t k = n - le32(page(map.page) + s + 1);
    if (!((page(map.page)[s + 5 + k / 8] >> (k % 8)) & 1)) return;
    file_.modify(map.page)[s + 5 + k / 8] &= uint8_t(~(1u << (k % 8)));
    return;
  }
  const uint32_t per = (ps_ - 4) * 8;
  const uint32_t bp = le32(page(map.page) + s + 1 + 4 * (n / per));
  if (bp == 0 || bp >= file_.pageCount()) return;
  const uint32_t k = n % per;
  if (!((page(bp)[4 + k / 8] >> (k % 8)) & 1)) return;
  file_.modify(bp)[4 + k / 8] &= uint8_t(~(1u << (k % 8)));
}

void RowWriter::place(const format::TableDef& def, Slot head, Slot data, bool moved,
                      const std::vector<uint8_t>& row, uint32_t oldLength) {
  // 1. Not longer: the slot keeps its place, padded to its old length.
  if (row.size() <= oldLength) {
    RowParts parts = parseRow(jet3_, def.numVarCols > 0, row.data(), uint32_t(row.size()));
    if (auto padded = buildRow(jet3_, parts, oldLength)) {
      uint8_t* p = file_.modify(data.page);
      uint32_t s, e;
      rowBounds(p, data.page, data.row, s, e);
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
      if (canAppend(page(n), def.page, uint32_t(row.size()))) {
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
  uint8_t* hp = file_.modify(head.page);
  uint32_t s, e;
  rowBounds(hp, head.page, head.row, s, e);
  if (e - s < 4) corruptPage(head.page, "行太短，放不下转发指针");
  put32(hp + s, (target << 8) | r);
  setSlot(hp, head.row, uint16_t((slot(hp, head.row) & ~kFlags) | format::kSlotOverflow));
  if (moved) {
    // The old data slot is dead: deleted, so nothing points at it and nobody scans it.
    uint8_t* op = file_.modify(data.page);
    setSlot(op, data.row, uint16_t(slot(op, data.row) | kFlags));
  }
}

bool RowWriter::repack(uint32_t n, uint16_t row, const std::vector<uint8_t>& bytes) {
  const uint8_t* p = page(n);
  const uint16_t rows = rowCount(p);
  std::vector<std::pair<uint32_t, uint32_t>> bounds(rows);
  uint32_t total = hs_ + kSlotCost * rows;
  for (uint16_t i = 0; i < rows; ++i) {
    rowBounds(p, n, i, bounds[i].first, bounds[i].second);
    total += i == row ? uint32_t(bytes.size()) : bounds[i].second - bounds[i].first;
  }
  if (total > ps_) return false;
  std::vector<uint8_t> next(ps_, 0);
  std::memcpy(next.data(), p, hs_ + kSlotCost * rows);
  uint32_t pos = ps_;
  for (uint16_t i = 0; i < rows; ++i) {
    const uint8_t* src = i == row ? bytes.data() : p + bounds[i].first;
    const uint32_t len = i == row ? uint32_t(bytes.size()) : bounds[i].second - bounds[i].first;
    pos -= len;
    std::memcpy(next.data() + pos, src, len);
    setSlot(next.data(), i, uint16_t((slot(p, i) & kFlags) | pos));
  }
  put16(next.data() + 2, uint16_t(pos - (hs_ + kSlotCost * rows)));
  std::memcpy(file_.modify(n), next.data(), ps_);
  return true;
}

// A page takes a row at its end of the slot table only if its last slot's row is its
// lowest (rows end where the previous slot's row starts).
bool RowWriter::canAppend(const uint8_t* p, uint32_t owner, uint32_t length) {
  if (p[0] != format::kDataPageType || le32(p + 4) != owner) return false;
  const uint16_t rows = rowCount(p);
  if (rows >= 255 || freeSpace(p) < length + kSlotCost) return false;
  uint32_t low = ps_;
  for (uint16_t i = 0; i < rows; ++i) low = std::min<uint32_t>(low, slot(p, i) & format::kSlotOffsetMask);
  const uint32_t end = rows == 0 ? ps_ : (slot(p, rows - 1) & format::kSlotOffsetMask);
  if (end != low) return false;
  return low >= hs_ + kSlotCost * (rows + 1u) + length;
}

uint16_t RowWriter::append(uint32_t n, const std::vector<uint8_t>& bytes, uint16_t flags) {
  uint8_t* p = file_.modify(n);
  const uint16_t rows = rowCount(p);
  const uint32_t end = rows == 0 ? ps_ : (slot(p, rows - 1) & format::kSlotOffsetMask);
  const uint32_t start = end - uint32_t(bytes.size());
  std::memcpy(p + start, bytes.data(), bytes.size());
  setSlot(p, rows, uint16_t(start | flags));
  put16(p + (jet3_ ? 8 : 12), uint16_t(rows + 1));
  put16(p + 2, uint16_t(start - (hs_ + kSlotCost * (rows + 1u))));
  return rows;
}

// ---- pages and maps -------------------------------------------------------------------

std::vector<uint32_t> RowWriter::mapPages(RowPointer map) {
  std::vector<uint32_t> out;
  if (map.isNull()) return out;
  const uint8_t* p = page(map.page);
  uint32_t s, e;
  rowBounds(p, map.page, map.row, s, e);
  const uint8_t* r = p + s;
  const uint32_t len = e - s;
  const uint32_t count = file_.pageCount();
  if (r[0] == format::kMapInline) {
    if (len < 5) corruptPage(map.page, "页使用表太短");
    const uint32_t first = le32(r + 1);
    for (uint32_t i = 0; i < (len - 5) * 8; ++i) {
      if (r[5 + i / 8] == 0) {
        i |= 7;
        continue;
      }
      if ((r[5 + i / 8] >> (i % 8)) & 1)
        if (uint64_t(first) + i < count) out.push_back(first + i);
    }
  } else if (r[0] == format::kMapReference) {
    const uint32_t per = (ps_ - 4) * 8;
    for (uint32_t j = 0; 1 + 4 * j + 4 <= len; ++j) {
      const uint32_t bp = le32(r + 1 + 4 * j);
      if (bp == 0 || bp >= count) continue;
      const uint8_t* b = page(bp);
      if (b[0] != format::kUsageBitmapPageType) continue;
      for (uint32_t i = 0; i < per; ++i) {
        if (b[4 + i / 8] == 0) {
          i |= 7;
          continue;
        }
        if ((b[4 + i / 8] >> (i % 8)) & 1)
          if (uint64_t(j) * per + i < count) out.push_back(j * per + i);
      }
    }
  } else {
    corruptPage(map.page, "未知的页使用表类型");
  }
  return out;
}

bool RowWriter::inWindow(RowPointer map, uint32_t n) {
  if (map.isNull()) return true;
  const uint8_t* p = page(map.page);
  uint32_t s, e;
  rowBounds(p, map.page, map.row, s, e);
  const uint8_t* r = p + s;
  if (r[0] == format::kMapInline) {
    const uint32_t first = le32(r + 1);
    return n >= first && uint64_t(n) < uint64_t(first) + uint64_t(e - s - 5) * 8;
  }
  const uint32_t per = (ps_ - 4) * 8;
  return 1 + 4 * (n / per) + 4 <= e - s;
}

bool RowWriter::globallyFree(uint32_t n) {
  const uint8_t* p = page(kGlobalMapPage);
  uint32_t s, e;
  rowBounds(p, kGlobalMapPage, 0, s, e);
  const uint8_t* r = p + s;
  if (r[0] == format::kMapInline) {
    const uint32_t first = le32(r + 1);
    if (n < first || uint64_t(n) >= uint64_t(first) + uint64_t(e - s - 5) * 8) return false;
    const uint32_t k = n - first;
    return (r[5 + k / 8] >> (k % 8)) & 1;
  }
  // A reference global map: only pages its bitmap pages cover can be told free.
  const uint32_t per = (ps_ - 4) * 8;
  const uint32_t j = n / per;
  if (1 + 4 * j + 4 > e - s) return false;
  const uint32_t bp = le32(r + 1 + 4 * j);
  if (bp == 0 || bp >= file_.pageCount()) return false;
  const uint32_t k = n - j * per;
  return (page(bp)[4 + k / 8] >> (k % 8)) & 1;
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
  const uint8_t* p = page(kGlobalMapPage);
  uint32_t s, e;
  rowBounds(p, kGlobalMapPage, 0, s, e);
  if (p[s] == format::kMapInline) {
    const uint32_t first = le32(p + s + 1);
    if (n < first || uint64_t(n) >= uint64_t(first) + uint64_t(e - s - 5) * 8) return;
    const uint32_t k = n - first;
    file_.modify(kGlobalMapPage)[s + 5 + k / 8] |= uint8_t(1u << (k % 8));
    return;
  }
  const uint32_t per = (ps_ - 4) * 8;
  if (1 + 4 * (n / per) + 4 > e - s) return;
  const uint32_t bp = le32(p + s + 1 + 4 * (n / per));
  if (bp == 0 || bp >= file_.pageCount()) return;
  const uint32_t k = n % per;
  file_.modify(bp)[4 + k / 8] |= uint8_t(1u << (k % 8));
}

// An inline global map covers a window of pages; pages below it count as in use. A file
// that grows past the window's end moves the window up to start at the new page, which
// leaves the pages it uncovers in use (at worst a free one is never reused).
void RowWriter::slideGlobalWindow(uint32_t n) {
  const uint8_t* p = page(kGlobalMapPage);
  uint32_t s, e;
  rowBounds(p, kGlobalMapPage, 0, s, e);
  if (p[s] != format::kMapInline || e - s <= 5) return;
  const uint32_t first = le32(p + s + 1);
  const uint32_t span = (e - s - 5) * 8;
  if (n < uint64_t(first) + span) return;
  const uint32_t start = n & ~7u;
  const uint32_t count = file_.pageCount();
  std::vector<uint8_t> bits(e - s - 5, 0);
  for (uint32_t k = 0; k < span; ++k) {
    const uint32_t q = start + k;
    bool free = q >= count;
    if (!free && q >= first && q < uint64_t(first) + span)
      free = (p[s + 5 + (q - first) / 8] >> ((q - first) % 8)) & 1;
    if (free) bits[k / 8] |= uint8_t(1u << (k % 8));
  }
  uint8_t* w = file_.modify(kGlobalMapPage);
  put32(w + s + 1, start);
  std::memcpy(w + s + 5, bits.data(), bits.size());
}

// The global map's bit for a page: set = free. A page taken into use clears it.
void RowWriter::markUsed(uint32_t n) {
  if (!globallyFree(n))
    throw readOnly("数据库的全局页面映射容纳不下新页，暂不能扩展文件");
  const uint8_t* p = page(kGlobalMapPage);
  uint32_t s, e;
  rowBounds(p, kGlobalMapPage, 0, s, e);
  if (p[s] == format::kMapInline) {
    uint8_t* w = file_.modify(kGlobalMapPage);
    const uint32_t k = n - le32(w + s + 1);
    w[s + 5 + k / 8] &= uint8_t(~(1u << (k % 8)));
    return;
  }
  const uint32_t per = (ps_ - 4) * 8;
  const uint32_t bp = le32(p + s + 1 + 4 * (n / per));
  const uint32_t k = n % per;
  file_.modify(bp)[4 + k / 8] &= uint8_t(~(1u << (k % 8)));
}

// A page for the file's own bookkeeping or a table: a free page inside the file that the
// given maps can record without growing, else a new page at the end.
uint32_t RowWriter::allocatePage(const std::vector<RowPointer>& windows) {
  const uint32_t count = file_.pageCount();
  uint32_t n = std::max<uint32_t>(3, freeFrom_);
  while (n < count && !globallyFree(n)) ++n;
  freeFrom_ = n;
  for (; n < count; ++n) {
    if (!globallyFree(n)) continue;
    bool fits = true;
    for (auto w : windows) fits = fits && inWindow(w, n);
    if (!fits) continue;
    markUsed(n);
    std::memset(file_.modify(n), 0, ps_);
    return n;
  }
  slideGlobalWindow(count);
  if (!globallyFree(count))
    throw readOnly("数据库的全局页面映射容纳不下新页，暂不能扩展文件");
  const uint32_t added = file_.append();
  markUsed(added);
  if (freeFrom_ == count) freeFrom_ = added + 1;
  return added;
}

uint32_t RowWriter::allocateDataPage(const format::TableDef& def) {
  const uint32_t n = allocatePage({def.ownedMap, def.freeMap});
  uint8_t* p = file_.modify(n);
  p[0] = format::kDataPageType;
  p[1] = 0x01;
  put16(p + 2, uint16_t(ps_ - hs_));
  put32(p + 4, def.page);
  addToMap(def.ownedMap, n);
  addToMap(def.freeMap, n);
  return n;
}

void RowWriter::addToMap(RowPointer map, uint32_t n) {
  if (map.isNull()) return;
  const uint32_t per = (ps_ - 4) * 8;
  uint32_t s, e;
  rowBounds(page(map.page), map.page, map.row, s, e);
  const uint32_t len = e - s;
  if (page(map.page)[s] == format::kMapInline) {
    if (inWindow(map, n)) {
      uint8_t* r = file_.modify(map.page) + s;
      const uint32_t k = n - le32(r + 1);
      r[5 + k / 8] |= uint8_t(1u << (k % 8));
      return;
    }
    std::vector<uint32_t> pages = mapPages(map);
    pages.push_back(n);
    const uint32_t lo = *std::min_element(pages.begin(), pages.end()) & ~7u;
    const uint32_t hi = *std::max_element(pages.begin(), pages.end());
    if (hi - lo < (len - 5) * 8) {
      // Slide the window.
      uint8_t* r = file_.modify(map.page) + s;
      std::memset(r + 1, 0, len - 1);
      put32(r + 1, lo);
      for (uint32_t q : pages) r[5 + (q - lo) / 8] |= uint8_t(1u << ((q - lo) % 8));
      return;
    }
    // Too wide for any window: the same row becomes references to bitmap pages.
    for (uint32_t q : pages)
      if (1 + 4 * (q / per) + 4 > len) throw readOnly("页使用表容纳不下新页");
    std::vector<uint32_t> bitmaps((len - 1) / 4, 0);
    for (uint32_t q : pages) {
      uint32_t& bp = bitmaps[q / per];
      if (bp == 0) {
        bp = allocatePage({});
        uint8_t* b = file_.modify(bp);
        b[0] = format::kUsageBitmapPageType;
        b[1] = 0x01;
      }
      const uint32_t k = q % per;
      file_.modify(bp)[4 + k / 8] |= uint8_t(1u << (k % 8));
    }
    uint8_t* r = file_.modify(map.page) + s;
    std::memset(r, 0, len);
    r[0] = format::kMapReference;
    for (size_t j = 0; j < bitmaps.size(); ++j) put32(r + 1 + 4 * j, bitmaps[j]);
    return;
  }
  const uint32_t j = n / per;
  if (1 + 4 * j + 4 > len) throw readOnly("页使用表容纳不下新页");
  uint32_t bp = le32(page(map.page) + s + 1 + 4 * j);
  if (bp == 0 || bp >= file_.pageCount()) {
    bp = allocatePage({});
    uint8_t* b = file_.modify(bp);
    b[0] = format::kUsageBitmapPageType;
    b[1] = 0x01;
    put32(file_.modify(map.page) + s + 1 + 4 * j, bp);
  }
  const uint32_t k = n % per;
  file_.modify(bp)[4 + k / 8] |= uint8_t(1u << (k % 8));
}

}  // namespace jet::write
