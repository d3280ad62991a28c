#include "jet/JetDatabase.h"


#include <algorithm>
#include <cerrno>
#include <climits>
#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "jet/Error.h"
#include "jet/Recovery.h"
#include "jet/Secret.h"
#include "jet/RowDecoder.h"
#include "jet/TableScan.h"
#include "jet/format/Properties.h"
#include "jet/format/UsageMap.h"
#include "jet/index/IndexMaintenance.h"
#include "jet/index/IndexTree.h"
#include "jet/os/Path.h"
#include "jet/os/Unicode.h"
#include "jet/TransactionPages.h"
#include "jet/write/Encode.h"
#include "jet/format/Row.h"
#include "jet/write/RowWriter.h"

namespace jet {

using namespace format;

namespace {

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() == b.size()) {
    bool ascii = true, equal = true;
    for (size_t i = 0; i < a.size(); ++i) {
      const unsigned char x = a[i], y = b[i];
      if (x >= 0x80 || y >= 0x80) {
        ascii = false;
        break;
      }
      if (std::tolower(x) != std::tolower(y)) equal = false;
    }
    if (ascii) return equal;
  }
  return os::foldCaseFull(a) == os::foldCaseFull(b);
}

// A forward scan handing out values of the current row on demand. The check's count
// queries call date() or text() once per row, so those two have paths that go straight
// from the column's descriptor to its bytes; everything else goes through RowDecoder.
class Cursor final : public TableCursor {
 public:
  Cursor(JetDatabase& db, const TableInfo& info, const TableDef& def,
         std::shared_ptr<const bool> open)
      : db_(db), name_(info.name), def_(def), scan_(db.pager(), def),
        dec_(db.pager(), db.codec()), open_(std::move(open)), openFlag_(open_.get()),
        jet4_(!db.pager().version().jet3()) {
    for (const ColumnDef& c : def.columns) {
      Fast f;
      f.number = c.number;
      f.fixedOffset = c.fixedOffset;
      f.varIndex = c.varIndex;
      if (c.type == coltype::kDateTime && c.fixed() && !c.calculated() && c.length >= 8) {
        f.kind = Fast::kFixedDate;
      } else if (jet4_ && c.type == coltype::kText && !c.fixed() && !c.calculated()) {
        f.kind = Fast::kVarText4;
      }
      fast_.push_back(f);
    }
  }

  bool next() override {
    if (*openFlag_ && scan_.tryNext()) {
      if (dec_.view().tryReset(scan_.row(), scan_.rowLength())) {
        onRow_ = true;
        return true;
      }
      return rowTooShort();
    }
    return nextSlow();
  }

  bool nextWhere(const RowFilter& f) override {
    if (scan_.sweeping()) return nextKept(f);
    if (f.wholeWalk && !scan_.started() && *openFlag_) {
      RowTest test(f, def_, db_.pager().version(),
                   f.kind != RowFilter::Kind::DateIn && !jet4_ ? db_.asciiAsItself() : nullptr);
      if (test.kind() != RowTest::Kind::KeepAll) {
        try {
          scan_.startSweep(std::move(test), db_.scanTuning());
        } catch (const Corrupt& e) {
          damaged(e);
        }
        swept_ = f;
        return nextKept(f);
      }
    }
    const int col = f.column;
    if (f.kind == RowFilter::Kind::DateIn && static_cast<unsigned>(col) < fast_.size() &&
        fast_[col].kind == Fast::kFixedDate) {
      const Fast fd = fast_[col];
      while (next()) {
        const format::RowView& v = dec_.view();
        if (!v.present(fd.number)) continue;  // Null, as date() says
        const uint8_t* p = v.fixed(fd.fixedOffset, 8);
        if (p == nullptr) return true;  // too short: the full read reports it
        double d;
        std::memcpy(&d, p, 8);
        if ((f.loOpen ? d > f.lo : d >= f.lo) && (f.hiOpen ? d < f.hi : d <= f.hi)) return true;
      }
      return false;
    }
    if (f.kind == RowFilter::Kind::TextHasAscii && static_cast<unsigned>(col) < fast_.size() &&
        fast_[col].kind == Fast::kVarText4) {
      const Fast ft = fast_[col];
      // Built once per filter, not once per call: a call may return after one row.
      if (!search_ || std::memcmp(searchFor_, f.ascii, sizeof searchFor_) != 0) {
        search_.emplace(f.ascii);
        std::memcpy(searchFor_, f.ascii, sizeof searchFor_);
      }
      const AsciiSearch& search = *search_;
      while (next()) {
        format::RowView& v = dec_.view();
        if (!v.present(ft.number)) continue;  // Null, as text() says
        const uint8_t* p;
        uint32_t n;
        try {
          if (!v.variable(ft.varIndex, &p, &n)) continue;
        } catch (const Corrupt&) {
          return true;  // damaged offsets: the full read reports them
        }
        if (search.jet4(p, n)) return true;
      }
      return false;
    }
    return next();
  }

  // Threads the filtered walk uses (0 before one began): for tests.
  int sweepThreads() const { return scan_.sweepThreads(); }

  RowId rowId() const override {
    if (!onRow_) throw noCurrentRecord();
    return scan_.rowId();
  }

  Value value(int column) override {
    const ColumnDef& c = columnAt(column);
    try {
      return dec_.value(c);
    } catch (const Corrupt& e) {
      damaged(e);
    }
  }

