#include "jet/TableScan.h"

#include <stdexcept>
#include <string>

#include "jet/format/DataPage.h"
#include "jet/format/UsageMap.h"

namespace jet {

using namespace format;

namespace {
// Access writes one level of forwarding; a few more are tolerated, a cycle is not.
constexpr int kMaxOverflowHops = 8;

// Row bytes of the overflow target at `ptr`, following further pointers.
// holder pins the target's page.
void resolveOverflow(Pager& pager, const TableDef& def, RowPointer ptr, PageRef* holder,
                     const uint8_t** row, uint32_t* length, RowPointer* finalTarget) {
  for (int hop = 0; hop < kMaxOverflowHops; ++hop) {
    *holder = pager.get(ptr.page);
    const DataPage page(holder->data(), ptr.page, pager.version());
    if (page.owner() != def.page) corruptPage(ptr.page, "溢出行指向了别的表的页");
    if (ptr.row >= page.rowCount())
      corruptPage(ptr.page, "溢出行指向不存在的第 " + std::to_string(ptr.row) + " 行");
    uint32_t start, end;
    page.rowBounds(ptr.row, start, end);
    const uint16_t e = page.slot(ptr.row);
    if ((e & kSlotOverflow) && !(e & kSlotDeleted)) {
      if (end - start < 4) corruptPage(ptr.page, "溢出指针行太短");
      ptr = RowPointer::decode(le32(page.bytes() + start));
      continue;
    }
    *row = page.bytes() + start;
    *length = end - start;
    *finalTarget = ptr;
    return;
  }
  corruptPage(ptr.page, "溢出行指针链过长或出现循环");
}
}  // namespace

TableScan::TableScan(Pager& pager, const TableDef& def)
    : pager_(pager), def_(def), L_(dataPageLayout(pager.version())), pageSize_(pager.pageSize()) {
  pages_ = readUsageMap(pager_, def_.ownedMap);
}

bool TableScan::nextPage() {
  while (nextPage_ < pages_.size()) {
    const uint32_t n = pages_[nextPage_++];
    PageRef ref = pager_.get(n);
    const uint8_t* p = ref.data();
    // The map may name pages that were released and reused; only the table's own data
    // pages hold its rows.
    if (p[0] != kDataPageType || le32(p + L_.tdefPage) != def_.page) continue;
    const uint16_t rows = le16(p + L_.numRows);
    if (L_.slotTable + 2u * rows > pager_.pageSize()) corruptPage(n, "行数超出页容量");
    held_ = std::move(ref);
    page_ = p;
    slotTable_ = p + L_.slotTable;
    pageNo_ = n;
    slots_ = rows;
    slot_ = -1;
    minStart_ = L_.slotTable + 2u * rows;
    prevStart_ = pager_.pageSize();  // slot 0 ends at the page's end
    return true;
  }
  page_ = nullptr;
  held_.reset();
  target_.reset();
  return false;
}

bool TableScan::nextSlow() {
  if (sweep_) throw std::logic_error("TableScan::next() after a filtered walk began");
  for (;;) {
    if (tryNext()) return true;
    if (page_ != nullptr && slot_ + 1 < slots_) {
      ++slot_;
      const uint16_t e = le16(slotTable_ + 2 * slot_);
      const uint32_t end = prevStart_;
      prevStart_ = e & kSlotOffsetMask;
      if (e & kSlotDeleted) continue;
      return slowRow(e, end);
    }
    if (!nextPage()) return false;
  }
}

bool TableScan::slowRow(uint16_t e, uint32_t end) {
  const uint32_t start = e & kSlotOffsetMask;
  if (start < minStart_ || start >= end || end > pageSize_)
    corruptPage(pageNo_, "第 " + std::to_string(slot_) + " 行的位置无效");
  id_ = RowId{pageNo_, static_cast<uint16_t>(slot_)};
  if (e & kSlotOverflow) {
    follow(start, end);
  } else {
    row_ = page_ + start;
    rowLen_ = end - start;
  }
  return true;
}

void TableScan::follow(uint32_t start, uint32_t end) {
  if (end - start < 4) corruptPage(pageNo_, "溢出指针行太短");
  RowPointer target;
  resolveOverflow(pager_, def_, RowPointer::decode(le32(page_ + start)), &target_, &row_, &rowLen_,
                  &target);
  if (!targets_.insert((target.page << 8) | target.row).second)
    corruptPage(pageNo_, "两个行指向同一个溢出行（第 " + std::to_string(target.page) + " 页）");
}

void TableScan::startSweep(RowTest test, SweepTuning tuning) {
  if (started()) throw std::logic_error("TableScan::startSweep() after the walk began");
  view_ = std::make_unique<RowView>(pager_.version());
  sweep_ = std::make_unique<PageSweep>(pager_, pages_, def_.page, std::move(test), tuning);
}

bool TableScan::nextKept() {
  for (;;) {
    if (candidate_ != candidatesEnd_) {
      const Candidate c = *candidate_++;
      // The rows ruled out before it were reached all the same.
      if (c.prevLive >= 0) id_ = RowId{pageNo_, static_cast<uint16_t>(c.prevLive)};
      slot_ = c.slot;
      prevStart_ = c.entry & kSlotOffsetMask;
      return slowRow(c.entry, c.end);
    }
    if (pageLast_ >= 0) id_ = RowId{pageNo_, static_cast<uint16_t>(pageLast_)};
    pageLast_ = -1;
    if (!nextSweptPage()) {
      page_ = nullptr;
      held_.reset();
      return false;
    }
  }
}

bool TableScan::nextSweptPage() {
  for (;;) {
    if (chunk_ == nullptr || inChunk_ == chunk_->count) {
      chunk_ = sweep_->next();
      inChunk_ = 0;
      if (chunk_ == nullptr) return false;
    }
    const size_t i = inChunk_++;
    const uint32_t n = pages_[chunk_->first + i];
    const uint8_t* p;
    PageRows r;
    const Candidate* base;
    if (i < chunk_->readable) {
      held_.reset();
      p = chunk_->bytes.data() + i * pageSize_;
      r = chunk_->pages[i];
      base = chunk_->candidates.data();
    } else {
      held_ = pager_.get(n);  // the read that failed ahead fails here, in its place
      p = held_.data();
      reread_.clear();
      r = filterPage(p, pageSize_, L_, def_.page, sweep_->test(), *view_, reread_);
      base = reread_.data();
    }
    if (r.kind == PageKind::Skip) continue;
    if (r.kind == PageKind::Bad) corruptPage(n, "行数超出页容量");
    page_ = p;
    slotTable_ = p + L_.slotTable;
    pageNo_ = n;
    slots_ = 0;  // tryNext() walks nothing here
    slot_ = -1;
    minStart_ = L_.slotTable + 2u * r.rows;
    candidate_ = base + r.firstCandidate;
    candidatesEnd_ = base + r.endCandidate;
    pageLast_ = r.lastLive;
    return true;
  }
}

bool locateRow(Pager& pager, const TableDef& def, RowId id, PageRef* holder, const uint8_t** row,
               uint32_t* length) {
  if (id.page == 0 || id.page >= pager.pageCount()) return false;
  *holder = pager.get(id.page);
  const uint8_t* p = holder->data();
  if (p[0] != kDataPageType) return false;
  const DataPage page(p, id.page, pager.version());
  if (page.owner() != def.page || id.row >= page.rowCount()) return false;
  const uint16_t e = page.slot(id.row);
  if (e & kSlotDeleted) return false;
  uint32_t start, end;
  page.rowBounds(id.row, start, end);
  if (e & kSlotOverflow) {
    if (end - start < 4) corruptPage(id.page, "溢出指针行太短");
    RowPointer target;
    // The pointer is read before the holder moves on: the row lives on the target's page.
    resolveOverflow(pager, def, RowPointer::decode(le32(p + start)), holder, row, length, &target);
    return true;
  }
  *row = p + start;
  *length = end - start;
  return true;
}

}  // namespace jet
