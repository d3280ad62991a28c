#include "jet/verify/VerifyIndexes.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "jet/JetDatabase.h"
#include "jet/TableScan.h"
#include "jet/index/IndexTree.h"
#include "jet/index/TableIndexes.h"

namespace jet::index {

namespace {

std::string rowText(uint32_t page, uint32_t row) {
  return "第 " + std::to_string(page) + " 页第 " + std::to_string(row) + " 行";
}

std::string hex(const Bytes& b, size_t n) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < n && i < b.size(); ++i) {
    if (i) s += ' ';
    s += d[b[i] >> 4];
    s += d[b[i] & 15];
  }
  return s;
}

struct LiveRow {
  uint32_t id;                // page << 8 | row
  std::optional<Bytes> key;   // computed key (none when it cannot be computed)
  KeyNulls nulls;
};

void checkTable(JetDatabase& db, const TableInfo& table, IndexVerification& out) {
  const format::TableDef& def = db.definition(table);
  if (def.realIndexes.empty()) return;
  Pager& pager = db.pager();
  const bool jet3 = pager.version().jet3();
  const IndexPageLayout& L = indexLayout(pager.version());
  const std::vector<RealIndex> indexes = realIndexes(def, db.header());
  PagerPages source(pager);

  // Every live row's key in every index, computed once per row.
  std::vector<std::vector<LiveRow>> rows(indexes.size());
  {
    TableScan scan(pager, def);
    RowDecoder decoder(pager, db.codec());
    while (scan.next()) {
      decoder.reset(scan.row(), scan.rowLength());
      const uint32_t id = scan.rowId().page << 8 | scan.rowId().row;
      for (size_t i = 0; i < indexes.size(); ++i) {
        LiveRow r{id, {}, {}};
        if (!indexes[i].broken) {
          r.key = rowKey(decoder, indexes[i], jet3, &r.nulls);
        } else {
          // Null-ness is still known without a key.
          for (const format::ColumnDef* c : indexes[i].columns) {
            const bool null = c->type != format::coltype::kBoolean && decoder.value(*c).isNull();
            r.nulls.any |= null;
            r.nulls.all &= null;
          }
        }
        rows[i].push_back(std::move(r));
      }
    }
  }

  for (size_t i = 0; i < indexes.size(); ++i) {
    const RealIndex& ix = indexes[i];
    const std::string where = "表 '" + table.name + "' 的索引 '" + ix.name + "'：";
    ++out.indexes;
    if (ix.unsupported) out.notComputed.push_back(table.name + "." + ix.name + ": " + *ix.unsupported);

    const TreeWalk w = walk(source, L, ix.root, def.page);
    for (const std::string& p : w.problems) out.problems.push_back(where + p);
    out.entries += static_cast<long>(w.entries.size());

    std::unordered_map<uint32_t, const IndexEntry*> byRow;
    byRow.reserve(w.entries.size());
    for (const IndexEntry& e : w.entries) {
      const uint32_t id = e.rowPage() << 8 | e.rowNumber();
      if (!byRow.emplace(id, &e).second)
        out.problems.push_back(where + rowText(e.rowPage(), e.rowNumber()) + " 在索引中出现了两次");
    }

    size_t reported = 0;
    auto report = [&](std::string s) {
      // One broken index can name every row; the first few tell the story.
      if (++reported <= 20) out.problems.push_back(where + std::move(s));
    };
    std::vector<std::pair<Bytes, uint32_t>> uniqueKeys;
    for (const LiveRow& r : rows[i]) {
      const uint32_t page = r.id >> 8, row = r.id & 0xFF;
      auto it = byRow.find(r.id);
      const bool expected = !(ix.ignoreNulls && r.nulls.all);
      if (it == byRow.end()) {
        if (expected) report(rowText(page, row) + " 在索引中找不到");
        continue;
      }
      const IndexEntry& e = *it->second;
      byRow.erase(it);
      if (!expected) {
        report(rowText(page, row) + " 的键全为 Null，忽略 Null 的索引不应有它的条目");
        continue;
      }
      const Bytes stored(e.bytes.begin(), e.bytes.end() - 4);
      if (r.key) {
        ++out.keysCompared;
        if (stored != *r.key)
          report(rowText(page, row) + " 的索引键与字段值不符：存储 " + hex(stored, 24) + "，应为 " +
                 hex(*r.key, 24));
      }
      if (ix.unique && !r.nulls.any) uniqueKeys.emplace_back(stored, r.id);
    }
    for (const auto& [id, e] : byRow)
      report(rowText(id >> 8, id & 0xFF) + " 不是活动行，索引中却有它的条目");

    std::sort(uniqueKeys.begin(), uniqueKeys.end());
    for (size_t k = 1; k < uniqueKeys.size(); ++k)
      if (uniqueKeys[k].first == uniqueKeys[k - 1].first)
        report("唯一索引中有重复的键：" + rowText(uniqueKeys[k - 1].second >> 8, uniqueKeys[k - 1].second & 0xFF) +
               " 与 " + rowText(uniqueKeys[k].second >> 8, uniqueKeys[k].second & 0xFF));
    if (reported > 20)
      out.problems.push_back(where + "另有 " + std::to_string(reported - 20) + " 处问题未列出");
  }
}

}  // namespace

IndexVerification verifyIndexesDetailed(JetDatabase& db) {
  IndexVerification out;
  for (const TableInfo& table : db.tables()) {
    if (table.linked) continue;
    try {
      checkTable(db, table, out);
    } catch (const std::exception& e) {
      out.problems.push_back("表 '" + table.name + "' 的索引无法检查：" + e.what());
    }
  }
  return out;
}

std::vector<std::string> verifyIndexes(JetDatabase& db) { return verifyIndexesDetailed(db).problems; }

}  // namespace jet::index
