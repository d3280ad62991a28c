#include "jet/index/IndexPage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "TestFiles.h"
#include "jet/index/IndexTree.h"

using namespace jet;
using namespace jet::index;

namespace {

MemoryPages filePages(const std::filesystem::path& p, uint32_t ps) { return MemoryPages(testfiles::fileBytes(p), ps); }

std::string show(const Bytes& b) {
  std::string s;
  char buf[4];
  for (uint8_t x : b) {
    std::snprintf(buf, sizeof buf, "%02X ", x);
    s += buf;
  }
  if (!s.empty()) s.pop_back();
  return s;
}

}  // namespace

TEST(IndexPage, ReadsAJet4NodeWithItsTailAndLeaves) {
  MemoryPages f = filePages(testfiles::corpus("V2000/compIndexTestV2000.mdb"), 4096);
  const IndexPage root = decodeIndexPage(f.page(29), 29, kIndexJet4);
  ASSERT_FALSE(root.leaf());
  EXPECT_EQ(root.tail, 33u);
  ASSERT_EQ(root.entries.size(), 1u);
  EXPECT_EQ(show(root.entries[0].bytes), "80 7F FF FF EC 00 00 11 00");
  EXPECT_EQ(root.entries[0].child, 32u);
  const IndexPage left = decodeIndexPage(f.page(32), 32, kIndexJet4);
  const IndexPage right = decodeIndexPage(f.page(33), 33, kIndexJet4);
  EXPECT_EQ(left.entries.size(), 510u);
  EXPECT_EQ(right.entries.size(), 2u);
  EXPECT_EQ(left.next, 33u);
  EXPECT_EQ(right.prev, 32u);
  EXPECT_EQ(left.entries.back().bytes, root.entries[0].bytes);

  const TreeWalk w = walk(f, kIndexJet4, 29, root.tdefPage);
  EXPECT_TRUE(w.problems.empty()) << w.problems.front();
  EXPECT_EQ(w.entries.size(), 512u);
  EXPECT_EQ(w.depth, 2);
  EXPECT_TRUE(contains(f, kIndexJet4, 29, left.entries[100].bytes));
  EXPECT_TRUE(contains(f, kIndexJet4, 29, right.entries[1].bytes));
  Bytes absent = right.entries[1].bytes;
  absent.back() ^= 1;
  EXPECT_FALSE(contains(f, kIndexJet4, 29, absent));
}

TEST(IndexPage, ReadsJet3LeavesWithTheirOneBytePrefixLength) {
  MemoryPages f = filePages(testfiles::corpus("V1997/testIndexCodesV1997.mdb"), 2048);
  const IndexPage dates = decodeIndexPage(f.page(187), 187, kIndexJet3);
  ASSERT_TRUE(dates.leaf());
  EXPECT_EQ(dates.tdefPage, 184u);
  EXPECT_EQ(show(dates.entries[0].bytes), "00 00 00 BA 04");
  EXPECT_EQ(dates.entries[0].rowPage(), 186u);
  EXPECT_EQ(dates.entries[0].rowNumber(), 4);
  const IndexPage texts = decodeIndexPage(f.page(188), 188, kIndexJet3);
  EXPECT_EQ(show(texts.entries[0].bytes), "7F 75 72 7B 56 00 00 00 BA 00");
  EXPECT_EQ(show(texts.entries[1].bytes), "7F 75 72 7B 57 00 00 00 BA 01");
}

