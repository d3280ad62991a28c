#include "jet/Catalog.h"

#include <unicode/unistr.h>

#include <algorithm>

#include "jet/RowDecoder.h"
#include "jet/TableScan.h"

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
    out.push_back(std::move(e));
  }
  return out;
}

bool collectionLess(const std::string& a, const std::string& b) {
  icu::UnicodeString ua = icu::UnicodeString::fromUTF8(a);
  icu::UnicodeString ub = icu::UnicodeString::fromUTF8(b);
  ua.foldCase();
  ub.foldCase();
  const int8_t c = ua.compareCodePointOrder(ub);
  if (c != 0) return c < 0;
  return a < b;
}

std::vector<CatalogEntry> tableEntries(const std::vector<CatalogEntry>& all) {
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
  return tables;
}

}  // namespace jet
