#include "jet/verify/Verify.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "jet/Error.h"
#include "jet/JetDatabase.h"
#include "jet/RowDecoder.h"
#include "jet/format/DataPage.h"
#include "jet/format/UsageMap.h"
#include "jet/format/Row.h"

namespace jet::write {

using namespace format;

namespace {

constexpr size_t kMaxProblems = 200;

std::string at(uint32_t page, int row = -1) {
  std::string s = "第 " + std::to_string(page) + " 页";
  if (row >= 0) s += "第 " + std::to_string(row) + " 行";
  return s;
}

class Verifier {
 public:
  explicit Verifier(JetDatabase& db)
      : db_(db), pager_(db.pager()), v_(pager_.version()), ps_(v_.pageSize()) {}

  std::vector<std::string> run() {
    // Page 0 is the header, page 1 the global map, page 2 the catalog's definition.
    use(0, "文件头");
    use(1, "全局页面映射");
    use(2, "系统表定义");
    for (const auto& t : db_.tables()) {
      if (t.linked || t.tdefPage == 0) continue;
      table_ = t.name;
      try {
        checkTable(t, db_.definition(t));
      } catch (const Corrupt& e) {
        problem(e.what());
      } catch (const Error& e) {
        problem(e.description());
      }
    }
    table_.clear();
    try {
      const std::vector<uint32_t> freePages = readUsageMap(pager_, RowPointer{1, 0});
      const std::set<uint32_t> free(freePages.begin(), freePages.end());
      for (const auto& [page, owner] : inUse_)
        if (free.count(page)) problem(at(page) + "在用（" + owner + "），全局页面映射却标为空闲");
    } catch (const Corrupt& e) {
      problem(std::string("全局页面映射：") + e.what());
    }
    return problems_;
  }

 private:
  void problem(const std::string& what) {
    if (problems_.size() == kMaxProblems) problems_.push_back("……问题太多，其余从略");
    if (problems_.size() > kMaxProblems) return;
    problems_.push_back(table_.empty() ? what : "表 '" + table_ + "'：" + what);
  }

  void use(uint32_t page, const std::string& what) { inUse_.emplace(page, what); }

  // A usage map's own pages: the row's page and, for a reference map, its bitmap pages.
  std::vector<uint32_t> mapWithHolders(RowPointer where, const std::string& what) {
    if (where.isNull()) return {};
    use(where.page, what);
    const RowBytes row = rowAt(pager_, where);
    if (row.length >= 1 && row.data[0] == kMapReference)
      for (uint32_t j = 0; 1 + 4 * j + 4 <= row.length; ++j) {
        const uint32_t bp = le32(row.data + 1 + 4 * j);
        if (bp != 0 && bp < pager_.pageCount()) use(bp, what);
      }
    return readUsageMap(pager_, where);
  }

