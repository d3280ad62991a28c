// The usage-map layout that the reader and the writer share, over every file we have.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestFiles.h"
#include "jet/Error.h"
#include "jet/JetDatabase.h"
#include "jet/Pager.h"
#include "jet/format/DataPage.h"
#include "jet/format/UsageMap.h"

namespace {

using jet::format::RowPointer;
using jet::format::UsageMap;
using jet::PageRef;

struct Tally {
  int maps = 0, references = 0;
};

// The decision where the writer and the reader used to differ: a map never names page 0
// (the header page: 0 means "none" wherever a page is named), and a reference slot inside
// the file names a bitmap page or the map is damage. A sound file has neither, so reading
// it as damage, and leaving page 0 out, changes nothing for one.
void checkMap(jet::Pager& pager, RowPointer where, const std::string& what, Tally& tally) {
  if (where.isNull()) return;
  SCOPED_TRACE(what);
  const UsageMap map(where, pager.get(where.page), pager.version(), pager.pageCount());
  ++tally.maps;
  if (const auto bit = map.bitOf(0); bit && bit->page != 0) {
    EXPECT_FALSE(UsageMap::bitSet(pager.get(bit->page).data(), *bit)) << "page 0 is in the map";
  }
  if (!map.isInline()) {
    ++tally.references;
    for (uint32_t j = 0; j < map.bitmapSlots(); ++j) {
      if (const uint32_t bp = map.bitmapPage(j)) {
        EXPECT_EQ(pager.get(bp).data()[0], jet::format::kUsageBitmapPageType) << "slot " << j;
      }
    }
  }
  const std::vector<uint32_t> pages = map.pages(pager);
  EXPECT_TRUE(std::is_sorted(pages.begin(), pages.end()));
  EXPECT_EQ(std::adjacent_find(pages.begin(), pages.end()), pages.end());
  EXPECT_EQ(std::count(pages.begin(), pages.end(), 0u), 0);
  // Every page the map names has its bit where bitOf() says: the change operations and
  // the read agree on the layout.
  for (uint32_t n : pages) {
    const auto bit = map.bitOf(n);
    ASSERT_TRUE(bit && bit->page != 0) << n;
    EXPECT_TRUE(UsageMap::bitSet(pager.get(bit->page).data(), *bit)) << n;
  }
  // The same map in a file cut short (one that still holds the map's own pages): past the
  // end it names what it named there before (the free-page map runs on) and what the cut
  // took of its list; the rest as before.
  if (pages.empty()) return;
  PageRef held;
  const uint64_t beyond = map.pagesPastEnd(UsageMap::readerOf(pager, held));
  uint32_t ownPages = where.page;
  for (uint32_t j = 0; !map.isInline() && j < map.bitmapSlots(); ++j) ownPages = std::max(ownPages, map.bitmapPage(j));
  for (uint32_t cut : {pages.front(), pages[pages.size() / 2], pages.back()}) {
    if (cut <= ownPages) continue;
    const UsageMap shorter(where, pager.get(where.page), pager.version(), cut);
    const auto within = std::lower_bound(pages.begin(), pages.end(), cut);
    EXPECT_EQ(shorter.pagesPastEnd(UsageMap::readerOf(pager, held)), beyond + uint64_t(pages.end() - within))
        << cut;
    EXPECT_EQ(shorter.pages(pager), std::vector<uint32_t>(pages.begin(), within)) << cut;
  }
}

TEST(UsageMap, EveryMapOfEveryFileReadsAsTheWriterChangesIt) {
  Tally tally;
  for (const auto& file : testfiles::everyFormatFile()) {
    SCOPED_TRACE(file.string());
    auto db = jet::JetDatabase::open(jet::os::Env::system(), file.string(), jet::Database::Mode::ReadOnly);
    jet::Pager& pager = db->pager();
    checkMap(pager, RowPointer{1, 0}, "global map", tally);
    for (const jet::TableInfo& t : db->tables()) {
      if (t.linked) continue;
      const jet::format::TableDef& d = db->definition(t);
      checkMap(pager, d.ownedMap, t.name + " owned", tally);
      checkMap(pager, d.freeMap, t.name + " free", tally);
      for (const auto& r : d.realIndexes) checkMap(pager, r.usageMap, t.name + " index", tally);
      for (const auto& m : d.longValueMaps) {
        checkMap(pager, m.usageMap, t.name + " long values", tally);
        checkMap(pager, m.freeMap, t.name + " long values free", tally);
      }
    }
  }
  EXPECT_GT(tally.maps, 1000);
  EXPECT_GT(tally.references, 0);
  std::cout << tally.maps << " maps, " << tally.references << " of them references\n";
}

// A reference slot that names a page inside the file which is not a bitmap page is damage
// for the reader and the writer alike (the writer used to skip it and grow the map over it).
TEST(UsageMap, AReferenceToANonBitmapPageIsDamage) {
  const uint32_t ps = 4096;
  std::vector<uint8_t> holder(ps, 0), notBitmap(ps, 0);
  holder[0] = jet::format::kDataPageType;
  jet::format::put16le(holder.data() + 12, 1);        // one row
  const uint32_t rowAt = ps - 9;                      // a reference row of two slots
  jet::format::put16le(holder.data() + 14, uint16_t(rowAt));
  UsageMap::writeReference(holder.data() + rowAt, 9, {7, 0});
  notBitmap[0] = jet::format::kDataPageType;
  jet::format::Version v4;
  const UsageMap map(RowPointer{3, 0}, holder.data(), v4, 10);
  EXPECT_TRUE(map.covers(map.perBitmap() + 5));
  EXPECT_FALSE(map.covers(2 * map.perBitmap()));
  EXPECT_THROW(map.pages([&](uint32_t) { return notBitmap.data(); }), jet::format::Corrupt);
  UsageMap::initBitmapPage(notBitmap.data(), ps);
  UsageMap::setBit(notBitmap.data(), UsageMap::inBitmap(7, 0, map.perBitmap()), true);
  UsageMap::setBit(notBitmap.data(), UsageMap::inBitmap(7, 9, map.perBitmap()), true);
  EXPECT_EQ(map.pages([&](uint32_t) { return notBitmap.data(); }), std::vector<uint32_t>{9});
}

}  // namespace
