#pragma once
// Adding rows, and changing one value of one row: a changed row is rebuilt and put where
// it fits — its own slot (padded), its own page (repacked, every slot keeping its number),
// another page of the table, or a newly allocated page — leaving at most one forwarding
// pointer in the row's first slot; a new row goes to a page of the table with room, else
// a new page. Data pages' free space, the table's owned and free-space maps, the global
// page map and the definition's row count are kept right; inline maps that outgrow their
// window become reference maps, and an inline global map follows a growing file.
//
// REQUIRES: the Pager of a decoded file, writing (the one road to pages: reads see the
// transaction's changes), and table definitions read from it.
// GUARANTEES: update() and insert() change pages only inside the pager's open
// transaction and under a savepoint: on any failure the rows, the pages and the maps are
// as before. Refusals: 3027 (a column an index holds; a column type not written; a map
// that cannot grow), 3047 (row over the maximum size), 3163, 3421, 3021 (no such live row).
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "jet/Pager.h"
#include "jet/Types.h"
#include "jet/Value.h"
#include "jet/format/HeaderPage.h"
#include "jet/format/DataPage.h"
#include "jet/format/TableDef.h"
#include "jet/format/UsageMap.h"

namespace jet::write {

class RowWriter {
 public:
  enum class Placement { InPlace, SamePage, OtherPage, NewPage };

  RowWriter(Pager& pager, int codePage);

  // alsoInside runs inside the update's savepoint once the row is in place (the index
  // changes of the update); without it, a column an index holds is refused.
  void update(const format::TableDef& def, RowId id, const format::ColumnDef& column,
              const Value& value, const std::function<void()>& alsoInside = {});

  // A new row of `values` (one per column of def.columns) on a page of the table with
  // room (the last page an insert used, then the free-space map's), else a new page; the
  // definition's row count goes up by one and, when given, its AutoNumber counter is set.
  // alsoInside runs inside the insert's savepoint with the new row's identity (its index
  // entries). Refusals as update(); a Memo, OLE or calculated value that is not Null: 3027.
  RowId insert(const format::TableDef& def, const std::vector<Value>& values,
               std::optional<int32_t> autoNumber,
               const std::function<void(RowId)>& alsoInside = {});

  // Forgets what this writer remembers about pages (where inserts go, where free pages
  // start) after its transaction was rolled back.
  void forgetHints();

  // Index pages: one taken into use and added to the index's page map, or given back (out
  // of that map, free in the global map).
  uint32_t allocateIndexPage(format::RowPointer map);
  void releasePage(format::RowPointer map, uint32_t pageNo);

  // Where the last successful update put the row.
  Placement lastPlacement() const { return last_; }

  // The largest row a page takes with room for its slot, as Jet's writers keep it.
  uint32_t maxRowSize() const { return jet3_ ? 2012 : 4060; }

 private:
  struct Slot {
    uint32_t page;
    uint16_t row;
  };
  PageRef page(uint32_t n);

  void place(const format::TableDef& def, Slot head, Slot data, bool moved,
             const std::vector<uint8_t>& row, uint32_t oldLength);
  bool repack(uint32_t pageNo, uint16_t row, const std::vector<uint8_t>& bytes);
  bool canAppend(const uint8_t* p, uint32_t pageNo, uint32_t owner, uint32_t length);
  uint16_t append(uint32_t pageNo, const std::vector<uint8_t>& bytes, uint16_t flags);
  uint32_t allocateDataPage(const format::TableDef& def);
  uint32_t allocatePage(const std::vector<format::RowPointer>& windows);
  uint32_t pageForInsert(const format::TableDef& def, uint32_t length);
  void removeFromMap(format::RowPointer map, uint32_t pageNo);
  void slideGlobalWindow(uint32_t pageNo);
  void markUsed(uint32_t pageNo);
  bool globallyFree(uint32_t pageNo);
  void addToMap(format::RowPointer map, uint32_t pageNo);
  format::UsageMap mapAt(format::RowPointer map);
  std::vector<uint32_t> mapPages(format::RowPointer map);
  uint32_t newBitmapPage();
  bool inWindow(format::RowPointer map, uint32_t pageNo);

  Pager& pager_;
  format::Version version_;
  bool jet3_;
  uint32_t ps_;
  int codePage_;
  Placement last_ = Placement::InPlace;
  std::unordered_map<uint32_t, uint32_t> insertPage_;  // TDEF page -> last page an insert used
  uint32_t freeFrom_ = 3;  // no page below this is free in the global map
};

}  // namespace jet::write