  void checkTable(const TableInfo& info, const TableDef& def) {
    for (uint32_t p : def.pages) use(p, "表定义");
    const std::vector<uint32_t> owned = mapWithHolders(def.ownedMap, "页使用表");
    const std::set<uint32_t> ownedSet(owned.begin(), owned.end());
    for (uint32_t p : mapWithHolders(def.freeMap, "空闲页表"))
      if (!ownedSet.count(p)) problem("空闲页表列出的" + at(p) + "不属于该表");
    for (const auto& idx : def.realIndexes)
      for (uint32_t p : mapWithHolders(idx.usageMap, "索引页使用表")) use(p, "索引");
    for (const auto& lv : def.longValueMaps) {
      for (uint32_t p : mapWithHolders(lv.usageMap, "长值页使用表")) use(p, "长值");
      mapWithHolders(lv.freeMap, "长值空闲页表");
    }

    // Columns that may not be Null: Required ones, and those of the primary key or of an
    // index that requires a value. A Null there breaks whatever program reads the table.
    std::vector<std::pair<const ColumnDef*, std::string>> noNull;
    for (size_t i = 0; i < def.columns.size() && !info.system; ++i) {
      const ColumnDef& c = def.columns[i];
      if (c.type == coltype::kBoolean) continue;
      if (i < info.columns.size() && info.columns[i].required)
        noNull.emplace_back(&c, "该字段的 Required 属性为 True");
      else if (const LogicalIndexDef* key = def.keyRefusingNull(c))
        noNull.emplace_back(&c, "该字段属于" + std::string(key->type == idxtype::kPrimaryKey ? "主键" : "不允许 Null 的索引") +
                                    " '" + key->name + "'");
    }
    std::set<std::pair<uint32_t, uint16_t>> targets, reached;
    uint32_t live = 0;
    RowDecoder dec(pager_, db_.codec());
    auto checkRow = [&](const uint8_t* row, uint32_t len, uint32_t page, int slot) {
      try {
        format::RowParts parts = format::parseRow(v_.jet3(), def.numVarCols > 0, row, len);
        if (parts.numCols > def.maxCols) problem(at(page, slot) + "的列数超过表定义");
        dec.reset(row, len);
        for (const auto& c : def.columns)
          if (!c.isLongValue()) dec.value(c);
        for (const auto& [c, why] : noNull) {
          const uint8_t* b;
          uint32_t n;
          if (!dec.bytes(*c, &b, &n)) problem(at(page, slot) + "的字段 '" + c->name + "' 为 Null，" + why);
        }
      } catch (const Corrupt& e) {
        problem(at(page, slot) + "无法解析：" + e.what());
      }
    };

    for (uint32_t n : owned) {
      const PageRef ref = pager_.get(n);
      const uint8_t* p = ref.data();
      const PageKind kind = DataPage::kindFor(p, def.page, v_);
      if (kind == PageKind::Skip) {
        problem("页使用表列出的" + at(n) + "不是该表的数据页");
        continue;
      }
      use(n, "数据页");
      if (kind == PageKind::Bad) {
        problem(at(n) + "的行数超出页容量");
        continue;
      }
      const DataPage page(p, n, v_);
      uint32_t low = ps_;
      bool sound = true;
      for (uint16_t i = 0; i < page.rowCount(); ++i) {
        uint32_t start, end;
        if (!page.boundsOf(i, start, end)) {
          problem(at(n, i) + "的位置无效");
          sound = false;
        }
        low = std::min(low, start);
      }
      if (!sound) continue;
      const uint32_t expectFree = low - page.slotTableEnd();
      if (page.freeSpace() != expectFree)
        problem(at(n) + "记录的空闲字节数 " + std::to_string(page.freeSpace()) + " 与实际的 " +
                std::to_string(expectFree) + " 不符");
      for (uint16_t i = 0; i < page.rowCount(); ++i) {
        uint32_t start, end;
        page.rowBounds(i, start, end);
        const SlotKind slot = page.kind(i);
        if (slot == SlotKind::Target) targets.emplace(n, i);
        if (!isLive(slot)) continue;
        ++live;
        if (slot == SlotKind::Row) {
          checkRow(p + start, end - start, n, i);
          continue;
        }
        if (end - start < 4) {
          problem(at(n, i) + "的转发指针太短");
          continue;
        }
        const RowPointer to = RowPointer::decode(le32(p + start));
        const std::string from = at(n, i) + "的转发指针指向" + at(to.page, to.row);
        if (!ownedSet.count(to.page)) {
          problem(from + "，该页不属于此表");
          continue;
        }
        const PageRef targetRef = pager_.get(to.page);
        const std::optional<DataPage> target = DataPage::ifData(targetRef.data(), to.page, v_);
        if (!target || target->owner() != def.page || to.row >= target->rowCount()) {
          problem(from + "，该行不存在");
          continue;
        }
        if (target->kind(to.row) != SlotKind::Target) {
          problem(from + "，该行不是转发目标");
          continue;
        }
        if (!reached.emplace(to.page, to.row).second) {
          problem(from + "，该目标已被另一行使用");
          continue;
        }
        uint32_t tstart, tend;
        if (!target->boundsOf(to.row, tstart, tend)) {
          problem(from + "，目标行的位置无效");
          continue;
        }
        checkRow(targetRef.data() + tstart, tend - tstart, to.page, to.row);
      }
    }
    for (const auto& t : targets)
      if (!reached.count(t)) problem(at(t.first, t.second) + "是转发目标，却没有行指向它");
    if (!info.system && live != def.numRows)
      problem("表定义记录 " + std::to_string(def.numRows) + " 行，实际有 " +
              std::to_string(live) + " 行");
  }

  JetDatabase& db_;
  Pager& pager_;
  const Version v_;
  const uint32_t ps_;
  std::string table_;
  std::map<uint32_t, std::string> inUse_;
  std::vector<std::string> problems_;
};

}  // namespace

std::vector<std::string> verifyStructure(JetDatabase& db) { return Verifier(db).run(); }

}  // namespace jet::write
