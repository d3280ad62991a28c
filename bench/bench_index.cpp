// What keeping indexes right costs: the same grouped walk of Date/Time rewrites on an
// indexed column and on an unindexed one of the same file, in one run; text rewrites of an
// indexed column in the sort orders General Legacy and Chinese PRC (the same column given
// the other sort order in a copy); and the index writer alone, inserting keys into a tree in
// memory.
//
//   bench_index [FIXTURE]   (default: the shared fixtures/checks2000.mdb; skips when absent)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <unistd.h>
#include <string>
#include <vector>

#include "jet/JetDatabase.h"
#include "jet/index/IndexWriter.h"
#include "jet/index/Key.h"

namespace fs = std::filesystem;

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A writable copy of `original` in the temporary folder (the shared file may be read-only).
fs::path writableCopy(const fs::path& original, const std::string& tag) {
  const fs::path path = fs::temp_directory_path() / ("bench_index_" + tag + std::to_string(::getpid()) + ".mdb");
  fs::copy_file(original, path, fs::copy_options::overwrite_existing);
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
  return path;
}

// Every row of `t`, in table order.
std::vector<jet::RowId> rowIdsOf(jet::Database& db, const jet::TableInfo& t) {
  std::vector<jet::RowId> ids;
  auto cur = db.scan(t);
  while (cur->next()) ids.push_back(cur->rowId());
  return ids;
}

// Rewrites `column` of every row of `table`, `rounds` times, as one grouped walk; rows/s.
double rewriteRate(const fs::path& original, const char* table, const char* column, int rounds) {
  const fs::path path = writableCopy(original, "");
  double rate = 0;
  {
    auto db = jet::JetDatabase::open(jet::os::Env::system(), path.string(), jet::Database::Mode::Exclusive);
    const jet::TableInfo& t = *db->findTable(table);
    const int c = t.findColumn(column)->position;
    const std::vector<jet::RowId> ids = rowIdsOf(*db, t);
    std::mt19937 rng(1);
    const double t0 = now();
    db->beginBatch();
    for (int r = 0; r < rounds; ++r)
      for (const jet::RowId& id : ids) db->update(t, id, c, jet::Value(jet::Date{1.5 + rng() % 60000}));
    db->commitBatch();
    db->close();
    rate = double(ids.size()) * rounds / (now() - t0);
  }
  fs::remove(path);
  return rate;
}

// Gives `column` of `table` the sort order `lcid` in the copy's table definition (its
// descriptor on the definition's first page, Jet 4 layout); false when it is not found.
bool patchSortOrder(const fs::path& path, const char* table, const char* column, uint16_t lcid) {
  uint32_t tdef;
  jet::format::ColumnDef col;
  {
    auto db = jet::JetDatabase::open(jet::os::Env::system(), path.string(), jet::Database::Mode::ReadOnly);
    const jet::format::TableDef& def = db->definition(*db->findTable(table));
    tdef = def.page;
    col = *def.findColumn(column);
  }
  std::vector<char> bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  auto* page = reinterpret_cast<uint8_t*>(&bytes[size_t{tdef} * 4096]);
  auto le16 = [](const uint8_t* p) { return p[0] | p[1] << 8; };
  int found = 0;
  for (size_t o = 63; o + 25 <= 4096; ++o)
    if (page[o] == col.type && le16(page + o + 5) == col.number && le16(page + o + 7) == col.varIndex &&
        le16(page + o + 11) == col.collation && le16(page + o + 23) == col.length) {
      page[o + 11] = uint8_t(lcid);
      page[o + 12] = uint8_t(lcid >> 8);
      ++found;
    }
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
  return found == 1;
}

