// Opening the file and reading its catalog: the lock, an interrupted write rolled back or
// read around, the header, the table definitions, and the file's length held against them.
// The cursors are in JetCursor.cpp, the changes and their batches in JetChanges.cpp, what a
// change is refused for in JetConstraints.cpp.
#include "jet/JetDatabase.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "jet/Error.h"
#include "jet/Recovery.h"
#include "jet/Secret.h"
#include "jet/format/Properties.h"
#include "jet/format/UsageMap.h"
#include "jet/index/IndexMaintenance.h"
#include "jet/os/Path.h"
#include "jet/os/Unicode.h"
#include "jet/TransactionPages.h"
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