// Every index page of every corpus file reads, what we write reads back the same, and
// relinking a page changes its links alone;
// pages whose prefix we choose as Access does come back byte for byte.
namespace {

struct RoundTrips {
  int pages = 0, identical = 0;
};

void roundTripIndexPages(const std::vector<std::filesystem::path>& files, RoundTrips& r) {
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    char head[0x15];
    in.read(head, sizeof head);
    const bool jet3 = head[0x14] == 0;
    const IndexPageLayout& L = indexLayout(jet3);
    MemoryPages f = filePages(file, L.pageSize);
    for (uint32_t n = 1; n < f.count(); ++n) {
      const uint8_t* raw = f.page(n);
      if ((raw[0] != kNodePage && raw[0] != kLeafPage) || raw[1] != 0x01) continue;
      IndexPage p;
      try {
        p = decodeIndexPage(raw, n, L);
      } catch (const IndexCorrupt&) {
        continue;  // free pages keep whatever they held
      }
      std::vector<uint8_t> out(L.pageSize);
      ASSERT_TRUE(encodeIndexPage(p, out.data(), L)) << file << " page " << n;
      const IndexPage back = decodeIndexPage(out.data(), n, L);
      ASSERT_EQ(back.entries.size(), p.entries.size()) << file << " page " << n;
      for (size_t i = 0; i < p.entries.size(); ++i) {
        ASSERT_EQ(back.entries[i].bytes, p.entries[i].bytes);
        ASSERT_EQ(back.entries[i].child, p.entries[i].child);
      }
      EXPECT_EQ(back.prev, p.prev);
      EXPECT_EQ(back.next, p.next);
      EXPECT_EQ(back.tail, p.tail);
      // The writer's in-place link change: the links move, nothing else does.
      std::vector<uint8_t> linked(raw, raw + L.pageSize);
      setPrevPage(linked.data(), L, p.prev ^ 0x00A5A5A5u);
      setNextPage(linked.data(), L, p.next ^ 0x005A5A5Au);
      const IndexPage relinked = decodeIndexPage(linked.data(), n, L);
      EXPECT_EQ(relinked.prev, p.prev ^ 0x00A5A5A5u);
      EXPECT_EQ(relinked.next, p.next ^ 0x005A5A5Au);
      EXPECT_EQ(relinked.tail, p.tail);
      ASSERT_EQ(relinked.entries.size(), p.entries.size());
      for (size_t i = 0; i < p.entries.size(); ++i) ASSERT_EQ(relinked.entries[i].bytes, p.entries[i].bytes);
      int changed = 0;
      for (uint32_t i = 0; i < L.pageSize; ++i) changed += linked[i] != raw[i];
      EXPECT_EQ(changed, 6) << file << " page " << n;
      ++r.pages;
      const uint32_t used = L.pageSize - (raw[2] | raw[3] << 8);
      if (std::equal(out.begin(), out.begin() + used, raw)) ++r.identical;
    }
  }
}

}  // namespace

TEST(IndexPage, EveryCorpusIndexPageSurvivesARoundTrip) {
  RoundTrips r;
  roundTripIndexPages(testfiles::corpusFiles(), r);
  EXPECT_GT(r.pages, 100);
  // Access stores entries whole unless a leaf would overflow; so do we.
  EXPECT_GE(r.identical * 100, r.pages * 99) << r.identical << " of " << r.pages;
}

TEST(IndexPage, MoreSharedCorpusIndexPagesSurviveARoundTrip) {
  SKIP_WITHOUT_SHARED("corpus");
  RoundTrips r;
  roundTripIndexPages(testfiles::moreCorpusFiles(), r);
  EXPECT_GE(r.identical * 100, r.pages * 99) << r.identical << " of " << r.pages;
}

// Damaged pages: random bytes under index headers decode or are refused, never read past
// the page; a tree of such pages is walked to its end with its faults reported.
TEST(IndexPage, RandomPagesAreRefusedOrReadWithinTheirBounds) {
  std::mt19937 rng(9);
  for (bool jet3 : {true, false}) {
    const IndexPageLayout& L = indexLayout(jet3);
    std::vector<uint8_t> bytes(size_t{64} * L.pageSize);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    MemoryPages src(std::move(bytes), L.pageSize);
    for (uint32_t n = 1; n < 64; ++n) {
      uint8_t* p = src.modify(n);
      p[0] = n % 2 ? kLeafPage : kNodePage;
      // Child pointers that stay inside the file now and then, so the walk goes deep.
      for (int k = 0; k < 4; ++k) p[L.tail + k] = k == 0 ? static_cast<uint8_t>(rng() % 64) : 0;
      try {
        decodeIndexPage(p, n, L);
      } catch (const IndexCorrupt&) {
      }
    }
    const TreeWalk w = walk(src, L, 2, 0);
    EXPECT_FALSE(w.problems.empty());
  }
}
