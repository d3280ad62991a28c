#pragma once
// The catalog: the rows of MSysObjects (TDEF page 2) and, from them, the table collection.
//
// REQUIRES: a Pager and text codec of an opened file.
// GUARANTEES: readCatalog() returns every catalog row; tableEntries() the tables (local,
// linked and ODBC-linked) that are children of the "Tables" container, in collection
// order.
//
// Collection order is the order of the catalog's ParentIdName index (ParentId, Name in
// the database's collation), which is the order Jet itself presents: its leaf entries
// are walked and each points at a catalog row. Where that index cannot be read (missing,
// damaged, or not naming every table), the order is case-insensitive name order instead
// (Unicode simple case folding, then code point order, ties by the exact name), which
// agrees with the index for names in the Latin letters.
#include <cstdint>
#include <string>
#include <vector>

#include "jet/Database.h"
#include "jet/Pager.h"
#include "jet/format/TableDef.h"
#include "jet/format/Text.h"

namespace jet {

namespace objtype {
constexpr int kLocalTable = 1, kContainer = 3, kOdbcLinkedTable = 4, kQuery = 5,
              kLinkedTable = 6;
}
constexpr uint32_t kCatalogTdefPage = 2;
constexpr int32_t kRootContainerParent = 0x0F000000;

struct CatalogEntry {
  int32_t id = 0;
  int32_t parentId = 0;
  std::string name;
  int type = 0;
  uint32_t flags = 0;
  std::string database;     // linked tables: the source file
  std::string foreignName;  // linked tables: the table's name in the source
  std::string connect;
  std::string properties;   // local tables: the LvProp blob (empty when unreadable)
  RowId row;
};

// DAO's TableDef.Attributes for a catalog row: system 0x80000002, hidden 0x1, linked
// 0x40000000, ODBC-linked 0x20000000. 0 for an ordinary local table.
int32_t tableAttributes(const CatalogEntry& e);

std::vector<CatalogEntry> readCatalog(Pager& pager, const format::TableDef& catalogDef,
                                      const format::TextCodec& codec);

// The catalog rows in the order of the ParentIdName index; empty when it cannot be read.
std::vector<RowId> catalogIndexOrder(Pager& pager, const format::TableDef& catalogDef);

// The tables among the catalog rows, in collection order: `indexOrder` when it names
// every table, case-insensitive name order otherwise.
std::vector<CatalogEntry> tableEntries(const std::vector<CatalogEntry>& all,
                                       const std::vector<RowId>& indexOrder = {});

// True when a sorts before b in collection order.
bool collectionLess(const std::string& a, const std::string& b);

}  // namespace jet
