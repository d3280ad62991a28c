#include "jet/verify/VerifyIndexes.h"

#include <gtest/gtest.h>

#include <fstream>

#include "TestFiles.h"
#include "jet/Error.h"
#include "jet/JetDatabase.h"
#include "jet/index/IndexPage.h"

using namespace jet;

namespace {

index::IndexVerification verify(const std::filesystem::path& p) {
  auto db = JetDatabase::open(os::Env::system(), p.string(), Database::Mode::ReadOnly);
  return index::verifyIndexesDetailed(*db);
}

void expectClean(const std::filesystem::path& p, bool allComputed) {
  SCOPED_TRACE(p.string());
  const auto v = verify(p);
  for (const auto& s : v.problems) ADD_FAILURE() << s;
  if (allComputed)
    for (const auto& s : v.notComputed) ADD_FAILURE() << "not computed: " << s;
  EXPECT_GT(v.indexes, 0);
  std::printf("%-40s %3d indexes %7ld entries %7ld keys compared %zu not computed\n",
              p.filename().c_str(), v.indexes, v.entries, v.keysCompared, v.notComputed.size());
}

void expectCleanFiles(const std::vector<std::filesystem::path>& files) {
  for (const auto& file : files) {
    try {
      expectClean(file, false);
    } catch (const Error& e) {
      std::printf("%-40s not opened: %s\n", file.filename().c_str(), e.what());
    }
  }
}

}  // namespace

TEST(VerifyIndexes, EveryFixtureIndexHoldsExactlyItsRowsKeys) {
  for (const char* f : {"checks2000.mdb", "checks2003.mdb", "checks2010.accdb", "empty2000.mdb",
                        "flags2000.mdb", "linked_target.mdb", "nocandidates2000.mdb",
                        "rawdates2000.mdb", "template2000.mdb"})
    expectClean(testfiles::data(f), true);
}

TEST(VerifyIndexes, EveryCorpusFileIndexHoldsExactlyItsRowsKeys) {
  const auto files = testfiles::corpusFiles();
  ASSERT_FALSE(files.empty());
  expectCleanFiles(files);
}

TEST(VerifyIndexes, MoreSharedCorpusFilesIndexesHoldExactlyTheirRowsKeys) {
  SKIP_WITHOUT_SHARED("corpus");
  expectCleanFiles(testfiles::moreCorpusFiles());
}

// Faults planted in a copy are each reported: a key byte changed, an entry's RowId pointing
// at no row, and a leaf's entries out of order.
TEST(VerifyIndexes, ReportsWrongKeysMissingRowsAndDisorder) {
  testfiles::ScratchDir dir;
  const auto copy = dir.copy(testfiles::data("checks2000.mdb"));
  uint32_t root;
  {
    auto db = JetDatabase::open(os::Env::system(), copy.string(), Database::Mode::ReadOnly);
    const format::TableDef& def = db->definition(*db->findTable("凭证"));
    root = def.realIndexes.at(0).rootPage;
  }
  auto patch = [&](auto change) {
    std::fstream f(copy, std::ios::in | std::ios::out | std::ios::binary);
    std::vector<uint8_t> page(4096);
    f.seekg(std::streamoff{root} * 4096);
    f.read(reinterpret_cast<char*>(page.data()), 4096);
    // Descend to the first leaf.
    while (page[0] == index::kNodePage) {
      const index::IndexPage node = index::decodeIndexPage(page.data(), root, index::kIndexJet4);
      root = node.entries.empty() ? node.tail : node.entries[0].child;
      f.seekg(std::streamoff{root} * 4096);
      f.read(reinterpret_cast<char*>(page.data()), 4096);
    }
    index::IndexPage leaf = index::decodeIndexPage(page.data(), root, index::kIndexJet4);
    change(leaf);
    ASSERT_TRUE(index::encodeIndexPage(leaf, page.data(), index::kIndexJet4));
    f.seekp(std::streamoff{root} * 4096);
    f.write(reinterpret_cast<const char*>(page.data()), 4096);
  };
  auto problems = [&] {
    auto db = JetDatabase::open(os::Env::system(), copy.string(), Database::Mode::ReadOnly);
    std::string all;
    for (const auto& p : index::verifyIndexes(*db)) all += p + "\n";
    return all;
  };
  ASSERT_EQ(problems(), "");
  uint8_t original = 0;
  patch([&](index::IndexPage& leaf) {
    original = leaf.entries[3].bytes[1];
    leaf.entries[3].bytes[1] = 0x00;  // now smaller than the entries before it
  });
  std::string p = problems();
  EXPECT_NE(p.find("索引键与字段值不符"), std::string::npos) << p;
  EXPECT_NE(p.find("未按键排序"), std::string::npos) << p;

  patch([&](index::IndexPage& leaf) {
    leaf.entries[3].bytes[1] = original;  // mend the key again
    leaf.entries[3].bytes.back() = 0xEE;  // and point the entry at a row that does not exist
  });
  p = problems();
  EXPECT_NE(p.find("不是活动行"), std::string::npos) << p;
  EXPECT_NE(p.find("在索引中找不到"), std::string::npos) << p;
}