  bool date(int column, double& stored) override {
    if (ready(column) && fast_[column].kind == Fast::kFixedDate) {
      const Fast& f = fast_[column];
      const format::RowView& v = dec_.view();
      if (!v.present(f.number)) return false;
      if (const uint8_t* p = v.fixed(f.fixedOffset, 8)) {
        std::memcpy(&stored, p, 8);
        return true;
      }
    }
    return dateSlow(column, stored);
  }

 private:
  [[gnu::noinline]] bool nextSlow() {
    if (!*openFlag_) throw invalidObject();
    try {
      if (!scan_.next()) {
        onRow_ = false;
        done_ = true;
        return false;
      }
      dec_.reset(scan_.row(), scan_.rowLength());
      onRow_ = true;
      return true;
    } catch (const Corrupt& e) {
      damaged(e);
    }
  }

  [[gnu::noinline]] bool nextKept(const RowFilter& f) {
    if (!*openFlag_) throw invalidObject();
    if (!sameFilter(f, swept_)) throw std::logic_error("TableCursor::nextWhere(): the filter changed during a whole walk");
    try {
      if (!scan_.nextKept()) {
        onRow_ = false;
        done_ = true;
        return false;
      }
    } catch (const Corrupt& e) {
      damaged(e);
    }
    if (dec_.view().tryReset(scan_.row(), scan_.rowLength())) {
      onRow_ = true;
      return true;
    }
    return rowTooShort();
  }

  static bool sameFilter(const RowFilter& a, const RowFilter& b) {
    return a.kind == b.kind && a.column == b.column && a.lo == b.lo && a.hi == b.hi && a.loOpen == b.loOpen &&
           a.hiOpen == b.hiOpen && std::memcmp(a.ascii, b.ascii, sizeof a.ascii) == 0 &&
           std::equal(a.any.begin(), a.any.end(), b.any.begin(), b.any.end(), sameFilter);
  }

  [[gnu::noinline]] bool rowTooShort() {
    try {
      dec_.reset(scan_.row(), scan_.rowLength());
    } catch (const Corrupt& e) {
      damaged(e);
    }
    onRow_ = true;
    return true;
  }

  [[gnu::noinline]] bool dateSlow(int column, double& stored) {
    const ColumnDef& c = columnAt(column);
    try {
      return dec_.date(c, stored);
    } catch (const Corrupt& e) {
      damaged(e);
    }
  }

 public:
  bool text(int column, std::string& utf8) override {
    const ColumnDef& c = columnAt(column);
    try {
      if (fast_[column].kind == Fast::kVarText4) {
        format::RowView& v = dec_.view();
        const uint8_t* p;
        uint32_t n;
        if (!v.present(c.number) || !v.variable(c.varIndex, &p, &n)) return false;
        TextCodec::decodeJet4(p, n, utf8);
        return true;
      }
      return dec_.text(c, utf8);
    } catch (const Corrupt& e) {
      damaged(e);
    }
  }

 private:
  struct Fast {
    enum Kind : uint8_t { kOther, kFixedDate, kVarText4 };
    Kind kind = kOther;
    uint16_t number = 0, fixedOffset = 0, varIndex = 0;
  };

  bool ready(int column) const {
    return static_cast<unsigned>(column) < fast_.size() && onRow_ && *openFlag_;
  }
  const ColumnDef& columnAt(int column) const {
    if (!*openFlag_) throw invalidObject();
    if (!onRow_) throw noCurrentRecord();
    if (column < 0 || static_cast<size_t>(column) >= def_.columns.size()) throw invalidObject();
    return def_.columns[column];
  }
  [[noreturn]] void damaged(const Corrupt& e) const {
    if (onRow_ || !done_) {
      const RowId id = scan_.rowId();
      if (id.page != 0) {
        db_.raiseDamaged(name_, Corrupt(std::string(e.what()) + "（读取第 " + std::to_string(id.page) +
                                        " 页第 " + std::to_string(id.row) + " 行时）"));
      }
    }
    db_.raiseDamaged(name_, e);
  }

  JetDatabase& db_;
  std::string name_;
  const TableDef& def_;
  TableScan scan_;
  RowDecoder dec_;
  std::shared_ptr<const bool> open_;
  const bool* openFlag_;
  bool jet4_;
  std::vector<Fast> fast_;
  std::optional<AsciiSearch> search_;  // of the last text filter
  RowFilter swept_;                     // the filter of the walk read ahead
  bool searchFor_[128] = {};
  bool onRow_ = false;
  bool done_ = false;
};

// The column properties the definition does not hold but reading needs: a calculated
// column's result type.
void applyColumnProperties(TableDef& def, const std::vector<Property>& properties) {
  for (const Property& p : properties) {
    if (p.object.empty() || p.name != "ResultType") continue;
    for (ColumnDef& c : def.columns)
      if (c.name == p.object && c.calculated()) c.resultType = static_cast<int>(p.number());
  }
}

