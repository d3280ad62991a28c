#include "jet/index/IndexWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

using namespace jet;
using namespace jet::index;

namespace {

// A file image in memory: pages are appended on allocation and remembered as free on
// release, so the tests can check that the tree owns exactly the pages it was given.
class MemoryStore : public PageStore {
 public:
  explicit MemoryStore(const IndexPageLayout& L) : L_(L) {
    pages_.resize(2 * L.pageSize);  // page 0 unused, page 1 the root
    IndexPage root;
    root.number = 1;
    root.tdefPage = 7;
    encodeIndexPage(root, &pages_[L.pageSize], L);
    owned.insert(1);
  }
  const uint8_t* page(uint32_t n) override { return check(n); }
  uint8_t* modify(uint32_t n) override { return check(n); }
  uint32_t allocate(uint32_t map) override {
    EXPECT_EQ(map, 0x1234u);
    const uint32_t n = static_cast<uint32_t>(pages_.size() / L_.pageSize);
    pages_.resize(pages_.size() + L_.pageSize);
    owned.insert(n);
    return n;
  }
  void release(uint32_t n, uint32_t map) override {
    EXPECT_EQ(map, 0x1234u);
    EXPECT_EQ(owned.erase(n), 1u) << "released twice or never owned: " << n;
  }
  std::set<uint32_t> owned;

 private:
  uint8_t* check(uint32_t n) {
    if (n == 0 || size_t{n + 1} * L_.pageSize > pages_.size()) throw IndexCorrupt("bad page");
    return &pages_[size_t{n} * L_.pageSize];
  }
  const IndexPageLayout& L_;
  std::vector<uint8_t> pages_;
};

Bytes entryFor(uint32_t id, std::mt19937& rng, bool randomLength) {
  Bytes e = {0x7F};
  const int len = randomLength ? static_cast<int>(rng() % 40) : 6;
  for (int i = 0; i < len; ++i) e.push_back(static_cast<uint8_t>(0x40 + rng() % 60));
  e.push_back(0x00);
  appendRowId(e, 100 + id / 200, static_cast<uint8_t>(id % 200));
  return e;
}

void expectTree(MemoryStore& store, const IndexPageLayout& L, const std::set<Bytes>& want) {
  const TreeWalk w = walk(store, L, 1, 7);
  ASSERT_TRUE(w.problems.empty()) << w.problems.front();
  ASSERT_EQ(w.entries.size(), want.size());
  size_t i = 0;
  for (const Bytes& b : want) ASSERT_EQ(w.entries[i++].bytes, b);
  const std::set<uint32_t> reached(w.pages.begin(), w.pages.end());
  EXPECT_EQ(reached, store.owned);
}

}  // namespace

// Random keys of random length into the small Jet 3 pages: leaves and nodes split, the
// root grows new levels, and removing everything gives every page back.
TEST(IndexWriter, GrowsAndShrinksThroughSplitsAndNewLevels) {
  const IndexPageLayout& L = kIndexJet3;
  MemoryStore store(L);
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
  EXPECT_EQ(store.owned, std::set<uint32_t>{1});
  EXPECT_EQ(w.pagesAllocated(), w.pagesReleased());
  EXPECT_THROW(w.remove(order[0]), IndexCorrupt);
}

// Ascending keys (dates, autonumbers) fill each leaf before starting the next, as Access
// does, instead of leaving every page half empty.
TEST(IndexWriter, AppendingKeepsLeavesFull) {
  const IndexPageLayout& L = kIndexJet4;
  MemoryStore store(L);
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
  EXPECT_LE(store.owned.size(), 20000u / 380 + 3);
}

TEST(IndexWriter, FindsAnyEntryOfAKeyAcrossLeafBoundaries) {
  const IndexPageLayout& L = kIndexJet3;
  MemoryStore store(L);
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
