// The pager's cache under a bound far below the file: every table scan and every index
// walk of a fixture reads the same as with the default cache, while the buffers held stay
// within the bound (plus the pages pinned at that moment).
#include <gtest/gtest.h>

#include <algorithm>

#include "TestFiles.h"
#include "jet/JetDatabase.h"
#include "jet/index/IndexTree.h"

namespace {

struct Reading {
  std::vector<jet::RowId> rows;
  std::vector<jet::Value> values;
  std::vector<jet::Bytes> entries;  // each index's leaf entries, in order
  size_t peakFrames = 0;
};

Reading readAll(const std::string& path, size_t bound) {
  auto db = jet::JetDatabase::open(jet::os::Env::system(), path, jet::Database::Mode::ReadOnly);
  jet::Pager& pager = db->pager();
  if (bound != 0) pager.setCacheBound(bound);
  Reading r;
  auto note = [&] { r.peakFrames = std::max(r.peakFrames, pager.cacheStats().frames); };
  for (const jet::TableInfo& t : db->tables()) {
    if (t.linked || t.tdefPage == 0) continue;
    auto cur = db->scan(t);
    while (cur->next()) {
      r.rows.push_back(cur->rowId());
      for (const auto& c : t.columns) r.values.push_back(cur->value(c.position));
      note();
    }
    const jet::format::TableDef& def = db->definition(t);
    jet::index::PagerPages src(pager);
    for (const auto& ix : def.realIndexes) {
      const jet::index::TreeWalk w =
          jet::index::walk(src, jet::index::indexLayout(pager.version().jet3()), ix.rootPage, def.page);
      EXPECT_TRUE(w.problems.empty()) << t.name;
      for (const auto& e : w.entries) r.entries.push_back(e.bytes);
      note();
    }
  }
  return r;
}

}  // namespace

TEST(Pager, ScansAndIndexWalksReadTheSameUnderATinyCache) {
  for (const char* name : {"checks2000.mdb", "checks2003.mdb"}) {
    SCOPED_TRACE(name);
    const std::string path = testfiles::data(name).string();
    const Reading whole = readAll(path, 0);
    const Reading tiny = readAll(path, 4);
    ASSERT_GT(whole.rows.size(), 40000u);
    EXPECT_FALSE(whole.entries.empty());
    EXPECT_EQ(tiny.rows, whole.rows);
    EXPECT_TRUE(tiny.values == whole.values);
    EXPECT_EQ(tiny.entries, whole.entries);
    // A scan pins its page and an overflow row's, a long value one more.
    EXPECT_LE(tiny.peakFrames, 4u + 3u);
    EXPECT_GT(whole.peakFrames, 100u);  // the file is far larger than the tiny bound
  }
}