TableInfo describe(const CatalogEntry& e, const TableDef* def, const Version& v,
                   const std::vector<Property>& properties) {
  TableInfo t;
  t.name = e.name;
  t.attributes = tableAttributes(e);
  t.linked = e.type == objtype::kLinkedTable || e.type == objtype::kOdbcLinkedTable;
  t.system = (static_cast<uint32_t>(t.attributes) & 0x80000002u) != 0;
  if (!def) return t;
  t.tdefPage = def->page;
  t.rowCount = def->numRows;
  for (size_t i = 0; i < def->columns.size(); ++i) {
    const ColumnDef& c = def->columns[i];
    ColumnInfo ci;
    ci.name = c.name;
    ci.jetType = c.type;
    ci.daoType = daoTypeOf(c);
    ci.size = daoSizeOf(c, v);
    ci.position = static_cast<int>(i);
    ci.fixedLength = c.fixed();
    ci.autoNumber = (c.type == coltype::kLong && (c.flags & colflag::kAutoNumber)) ||
                    (c.type == coltype::kGuid && (c.flags & colflag::kAutoGuid));
    ci.compressedUnicode = !v.jet3() && (c.extFlags & colextflag::kCompressedUnicode) &&
                           (c.type == coltype::kText || c.type == coltype::kMemo);
    ci.calculated = c.calculated();
    t.columns.push_back(std::move(ci));
  }
  for (const Property& p : properties) {
    if (p.object.empty()) continue;
    for (auto& ci : t.columns) {
      if (ci.name != p.object) continue;
      if (p.name == "Required") ci.required = p.number() != 0;
      if (p.name == "AllowZeroLength") ci.allowZeroLength = p.number() != 0;
    }
  }
  for (const auto& l : def->logicalIndexes) {
    const RealIndexDef& r = def->realIndexes[l.realIndex];
    IndexInfo ii;
    ii.name = l.name;
    for (const auto& rc : r.columns) {
      for (size_t i = 0; i < def->columns.size(); ++i) {
        if (def->columns[i].number == rc.number) {
          ii.columns.push_back({static_cast<int>(i), rc.ascending});
          break;
        }
      }
    }
    ii.primaryKey = l.type == idxtype::kPrimaryKey;
    ii.foreignKey = l.type == idxtype::kForeignKey;
    ii.unique = (r.flags & idxflag::kUnique) != 0 || ii.primaryKey;
    t.indexes.push_back(std::move(ii));
  }
  return t;
}

}  // namespace

const ColumnInfo* TableInfo::findColumn(std::string_view n) const {
  for (const auto& c : columns)
    if (sameName(c.name, n)) return &c;
  return nullptr;
}

namespace {

// A file with a database password refuses any other before the open changes anything,
// even before it rolls back an interrupted write: page 0 is never part of a write, so the
// file's own page 0 tells. A header that does not decode is left to the open to report.
void refuseWrongPassword(os::File& file, const std::string& path, std::string_view password) {
  std::vector<uint8_t> first(4096);
  const size_t got = file.readAt(0, first.data(), first.size());
  bool admitted = true;
  try {
    const Header h = decodeHeader(first.data(), got, file.size(), path);
    const TextCodec text(h.version, h.codePage, path);
    admitted = passwordMatches(first.data(), h, password, text);
  } catch (const Error&) {
  }
  wipe(first.data(), first.size());
  if (!admitted) throw badPassword();
}

}  // namespace

std::unique_ptr<Database> Database::open(const std::string& path, Mode mode, std::string_view password) {
  return JetDatabase::open(os::Env::system(), path, mode, password);
}

JetDatabase::JetDatabase(os::Env& env, std::string path, Mode mode)
    : env_(env), path_(std::move(path)), mode_(mode) {}

JetDatabase::~JetDatabase() {
  try {
    close();
  } catch (...) {
    // A batch that cannot be committed now is rolled back by the next open.
  }
}

std::unique_ptr<JetDatabase> JetDatabase::open(os::Env& env, const std::string& path, Mode mode,
                                               std::string_view password) {
  std::unique_ptr<JetDatabase> db(new JetDatabase(env, path, mode));
  if (!env.exists(path)) throw fileNotFound(path);
  bool writable = mode == Mode::Exclusive;
  if (writable && !env.permitsWriting(path)) {
    // Read as it stands, and every change refused: a file or folder marked read-only is
    // not written, whoever runs the tool.
    db->readOnlyReason_ = "文件 '" + path + "' 或它所在的文件夹 '" + os::folderOf(path) +
                          "' 的权限不允许写入；请先给它们写入权限";
    writable = false;
  }
  db->file_ = openLocked(env, path, writable);
  const bool journalFound = env.exists(journalPathFor(path));
  if (journalFound) refuseWrongPassword(*db->file_, path, password);
  std::optional<journal::RolledBack> rolledBack = recoverInterruptedWrite(env, path, *db->file_, writable);

  std::vector<uint8_t> first(4096);
  size_t got;
  uint64_t size;
  if (rolledBack) {
    size = rolledBack->length;
    got = db->file_->readAt(0, first.data(), static_cast<size_t>(std::min<uint64_t>(first.size(), size)));
    auto zero = rolledBack->pages.find(0);
    if (zero != rolledBack->pages.end())
      std::memcpy(first.data(), zero->second.data(), std::min(first.size(), zero->second.size()));
  } else {
    got = db->file_->readAt(0, first.data(), first.size());
    size = db->file_->size();
  }
  db->header_ = decodeHeader(first.data(), got, size, path);
  db->codec_ = std::make_unique<TextCodec>(db->header_.version, db->header_.codePage, path);
  const bool admitted = passwordMatches(first.data(), db->header_, password, *db->codec_);
  wipe(first.data(), first.size());
  if (!admitted) throw badPassword();
  db->pager_ = std::make_unique<Pager>(*db->file_, db->header_.version, PageCodec(db->header_.encodingKey));
  if (rolledBack) {
    db->notices_.push_back("上次的修改没有完成，留下了日志文件 '" + journalPathFor(path) +
                           "'；以只读方式打开时读取的是撤销该修改后的内容，日志文件保留在原处。");
    db->pager_->setRolledBack(std::move(*rolledBack));
  }
  db->load();
  const bool isAce = db->format() == FileFormat::Ace;
  if (writable) {
    db->lockFile_ = std::make_unique<LockFile>(env, path, isAce);
    if (db->lockFile_->foundInterruptedWrite() && !journalFound) db->noteLostJournal();
  } else if (!journalFound && LockFile::showsInterruptedWrite(env, path, isAce)) {
    db->noteLostJournal();
  }
  db->open_ = std::make_shared<bool>(true);
  return db;
}

