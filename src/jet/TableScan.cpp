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
    if (page.kind(ptr.row) == SlotKind::Pointer) {
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
    : pager_(pager), def_(def) {
  pages_ = readUsageMap(pager_, def_.ownedMap);
}

bool TableScan::nextPage() {
  while (nextPage_ < pages_.size()) {
    const uint32_t n = pages_[nextPage_++];
    PageRef ref = pager_.get(n);
    // The map may name pages that were released and reused; only the table's own data
    // pages hold its rows.
    const PageKind kind = DataPage::kindFor(ref.data(), def_.page, pager_.version());
    if (kind == PageKind::Skip) continue;
    if (kind == PageKind::Bad) corruptPage(n, "行数超出页容量");
    held_ = std::move(ref);
    page_ = held_.data();
    pageNo_ = n;
    slots_ = DataPage(page_, n, pager_.version()).slots();
    return true;
  }
  page_ = nullptr;
  slots_ = SlotCursor();
  held_.reset();
  target_.reset();
  return false;
}

bool TableScan::nextSlow() {
  if (sweep_) throw std::logic_error("TableScan::next() after a filtered walk began");
  for (;;) {
    if (tryNext()) return true;
    if (slots_.next()) {
      if (!isLive(slots_.kind())) continue;
      return slowRow(slots_);
    }
    if (!nextPage()) return false;
  }
}

bool TableScan::slowRow(const SlotCursor& at) {
  if (!at.sound()) corruptPage(pageNo_, "第 " + std::to_string(at.slot()) + " 行的位置无效");
  id_ = RowId{pageNo_, at.slot()};
  if (at.kind() == SlotKind::Pointer) {
    follow(at);
  } else {
    row_ = page_ + at.start();
    rowLen_ = at.length();
  }
  return true;
}

void TableScan::follow(const SlotCursor& at) {
  if (at.length() < 4) corruptPage(pageNo_, "溢出指针行太短");
  RowPointer target;
  resolveOverflow(pager_, def_, RowPointer::decode(le32(page_ + at.start())), &target_, &row_, &rowLen_,
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
      kept_.seek(c.slot);
      return slowRow(kept_);
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
      p = chunk_->bytes.data() + i * pager_.pageSize();
      r = chunk_->pages[i];
      base = chunk_->candidates.data();
    } else {
      held_ = pager_.get(n);  // the read that failed ahead fails here, in its place
      p = held_.data();
      reread_.clear();
      r = filterPage(p, pager_.version(), def_.page, sweep_->test(), *view_, reread_);
      base = reread_.data();
    }
    if (r.kind == PageKind::Skip) continue;
    if (r.kind == PageKind::Bad) corruptPage(n, "行数超出页容量");
    page_ = p;
    pageNo_ = n;
    kept_ = DataPage(p, n, pager_.version()).slots();  // slots_ stays empty: tryNext() walks nothing here
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
  const SlotKind kind = page.kind(id.row);
  if (!isLive(kind)) return false;
  uint32_t start, end;
  page.rowBounds(id.row, start, end);
  if (kind == SlotKind::Pointer) {
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
