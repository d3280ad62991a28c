#pragma once
// The physical walk over a table's live rows: the pages of its owned-pages usage map in
// ascending order, and on each page its slots in order.
//
// REQUIRES: a table definition read from the same Pager.
// GUARANTEES: deleted slots and overflow targets are skipped; an overflow pointer is
// followed to its data, which is reported under the pointer's own RowId; a target reached
// twice, a pointer chain, or a page the map names but the table does not own (stale
// pages are skipped, as Jet skips them) never yields a row twice. The same file gives
// the same order on every scan.
#include <cstdint>
#include <memory>
#include <unordered_set>
#include <vector>

#include "jet/Types.h"
#include "jet/Pager.h"
#include "jet/format/DataPage.h"
#include "jet/format/Row.h"
#include "jet/format/TableDef.h"
#include "jet/ScanFilter.h"

namespace jet {

class TableScan {
 public:
  TableScan(Pager& pager, const format::TableDef& def);

  // To the next live row; false past the last.
  bool next() { return tryNext() || nextSlow(); }

  // The common case without a call: skips deleted slots and moves to a plain row on the
  // current page. Returns false, consuming nothing, whenever next() must decide (a new
  // page, an overflow pointer, a slot that looks wrong).
  bool tryNext() noexcept {
    if (!slots_.nextRow()) return false;
    id_ = RowId{pageNo_, slots_.slot()};
    row_ = page_ + slots_.start();
    rowLen_ = slots_.length();
    return true;
  }

  // The filtered walk: the table's pages read ahead in chunks (on worker threads when
  // the table is large), and only the rows `test` keeps handed out by nextKept(), in the
  // plain walk's order and with its failures where it meets them (a failure names the
  // last row the plain walk reached, as next() does). REQUIRES: no row read yet, and
  // nothing writes through the Pager until the walk ends; next() is not called after.
  void startSweep(RowTest test, SweepTuning tuning);
  bool sweeping() const { return sweep_ != nullptr; }
  bool started() const { return nextPage_ != 0 || page_ != nullptr || sweep_ != nullptr; }
  bool nextKept();
  int sweepThreads() const { return sweep_ ? sweep_->threads() : 0; }

  RowId rowId() const { return id_; }
  // The row's bytes, valid until the next call of next() or tryNext().
  const uint8_t* row() const { return row_; }
  uint32_t rowLength() const { return rowLen_; }

 private:
  bool nextPage();
  bool nextSlow();
  bool slowRow(const format::SlotCursor& at);
  void follow(const format::SlotCursor& at);

  Pager& pager_;
  const format::TableDef& def_;
  std::vector<uint32_t> pages_;
  size_t nextPage_ = 0;
  PageRef held_;    // the current page
  PageRef target_;  // the page of the last overflow row's data
  const uint8_t* page_ = nullptr;
  uint32_t pageNo_ = 0;
  format::SlotCursor slots_;  // the current page's, at the row last reached
  RowId id_;
  const uint8_t* row_ = nullptr;
  uint32_t rowLen_ = 0;
  std::unordered_set<uint32_t> targets_;  // (page << 8 | row) of overflow targets used

  bool nextSweptPage();
  std::unique_ptr<PageSweep> sweep_;
  const PageSweep::Chunk* chunk_ = nullptr;
  size_t inChunk_ = 0;
  const Candidate* candidate_ = nullptr;
  const Candidate* candidatesEnd_ = nullptr;
  format::SlotCursor kept_;             // the current page's, at the last candidate
  int16_t pageLast_ = -1;               // the current page's last live slot
  std::vector<Candidate> reread_;      // of a page the chunk could not read
  std::unique_ptr<format::RowView> view_;
};

// The live row `id` of a table, following its overflow pointer; false when the slot is
// absent, deleted or an overflow target (never a row by itself). holder pins the page the
// row's bytes lie on.
bool locateRow(Pager& pager, const format::TableDef& def, RowId id, PageRef* holder,
               const uint8_t** row, uint32_t* length);

}  // namespace jet