void JetDatabase::noteLostJournal() {
  notices_.push_back("上次对此文件的修改在写入途中中断，而它的日志文件 '" + journalPathFor(path_) +
                     "' 已经不在（可能被手工删除）：文件中可能留有只写了一半的修改。"
                     "请先用“验证”检查文件，必要时换用备份。");
}

void JetDatabase::load() {
  std::string current = "MSysObjects";
  try {
    const TableDef catalogDef = readTableDef(*pager_, kCatalogTdefPage, *codec_);
    catalog_ = readCatalog(*pager_, catalogDef, *codec_);
    for (const CatalogEntry& e : tableEntries(catalog_, catalogIndexOrder(*pager_, catalogDef))) {
      current = e.name;
      std::unique_ptr<TableDef> def;
      if (e.type == objtype::kLocalTable) {
        if (e.id <= 0) corrupt("表定义页号无效");
        def = std::make_unique<TableDef>(readTableDef(*pager_, static_cast<uint32_t>(e.id), *codec_));
      } else if (e.type == objtype::kOdbcLinkedTable) {
        // A cached definition of the remote table; not needed to list it.
        try {
          if (e.id > 0)
            def = std::make_unique<TableDef>(readTableDef(*pager_, static_cast<uint32_t>(e.id), *codec_));
        } catch (const Corrupt&) {
          def.reset();
        }
      }
      std::vector<Property> properties;
      if (!e.properties.empty())
        properties = parseProperties(reinterpret_cast<const uint8_t*>(e.properties.data()),
                                     e.properties.size(), *codec_);
      if (def) applyColumnProperties(*def, properties);
      tables_.push_back(describe(e, def.get(), header_.version, properties));
      if (e.type == objtype::kLocalTable) byTdef_[def->page] = tables_.size() - 1;
      defs_.push_back(e.type == objtype::kLocalTable ? std::move(def) : nullptr);
    }
  } catch (const Corrupt& e) {
    raiseDamaged(current, e);
  }
  checkLength();
}

// A file cut short reads as a smaller sound one unless its length is held against what
// its pages promise: whole pages, and every page its tables' usage maps name.
void JetDatabase::checkLength() {
  const uint64_t size = pager_->rolledBack() ? uint64_t(pager_->pageCount()) * pager_->pageSize()
                                             : file_->size();
  std::string what;
  if (size % pager_->pageSize() != 0) {
    what = "文件长度 " + std::to_string(size) + " 字节不是页大小 " +
           std::to_string(pager_->pageSize()) + " 的整数倍";
  } else {
    uint64_t missing = 0;
    std::string table;
    for (size_t i = 0; i < defs_.size(); ++i) {
      if (!defs_[i]) continue;
      const uint64_t before = missing;
      try {
        const TableDef& d = *defs_[i];
        missing += usageMapPagesPastEnd(*pager_, d.ownedMap);
        missing += usageMapPagesPastEnd(*pager_, d.freeMap);
        for (const RealIndexDef& r : d.realIndexes) {
          if (r.rootPage >= pager_->pageCount()) ++missing;
          missing += usageMapPagesPastEnd(*pager_, r.usageMap);
        }
        for (const LongValueMaps& m : d.longValueMaps) {
          missing += usageMapPagesPastEnd(*pager_, m.usageMap);
          missing += usageMapPagesPastEnd(*pager_, m.freeMap);
        }
      } catch (const Corrupt&) {
        // A damaged map is the scan's to report, table by table.
      }
      if (missing != before && table.empty()) table = tables_[i].name;
    }
    if (missing > 0) {
      what = "表 '" + table + "' 等使用的 " + std::to_string(missing) + " 页在文件末尾之外（文件共 " +
             std::to_string(pager_->pageCount()) + " 页）";
    } else if (const uint64_t lost = inUsePastEnd(); lost > 0) {
      what = "全局页面映射中有 " + std::to_string(lost) + " 个在用的页在文件末尾之外（文件共 " +
             std::to_string(pager_->pageCount()) + " 页）";
    }
  }
  if (what.empty()) return;
  incomplete_ = "文件不完整，可能被截断：" + what;
  notices_.push_back(incomplete_ + "。读取到的结果可能不全；此文件已经损坏，不能在它上面修复。");
}

// The global map marks every page in use, whatever holds it (a map's own bitmap page, an
// index or long-value page), and every page past the file's end in its window as free: a
// page in use past the end was lost. Only an inline map is judged; a reference one may
// hold garbage in its slots.
uint64_t JetDatabase::inUsePastEnd() {
  try {
    const RowPointer where{1, 0};
    const PageRef holder = pager_->get(where.page);
    const UsageMap global(where, holder.data(), pager_->version(), pager_->pageCount());
    if (!global.isInline()) return 0;
    uint64_t lost = 0;
    const uint64_t end = uint64_t(global.windowStart()) + global.windowSpan();
    for (uint64_t n = std::max<uint64_t>(pager_->pageCount(), global.windowStart()); n < end; ++n) {
      const auto bit = global.bitOf(static_cast<uint32_t>(n));
      if (bit && bit->page == where.page && !UsageMap::bitSet(holder.data(), *bit)) ++lost;
    }
    return lost;
  } catch (const Corrupt&) {
    return 0;  // a damaged map is the verifier's to report
  }
}

