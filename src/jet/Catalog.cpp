#include "jet/Catalog.h"

#include <algorithm>

#include "jet/RowDecoder.h"
#include "jet/index/IndexTree.h"
#include "jet/TableScan.h"
#include "jet/os/Unicode.h"

namespace jet {

using namespace format;

int32_t tableAttributes(const CatalogEntry& e) {
  uint32_t a = 0;
  if (e.flags & 0x80000002u) a |= 0x80000002u;
  if (e.flags & 0x00000008u) a |= 0x00000001u;
  if (e.type == objtype::kLinkedTable) a |= 0x40000000u;
  if (e.type == objtype::kOdbcLinkedTable) a |= 0x20000000u;
  return static_cast<int32_t>(a);
}

std::vector<CatalogEntry> readCatalog(Pager& pager, const TableDef& def, const TextCodec& codec) {
  auto column = [&](const char* name, bool required) -> const ColumnDef* {
    const ColumnDef* c = def.findColumn(name);
    if (!c && required) corruptPage(def.page, std::string("系统表 MSysObjects 缺少列 ") + name);
    return c;
  };
  const ColumnDef* id = column("Id", true);
  const ColumnDef* parent = column("ParentId", true);
  const ColumnDef* name = column("Name", true);
  const ColumnDef* type = column("Type", true);
  const ColumnDef* flags = column("Flags", true);
  const ColumnDef* database = column("Database", false);
  const ColumnDef* foreign = column("ForeignName", false);
  const ColumnDef* connect = column("Connect", false);
  const ColumnDef* lvProp = column("LvProp", false);

  std::vector<CatalogEntry> out;
  TableScan scan(pager, def);
  RowDecoder dec(pager, codec);
  std::string text;
  auto asInt = [](const Value& v) -> int64_t { return v.kind() == Value::Kind::Int ? v.asInt() : 0; };
  while (scan.next()) {
    dec.reset(scan.row(), scan.rowLength());
    CatalogEntry e;
    e.row = scan.rowId();
    e.id = static_cast<int32_t>(asInt(dec.value(*id)));
    e.parentId = static_cast<int32_t>(asInt(dec.value(*parent)));
    if (dec.text(*name, text)) e.name = text;
    e.type = static_cast<int>(asInt(dec.value(*type)));
    e.flags = static_cast<uint32_t>(asInt(dec.value(*flags)));
    // Only linked tables need these; reading a broken memo of some other object must
    // not make the whole file unreadable.
    if (e.type == objtype::kLinkedTable || e.type == objtype::kOdbcLinkedTable) {
      if (database && dec.text(*database, text)) e.database = text;
      if (foreign && dec.text(*foreign, text)) e.foreignName = text;
      if (connect && dec.text(*connect, text)) e.connect = text;
    }
    if (e.type == objtype::kLocalTable && lvProp) {
      try {
        const Value v = dec.value(*lvProp);
        if (v.kind() == Value::Kind::Binary) e.properties.assign(v.asBinary().begin(), v.asBinary().end());
      } catch (const Corrupt&) {
        e.properties.clear();  // properties are a hint; a damaged blob loses them only
      }
    }
    out.push_back(std::move(e));
  }
  return out;
}

bool collectionLess(const std::string& a, const std::string& b) {
  const std::u32string fa = os::foldCaseFull(a), fb = os::foldCaseFull(b);
  if (fa != fb) return fa < fb;
  return a < b;
}

std::vector<RowId> catalogIndexOrder(Pager& pager, const TableDef& def) {
  const LogicalIndexDef* byName = nullptr;
  for (const auto& l : def.logicalIndexes)
    if (l.name == "ParentIdName") byName = &l;
  if (!byName) return {};
  const RealIndexDef& real = def.realIndexes[byName->realIndex];
  try {
    index::PagerPages source(pager);
    const index::TreeWalk w =
        index::walk(source, index::indexLayout(pager.version().jet3()), real.rootPage, def.page);
    if (!w.problems.empty()) return {};
    std::vector<RowId> order;
    order.reserve(w.entries.size());
    for (const auto& e : w.entries) order.push_back(RowId{e.rowPage(), e.rowNumber()});
    return order;
  } catch (const std::exception&) {
    return {};  // an unreadable index only costs the order
  }
}

std::vector<CatalogEntry> tableEntries(const std::vector<CatalogEntry>& all,
                                       const std::vector<RowId>& indexOrder) {
  int32_t tablesId = 0;
  bool found = false;
  for (const auto& e : all) {
    if (e.type == objtype::kContainer && e.parentId == kRootContainerParent && e.name == "Tables") {
      tablesId = e.id;
      found = true;
      break;
    }
  }
  if (!found) corruptPage(kCatalogTdefPage, "系统表 MSysObjects 中没有 Tables 容器");
  std::vector<CatalogEntry> tables;
  for (const auto& e : all) {
    if (e.parentId != tablesId) continue;
    if (e.type == objtype::kLocalTable || e.type == objtype::kLinkedTable ||
        e.type == objtype::kOdbcLinkedTable)
      tables.push_back(e);
  }
  std::stable_sort(tables.begin(), tables.end(),
                   [](const CatalogEntry& x, const CatalogEntry& y) { return collectionLess(x.name, y.name); });
  if (!indexOrder.empty()) {
    std::vector<CatalogEntry> ordered;
    std::vector<bool> taken(tables.size(), false);
    for (const RowId& id : indexOrder) {
      for (size_t i = 0; i < tables.size(); ++i) {
        if (!taken[i] && tables[i].row == id) {
          taken[i] = true;
          ordered.push_back(tables[i]);
          break;
        }
      }
    }
    if (ordered.size() == tables.size()) return ordered;
  }
  return tables;
}

}  // namespace jet