// Rewrites an indexed text column of every row with Chinese and Latin text, `rounds` times
// as one grouped walk, after one untimed round that gives every row a key of the column's
// sort order (0: as the file has it); rows/s, 0 when the column cannot be given it.
double textRewriteRate(const fs::path& original, const char* table, const char* column,
                       uint16_t lcid, int rounds) {
  const fs::path path = writableCopy(original, "t");
  double rate = 0;
  if (lcid == 0 || patchSortOrder(path, table, column, lcid)) {
    auto db = jet::JetDatabase::open(jet::os::Env::system(), path.string(), jet::Database::Mode::Exclusive);
    const jet::TableInfo& t = *db->findTable(table);
    const int c = t.findColumn(column)->position;
    const std::vector<jet::RowId> ids = rowIdsOf(*db, t);
    static const char* kWords[] = {"应收账款-", "预付/", "Cash-", "管理费用：", "銀行存款"};
    std::mt19937 rng(3);
    auto round = [&] {
      for (const jet::RowId& id : ids)
        db->update(t, id, c, jet::Value(kWords[rng() % 5] + std::to_string(rng() % 10000)));
    };
    db->beginBatch();
    round();
    db->commitBatch();
    const double t0 = now();
    db->beginBatch();
    for (int r = 0; r < rounds; ++r) round();
    db->commitBatch();
    db->close();
    rate = double(ids.size()) * rounds / (now() - t0);
  }
  fs::remove(path);
  return rate;
}

// A new Jet 4 tree in memory: page 1 its empty root.
jet::index::MemoryPages newTree() {
  std::vector<uint8_t> bytes(2 * 4096);
  jet::index::IndexPage root;
  root.number = 1;
  jet::index::encodeIndexPage(root, &bytes[4096], jet::index::kIndexJet4);
  return jet::index::MemoryPages(std::move(bytes), 4096);
}

// Entries per second into one tree: ascending (autonumbers, dates in time order) or random.
double insertRate(int n, bool text, bool ascending) {
  jet::index::MemoryPages pages = newTree();
  jet::index::IndexWriter w(pages, jet::index::kIndexJet4, {1, 0, 0});
  std::mt19937 rng(2);
  const jet::index::KeyColumn col{uint8_t(text ? 0x0A : 0x08), true, {}, "c"};
  std::vector<jet::Bytes> entries;
  entries.reserve(n);
  for (int i = 0; i < n; ++i) {
    jet::Value v = text ? jet::Value("批次" + std::to_string(ascending ? i : int(rng() % 1000000)) + " ok")
                        : jet::Value(jet::Date{ascending ? 1.0 + i : double(rng() % 60000)});
    jet::Bytes e;
    jet::index::appendColumnKey(col, v, e);
    jet::index::appendRowId(e, 100 + i / 250, uint8_t(i % 250));
    entries.push_back(std::move(e));
  }
  const double t0 = now();
  for (const auto& e : entries) w.insert(e);
  return n / (now() - t0);
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path fixture = argc > 1 ? fs::path(argv[1]) : fs::path(MDBCHECK_SHARED) / "fixtures/checks2000.mdb";
  if (!fs::exists(fixture)) {
    std::printf("skipped: %s is absent\n", fixture.c_str());
    return 0;
  }
  // 凭证.制单日期 is indexed (1000 rows, 40 rounds); Big.D is not (40,000 rows): 40,000
  // updates each, grouped commits as the repair walk makes them.
  const double indexed = rewriteRate(fixture, "凭证", "制单日期", 40);
  const double plain = rewriteRate(fixture, "Big", "D", 1);
  std::printf("date rewrite, indexed column   %9.0f rows/s\n", indexed);
  std::printf("date rewrite, unindexed column %9.0f rows/s   (indexed / unindexed %.2f)\n", plain,
              indexed / plain);
  // 凭证.科目代码 is an indexed text column (1000 rows, 20 rounds).
  const double general = textRewriteRate(fixture, "凭证", "科目代码", 0, 20);
  const double prc = textRewriteRate(fixture, "凭证", "科目代码", 0x0804, 20);
  std::printf("text rewrite, General Legacy index %9.0f rows/s\n", general);
  std::printf("text rewrite, Chinese PRC index    %9.0f rows/s   (PRC / General %.2f)\n", prc,
              general > 0 ? prc / general : 0.0);
  for (bool text : {false, true})
    for (bool asc : {true, false})
      std::printf("index writer alone, %s keys, %s: %9.0f entries/s\n", text ? "text" : "date",
                  asc ? "ascending" : "random   ", insertRate(200000, text, asc));
  return 0;
}