void JetDatabase::raiseDamaged(const std::string& table, const Corrupt& e) const {
  throw damagedAt(path_, "表 '" + table + "'，" + e.what());
}

void JetDatabase::checkOpen() const {
  if (!open_ || !*open_) throw invalidObject();
}

Pager& JetDatabase::pager() {
  checkOpen();
  return *pager_;
}

os::File& JetDatabase::file() {
  checkOpen();
  return *file_;
}

const TableInfo* JetDatabase::findTable(std::string_view name) const {
  for (const auto& t : tables_)
    if (sameName(t.name, name)) return &t;
  return nullptr;
}

const TableDef& JetDatabase::definition(const TableInfo& table) const {
  checkOpen();
  if (table.linked) throw linkedTableData(table.name);
  auto it = byTdef_.find(table.tdefPage);
  if (it == byTdef_.end() || !defs_[it->second]) throw noSuchTable(table.name);
  return *defs_[it->second];
}

const bool* JetDatabase::asciiAsItself() {
  if (asciiAsItself_) return asciiAsItself_.get();
  auto safe = std::make_unique<bool[]>(128);
  std::string out;
  // Each character must decode from its own byte...
  for (int c = 1; c < 128; ++c) {
    const uint8_t b = static_cast<uint8_t>(c);
    out.clear();
    codec_->decode(&b, 1, out);
    safe[c] = out.size() == 1 && out[0] == static_cast<char>(c);
  }
  // ...and from no sequence that lacks that byte: every byte above 0x7F alone and, for
  // a code page of two-byte characters, followed by any byte.
  uint8_t seq[2];
  for (int lead = 0x80; lead < 0x100; ++lead) {
    seq[0] = static_cast<uint8_t>(lead);
    for (int trail = -1; trail < 0x100; ++trail) {
      const size_t n = trail < 0 ? 1 : 2;
      if (trail >= 0) seq[1] = static_cast<uint8_t>(trail);
      out.clear();
      codec_->decode(seq, n, out);
      for (unsigned char ch : out)
        if (ch < 0x80 && !(n == 2 && seq[1] == ch)) safe[ch] = false;
    }
  }
  asciiAsItself_ = std::move(safe);
  return asciiAsItself_.get();
}

std::unique_ptr<TableCursor> JetDatabase::scan(const TableInfo& table) {
  const TableDef& def = definition(table);
  try {
    return std::make_unique<Cursor>(*this, table, def, open_);
  } catch (const Corrupt& e) {
    raiseDamaged(table.name, e);
  }
}

Value JetDatabase::read(const TableInfo& table, RowId row, int column) {
  const TableDef& def = definition(table);
  if (column < 0 || static_cast<size_t>(column) >= def.columns.size()) throw invalidObject();
  try {
    PageRef holder;
    const uint8_t* p;
    uint32_t n;
    if (!locateRow(*pager_, def, row, &holder, &p, &n)) throw noCurrentRecord();
    RowDecoder dec(*pager_, *codec_);
    dec.reset(p, n);
    return dec.value(def.columns[column]);
  } catch (const Corrupt& e) {
    raiseDamaged(table.name, e);
  }
}

namespace {

// A value as the column will hold it, so that its index key is the stored value's key (a
// text "12" given for a Long column is keyed as the number 12).
Value asStored(bool jet3, const ColumnDef& c, const Value& v, int codePage) {
  if (v.isNull()) return v;
  const std::optional<std::vector<uint8_t>> b = write::encodeValue(jet3, c, v, codePage);
  if (!b) return Value();
  auto little = [&](size_t n) {
    uint64_t u = 0;
    for (size_t i = 0; i < n && i < b->size(); ++i) u |= uint64_t((*b)[i]) << (8 * i);
    return u;
  };
  switch (c.type) {
    case coltype::kByte: return Value(int64_t(uint8_t(little(1))));
    case coltype::kInteger: return Value(int64_t(int16_t(little(2))));
    case coltype::kLong: return Value(int64_t(int32_t(little(4))));
    case coltype::kDateTime: {
      const uint64_t u = little(8);
      double d;
      std::memcpy(&d, &u, 8);
      return Value(Date{d});
    }
    case coltype::kText: return v.kind() == Value::Kind::Text ? v : Value(v.toText());
    default: return v;
  }
}

// The real index behind logical index `number` of a definition; -1 when there is none.
int realIndexOf(const TableDef& def, int32_t number) {
  for (const LogicalIndexDef& l : def.logicalIndexes)
    if (l.number == number) return l.realIndex;
  return -1;
}

}  // namespace

void JetDatabase::startWriting() {
  pager_->beginWriting(env_, path_, syncs_);
  // Before a transaction first writes the file early: a marker that cannot be set ends the
  // batch with nothing written. One that cannot be cleared after a rollback only warns at
  // the next open.
  pager_->setWriteMarker([this](bool on) {
    if (!lockFile_) return;
    try {
      lockFile_->markWriting(on);
    } catch (const os::IoError& e) {
      if (on) throw BatchLost(e.restated("锁定文件", unchanged()));
    }
  });
  writer_ = std::make_unique<write::RowWriter>(*pager_, header_.codePage);
  indexPages_ = std::make_unique<index::TransactionPages>(*pager_, *writer_);
}

