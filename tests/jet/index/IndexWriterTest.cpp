#include "jet/index/IndexWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

using namespace jet;
using namespace jet::index;

namespace {

// A new tree in memory: page 1 its empty root (page 0 unused).
MemoryPages newTree(const IndexPageLayout& L) {
  std::vector<uint8_t> bytes(2 * L.pageSize);
  IndexPage root;
  root.number = 1;
  root.tdefPage = 7;
  encodeIndexPage(root, &bytes[L.pageSize], L);
  return MemoryPages(std::move(bytes), L.pageSize);
}

// The pages the tree holds by what the writer took and gave back, each through the
// index's usage map: the root, and every page taken and not given back.
std::set<uint32_t> owned(const MemoryPages& store) {
  std::set<uint32_t> pages{1};
  for (const auto& a : store.allocated) {
    EXPECT_EQ(a.usageMap, 0x1234u);
    pages.insert(a.page);
  }
  for (const auto& r : store.released) {
    EXPECT_EQ(r.usageMap, 0x1234u);
    EXPECT_EQ(pages.erase(r.page), 1u) << "released twice or never owned: " << r.page;
  }
  return pages;
}

Bytes entryFor(uint32_t id, std::mt19937& rng, bool randomLength) {
  Bytes e = {0x7F};
  const int len = randomLength ? static_cast<int>(rng() % 40) : 6;
  for (int i = 0; i < len; ++i) e.push_back(static_cast<uint8_t>(0x40 + rng() % 60));
  e.push_back(0x00);
  appendRowId(e, 100 + id / 200, static_cast<uint8_t>(id % 200));
  return e;
}

void expectTree(MemoryPages& store, const IndexPageLayout& L, const std::set<Bytes>& want) {
  const TreeWalk w = walk(store, L, 1, 7);
  ASSERT_TRUE(w.problems.empty()) << w.problems.front();
  ASSERT_EQ(w.entries.size(), want.size());
  size_t i = 0;
  for (const Bytes& b : want) ASSERT_EQ(w.entries[i++].bytes, b);
  const std::set<uint32_t> reached(w.pages.begin(), w.pages.end());
  EXPECT_EQ(reached, owned(store));
}

}  // namespace

// Random keys of random length into the small Jet 3 pages: leaves and nodes split, the
// root grows new levels, and removing everything gives every page back.
TEST(IndexWriter, GrowsAndShrinksThroughSplitsAndNewLevels) {
  const IndexPageLayout& L = kIndexJet3;
  MemoryPages store = newTree(L);
  IndexWriter w(store, L, IndexRef{1, 7, 0x1234});
  std::mt19937 rng(42);
  std::set<Bytes> want;
  std::vector<Bytes> order;
  for (uint32_t id = 0; id < 30000; ++id) {
    Bytes e = entryFor(id, rng, true);
    w.insert(e);
    want.insert(e);
    order.push_back(e);
    if (id % 7000 == 0) expectTree(store, L, want);
  }
  expectTree(store, L, want);
  EXPECT_GE(walk(store, L, 1, 7).depth, 3);
  EXPECT_THROW(w.insert(order[5]), IndexCorrupt);

  std::shuffle(order.begin(), order.end(), rng);
  for (size_t i = 0; i < order.size(); ++i) {
    w.remove(order[i]);
    want.erase(order[i]);
    if (i % 6000 == 0) expectTree(store, L, want);
  }
  expectTree(store, L, want);
  EXPECT_EQ(owned(store), std::set<uint32_t>{1});
  EXPECT_EQ(w.pagesAllocated(), w.pagesReleased());
  EXPECT_THROW(w.remove(order[0]), IndexCorrupt);
}

// Ascending keys (dates, autonumbers) fill each leaf before starting the next, as Access
// does, instead of leaving every page half empty.
TEST(IndexWriter, AppendingKeepsLeavesFull) {
  const IndexPageLayout& L = kIndexJet4;
  MemoryPages store = newTree(L);
  IndexWriter w(store, L, IndexRef{1, 7, 0x1234});
  std::set<Bytes> want;
  for (uint32_t id = 0; id < 20000; ++id) {
    Bytes e = {0x7F, static_cast<uint8_t>(0x80 | id >> 24), static_cast<uint8_t>(id >> 16),
               static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id)};
    appendRowId(e, 100 + id / 200, static_cast<uint8_t>(id % 200));
    w.insert(e);
    want.insert(e);
  }
  expectTree(store, L, want);
  // 9-byte entries: 401 to a full leaf.
  EXPECT_LE(owned(store).size(), 20000u / 380 + 3);
}

TEST(IndexWriter, FindsAnyEntryOfAKeyAcrossLeafBoundaries) {
  const IndexPageLayout& L = kIndexJet3;
  MemoryPages store = newTree(L);
  IndexWriter w(store, L, IndexRef{1, 7, 0x1234});
  // Many rows share a few keys, so equal keys span several leaves.
  for (uint32_t id = 0; id < 3000; ++id) {
    Bytes e = {0x7F, static_cast<uint8_t>(id % 5), 0x00};
    appendRowId(e, 200 + id / 100, static_cast<uint8_t>(id % 100));
    w.insert(e);
  }
  for (uint8_t k = 0; k < 5; ++k) {
    const auto hit = w.findKey(Bytes{0x7F, k, 0x00});
    ASSERT_TRUE(hit.has_value());
  }
  EXPECT_FALSE(w.findKey(Bytes{0x7F, 9, 0x00}).has_value());
  EXPECT_FALSE(w.findKey(Bytes{0x7F, 0x00}).has_value());
  // Remove every entry of key 2: it is gone, its neighbours stay.
  for (uint32_t id = 2; id < 3000; id += 5) {
    Bytes e = {0x7F, 2, 0x00};
    appendRowId(e, 200 + id / 100, static_cast<uint8_t>(id % 100));
    w.remove(e);
  }
  EXPECT_FALSE(w.findKey(Bytes{0x7F, 2, 0x00}).has_value());
  EXPECT_TRUE(w.findKey(Bytes{0x7F, 3, 0x00}).has_value());
  EXPECT_TRUE(walk(store, L, 1, 7).problems.empty());
}