index::IndexMaintenance& JetDatabase::indexUpkeep(const TableDef& def) {
  std::unique_ptr<index::IndexMaintenance>& m = indexUpkeep_[def.page];
  if (!m) m = std::make_unique<index::IndexMaintenance>(def, header_);
  return *m;
}

void JetDatabase::update(const TableInfo& table, RowId row, int column, const Value& value) {
  const TableDef& def = startChange(table);
  if (column < 0 || static_cast<size_t>(column) >= def.columns.size()) throw invalidObject();
  if (value.isNull()) refuseNull(def, static_cast<size_t>(column));
  changing(table, [&] {
    const format::ColumnDef& c = def.columns[column];
    refuseDamagedRow(def, row);
    refuseDamagedIndexes(def, &c);
    index::IndexMaintenance& upkeep = indexUpkeep(def);
    if (upkeep.holds(c)) {
      // Every index entry that must go and come is known, and every refusal (3027 for a
      // sort order we cannot encode, 3022) made, before the first page changes.
      const ValueOf valueOf = [&](const format::ColumnDef& col) {
        return read(table, row, static_cast<int>(&col - def.columns.data()));
      };
      const Value stored = asStored(header_.version.jet3(), c, value, header_.codePage);
      checkRelations(def, &valueOf,
                     [&](const format::ColumnDef& col) { return &col == &c ? stored : valueOf(col); });
      const std::vector<index::EntryChange> plan =
          upkeep.planUpdate(*indexPages_, row, valueOf, c, value);
      writer_->update(def, row, c, value, [&] { upkeep.apply(*indexPages_, row, plan); });
    } else {
      writer_->update(def, row, c, value);
    }
  });
  commitUnlessGrouped();
}

// Relationships with enforced integrity keep a foreign-key index on each side: a row that
// refers must find its key in the referenced table's index, and a referenced key that
// changes must not leave rows referring to it.
void JetDatabase::checkRelations(const TableDef& def, const ValueOf* before, const ValueOf& after) {
  for (const LogicalIndexDef& l : def.logicalIndexes) {
    if (l.type != idxtype::kForeignKey || l.realIndex < 0 || static_cast<size_t>(l.realIndex) >= def.realIndexes.size())
      continue;
    std::vector<Value> now, was;
    for (const RealIndexColumn& rc : def.realIndexes[static_cast<size_t>(l.realIndex)].columns)
      for (const ColumnDef& c : def.columns)
        if (c.number == rc.number) {
          now.push_back(after(c));
          if (before) was.push_back((*before)(c));
        }
    if (before && was == now) continue;
    const auto other = byTdef_.find(l.relTable);
    if (other == byTdef_.end() || !defs_[other->second])
      throw readOnly("关系 '" + l.name + "' 所关联的表不在此数据库中");
    const TableDef& od = *defs_[other->second];
    const int real = realIndexOf(od, l.relIndex);
    if (real < 0 || static_cast<size_t>(real) >= od.realIndexes.size())
      throw readOnly("关系 '" + l.name + "' 在表 '" + tables_[other->second].name + "' 中没有索引");
    index::IndexMaintenance& theirs = indexUpkeep(od);
    if (l.relTableType == relside::kReferencing) {
      bool anyNull = false;
      for (const Value& v : now) anyNull = anyNull || v.isNull();
      if (!anyNull && !theirs.findsKey(*indexPages_, static_cast<size_t>(real), now))
        throw relatedRecordRequired(tables_[other->second].name);
    } else if (l.relTableType == relside::kReferenced && before &&
               theirs.findsKey(*indexPages_, static_cast<size_t>(real), was)) {
      if (l.cascadeUpdates)
        throw readOnly("关系 '" + l.name + "' 要求把修改级联到表 '" + tables_[other->second].name +
                       "'，暂不支持");
      throw relatedRecordsExist(tables_[other->second].name);
    }
  }
}

void JetDatabase::refuseNull(const TableDef& def, size_t column) const {
  const ColumnDef& c = def.columns[column];
  if (c.type == coltype::kBoolean) return;  // a Yes/No is never Null: Null writes No
  if (tables_[byTdef_.at(def.page)].columns[column].required) throw nullInRequired(c.name);
  if (const LogicalIndexDef* key = def.keyRefusingNull(c)) throw nullInIndex(c.name, key->name);
}

const TableDef& JetDatabase::startChange(const TableInfo& table) {
  checkOpen();
  if (mode_ == Mode::ReadOnly) throw readOnly("数据库以只读方式打开");
  if (!readOnlyReason_.empty()) throw readOnly(readOnlyReason_);
  if (pager_->rolledBack())
    throw readOnly("上次未完成的修改只在读取时撤销，日志文件 '" + journalPathFor(path_) + "' 还在");
  if (!incomplete_.empty()) throw damagedAt(path_, incomplete_);
  if (lockFile_ && lockFile_->failure()) throw lockFile_->failure()->restated("锁定文件", unchanged());
  const TableDef& def = definition(table);
  if (!writer_) startWriting();
  return def;
}

std::string JetDatabase::unchanged() const { return "数据库文件 '" + path_ + "' 没有改动"; }

std::string JetDatabase::roleOf(const std::string& path) const {
  if (path == path_) return "数据库文件";
  if (path == journalPathFor(path_)) return "日志文件";
  if (lockFile_ && path == lockFile_->path()) return "锁定文件";
  return "文件夹";
}

template <typename Work>
auto JetDatabase::changing(const TableInfo& table, Work&& work) -> decltype(work()) {
  if (lost_) throw *lost_;
  try {
    return namingDamage(table, std::forward<Work>(work));
  } catch (const BatchLost& e) {
    loseBatch(e);
  } catch (const os::IoError& e) {
    loseBatch(e.restated(roleOf(e.path()), unchanged()));
  } catch (const Error& e) {
    // A write left half done, or damage met half-way: nothing of the batch may stand.
    if (pager_->broken() || e.number() == err::kDamaged) loseBatch(e);
    throw;
  }
}

void JetDatabase::loseBatch(const Error& e) {
  const BatchLost lost(e);
  // A pager that failed half-way has put the file back already, or left that to the
  // next open; otherwise the transaction's pages are only forgotten (or, when some were
  // written early, put back through the journal).
  if (writer_ && !pager_->broken()) pager_->rollback();
  if (writer_) writer_->forgetHints();
  indexUpkeep_.clear();
  if (batch_) lost_ = lost;
  throw lost;
}

template <typename Work>
auto JetDatabase::namingDamage(const TableInfo& table, Work&& work) -> decltype(work()) {
  try {
    return work();
  } catch (const Corrupt& e) {
    raiseDamaged(table.name, e);
  } catch (const index::IndexCorrupt& e) {
    raiseDamaged(table.name, Corrupt(e.what()));
  }
}

// Everything before the commit point fails the commit with the file as it was; what fails
// after it is told as such (AfterCommit): the change is in the file.
void JetDatabase::commitPages() {
  if (!pager_->inTransaction()) {
    pager_->commit();
    return;
  }
  if (lockFile_) {
    try {
      lockFile_->markWriting(true);
    } catch (const os::IoError& e) {
      loseBatch(e.restated("锁定文件", unchanged()));
    }
  }
  std::optional<AfterCommit> late;
  try {
    pager_->commit();
  } catch (const AfterCommit& e) {
    late = e;
  } catch (...) {
    // A journal left behind speaks for the unfinished commit; without one the file is
    // at its last commit again and the marker would be a false alarm.
    try {
      if (lockFile_ && !env_.exists(journalPathFor(path_))) lockFile_->markWriting(false);
    } catch (const std::exception&) {
    }
    throw;
  }
  if (lockFile_) {
    try {
      lockFile_->markWriting(false);
    } catch (const os::IoError& e) {
      if (!late) late = AfterCommit(e.restated("锁定文件", "修改已经写入数据库文件 '" + path_ + "'"));
    }
  }
  if (late) throw *late;
}

void JetDatabase::commitUnlessGrouped() {
  if (!batch_) commitPages();
}

RowId JetDatabase::insertRow(const TableInfo& table, const std::vector<Value>& given) {
  TableDef& def = *defs_[byTdef_.at(table.tdefPage)];
  TableInfo& info = tables_[byTdef_.at(table.tdefPage)];
  if (given.size() != def.columns.size()) throw invalidObject();
  if (info.system) throw readOnly("表 '" + table.name + "' 是系统表，不能添加记录");
  const bool jet3 = header_.version.jet3();
  std::vector<Value> values(given.size());
  std::optional<int32_t> autoNumber;
  for (size_t i = 0; i < def.columns.size(); ++i) {
    const ColumnDef& c = def.columns[i];
    const ColumnInfo& ci = info.columns[i];
    if (c.type == coltype::kComplex)
      throw readOnly("表 '" + table.name + "' 含附件或多值字段 '" + c.name + "'，暂不能添加记录");
    if (c.type == coltype::kGuid && (c.flags & colflag::kAutoGuid))
      throw readOnly("字段 '" + c.name + "' 是自动生成的同步复制 ID，暂不能添加记录");
    if (c.calculated())
      throw readOnly("字段 '" + c.name + "' 是计算字段，暂不能添加记录");
    if (c.type == coltype::kLong && (c.flags & colflag::kAutoNumber)) {
      // A number given is kept, as Jet keeps it; the counter moves past it.
      const int32_t last = int32_t(def.autoNumber);
      if (given[i].isNull()) {
        if (last == INT32_MAX) throw readOnly("字段 '" + c.name + "' 的自动编号已用尽");
        autoNumber = last + 1;
        values[i] = Value(int64_t(*autoNumber));
        continue;
      }
      values[i] = asStored(jet3, c, given[i], header_.codePage);
      autoNumber = std::max<int32_t>(last, int32_t(values[i].asInt()));
      continue;
    }
    values[i] = asStored(jet3, c, given[i], header_.codePage);
    if (values[i].isNull() && !ci.autoNumber) refuseNull(def, i);
  }
  auto valueOf = [&](const ColumnDef& col) { return values[static_cast<size_t>(&col - def.columns.data())]; };
  refuseDamagedIndexes(def, nullptr);
  checkRelations(def, nullptr, valueOf);
  index::IndexMaintenance& upkeep = indexUpkeep(def);
  RowId id;
  if (upkeep.indexes().empty()) {
    id = writer_->insert(def, values, autoNumber);
  } else {
    // Every entry and every refusal (3027, 3022) is known before the first page changes.
    const std::vector<index::EntryChange> plan = upkeep.planInsert(*indexPages_, valueOf);
    id = writer_->insert(def, values, autoNumber,
                         [&](RowId at) { upkeep.apply(*indexPages_, at, plan); });
  }
  ++def.numRows;
  if (autoNumber) def.autoNumber = uint32_t(*autoNumber);
  info.rowCount = def.numRows;
  return id;
}

RowId JetDatabase::insert(const TableInfo& table, const std::vector<Value>& values) {
  startChange(table);
  const RowId id = changing(table, [&] { return insertRow(table, values); });
  commitUnlessGrouped();
  return id;
}

std::vector<RowId> JetDatabase::insertMany(const TableInfo& table,
                                           const std::vector<std::vector<Value>>& rows) {
  startChange(table);
  commitPages();
  TableDef& def = *defs_[byTdef_.at(table.tdefPage)];
  const uint32_t rowCount = def.numRows, autoNumber = def.autoNumber;
  std::vector<RowId> ids;
  ids.reserve(rows.size());
  namingDamage(table, [&] {
    try {
      for (const auto& r : rows) ids.push_back(insertRow(table, r));
      commitPages();
    } catch (...) {
      // The transaction holds these rows alone: all of them go.
      pager_->rollback();
      writer_->forgetHints();
      def.numRows = rowCount;
      def.autoNumber = autoNumber;
      tables_[byTdef_.at(table.tdefPage)].rowCount = rowCount;
      throw;
    }
  });
  return ids;
}

namespace {

}  // namespace

void JetDatabase::refuseDamagedRow(const TableDef& def, RowId id) {
  PageRef holder;
  const uint8_t* p;
  uint32_t n;
  if (!locateRow(*pager_, def, id, &holder, &p, &n)) throw noCurrentRecord();
  refuseDamagedRow(def, p, n, id);
}

void JetDatabase::refuseDamagedRow(const TableDef& def, const uint8_t* p, uint32_t n, RowId id) {
  try {
    const format::RowParts parts = format::parseRow(header_.version.jet3(), def.numVarCols > 0, p, n);
    if (parts.numCols > def.maxCols) corrupt("行的列数超过表定义");
    RowDecoder dec(*pager_, *codec_);
    dec.reset(p, n);
    for (const ColumnDef& c : def.columns)
      if (!c.isLongValue()) dec.value(c);
  } catch (const Corrupt& e) {
    throw Corrupt(std::string(e.what()) + "（读取第 " + std::to_string(id.page) + " 页第 " +
                  std::to_string(id.row) + " 行时）");
  }
}

void JetDatabase::refuseDamagedIndexes(const TableDef& def, const ColumnDef* column) {
  index::IndexMaintenance& upkeep = indexUpkeep(def);
  for (const index::RealIndex& ix : upkeep.indexes()) {
    if (column && !ix.holds(*column)) continue;
    if (soundIndexes_.count({def.page, ix.number})) continue;
    index::PagerPages pages(*pager_);
    const index::TreeWalk w =
        index::walk(pages, index::indexLayout(header_.version), ix.root, def.page);
    if (!w.problems.empty()) corrupt("索引 '" + ix.name + "' 已损坏：" + w.problems.front());
    soundIndexes_.emplace(def.page, ix.number);
  }
}

void JetDatabase::checkWritable(const TableInfo& table, int column) {
  const TableDef& def = definition(table);
  if (!incomplete_.empty()) throw damagedAt(path_, incomplete_);
  if (column < 0 || static_cast<size_t>(column) >= def.columns.size()) throw invalidObject();
  namingDamage(table, [&] {
    TableScan scan(*pager_, def);
    while (scan.next()) refuseDamagedRow(def, scan.row(), scan.rowLength(), scan.rowId());
    refuseDamagedIndexes(def, &def.columns[static_cast<size_t>(column)]);
  });
}

void JetDatabase::beginBatch() { beginWholeBatch(); }

void JetDatabase::commitBatch() {
  checkOpen();
  batch_ = false;
  if (lost_) {
    const BatchLost lost = *lost_;
    lost_.reset();
    throw lost;
  }
  if (writer_) commitPages();
}

void JetDatabase::beginWholeBatch() {
  checkOpen();
  if (writer_) commitPages();
  batch_ = true;
  lost_.reset();
}

void JetDatabase::rollbackBatch() {
  checkOpen();
  batch_ = false;
  lost_.reset();
  if (!writer_) return;
  pager_->rollback();
  // Nothing remembered about pages may outlive their rollback.
  writer_->forgetHints();
  indexUpkeep_.clear();
}

int JetDatabase::lastPlacement() const {
  return writer_ ? static_cast<int>(writer_->lastPlacement()) : -1;
}

Pager::WriteStats JetDatabase::writeStats() const {
  return pager_ ? pager_->writeStats() : Pager::WriteStats{};
}

void JetDatabase::close() {
  std::exception_ptr failed;
  if (writer_ && open_ && *open_ && !lost_) {
    // The end of the last walk is a commit point too.
    try {
      commitPages();
    } catch (...) {
      failed = std::current_exception();  // the journal stays hot: the next open rolls back
    }
  }
  batch_ = false;
  lost_.reset();
  indexUpkeep_.clear();
  soundIndexes_.clear();
  indexPages_.reset();
  writer_.reset();
  if (pager_) pager_->endWriting();  // the journal goes before the lock file
  if (open_) *open_ = false;
  open_.reset();
  lockFile_.reset();
  pager_.reset();
  file_.reset();  // releases the OS lock
  if (failed) std::rethrow_exception(failed);
}

}  // namespace jet
