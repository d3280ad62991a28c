// Files whose pages Access encoded with the database key, and files with a database
// password: they read, change, roll back and recover as their plain copies do, and stay
// encoded; the password is written nowhere.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <numeric>

#include "Mdbtools.h"
#include "Protected.h"
#include "TestFiles.h"
#include "WriteCheck.h"
#include "jet/Dump.h"
#include "jet/JetDatabase.h"
#include "jet/PageCodec.h"
#include "jet/format/HeaderPage.h"
#include "jet/journal/Journal.h"

namespace fs = std::filesystem;
using jet::Database;
using jet::Value;

namespace {

fs::path encodedCopy(const testfiles::ScratchDir& dir, const fs::path& from, const std::string& as) {
  const fs::path p = dir.copy(from, as);
  protect::encodePages(p);
  return p;
}

void updateRows(jet::JetDatabase& db, const std::string& table, const std::string& column, int from,
                int count, const std::function<Value(int)>& value) {
  const jet::TableInfo& t = *db.findTable(table);
  for (int i = from; i < from + count; ++i)
    db.update(t, writecheck::rowAt(db, table, i), t.findColumn(column)->position, value(i));
}

}  // namespace

TEST(PageCodec, IsTheHeaderMasksCipherAndUndoesItself) {
  // The header's mask is the same cipher's keystream under its fixed key.
  uint8_t stream[128] = {};
  const uint8_t headerKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
  jet::PageCodec::rc4(headerKey, stream, sizeof stream);
  EXPECT_EQ(std::memcmp(stream, jet::format::kHeaderKeystream, sizeof stream), 0);

  std::vector<uint8_t> page(4096);
  std::iota(page.begin(), page.end(), uint8_t{0});
  const jet::PageCodec codec(protect::kKey);
  auto seven = page, eight = page, zero = page;
  codec.apply(7, seven.data(), seven.size());
  codec.apply(8, eight.data(), eight.size());
  codec.apply(0, zero.data(), zero.size());
  EXPECT_NE(seven, page);
  EXPECT_NE(seven, eight);  // every page has its own key
  EXPECT_EQ(zero, page);    // the header page is never encoded
  codec.apply(7, seven.data(), seven.size());
  EXPECT_EQ(seven, page);
}

// An encoded copy decodes back to the very bytes it was made from, reads as that file does
// (every table, verify), and mdbtools, a second reader of encoded Jet 4 files, agrees.
TEST(EncodedPages, ReadAsThePlainFileAndDecodeBackToIt) {
  testfiles::ScratchDir dir;
  for (const fs::path& plain : {testfiles::data("checks2000.mdb"), testfiles::corpus("V1997/testV1997.mdb"),
                                testfiles::corpus("V2003/indexTestV2003.mdb")}) {
    SCOPED_TRACE(plain.filename().string());
    const fs::path encoded = encodedCopy(dir, plain, plain.filename().string());
    EXPECT_NE(testfiles::fileBytes(encoded), testfiles::fileBytes(plain));
    EXPECT_EQ(protect::decodedBytes(encoded), testfiles::fileBytes(plain));
    EXPECT_EQ(writecheck::dumpAll(encoded.string()), writecheck::dumpAll(plain.string()));
    EXPECT_EQ(writecheck::problems(encoded.string()), writecheck::problems(plain.string()));
    if (plain.extension() != ".mdb" || !mdbtools::required()) continue;
    auto db = Database::open(plain.string(), Database::Mode::ReadOnly);
    if (db->format() != jet::FileFormat::Jet4) continue;
    for (const jet::TableInfo& t : db->tables()) {
      if (t.system || t.linked) continue;
      const auto theirs = mdbtools::exportTable(encoded.string(), t.name);
      const auto expected = mdbtools::exportTable(plain.string(), t.name);
      ASSERT_TRUE(theirs && expected) << t.name;
      EXPECT_EQ(theirs->rows, expected->rows) << t.name;
    }
  }
}

// The same changes on a plain and an encoded copy: updates that move rows, inserts that
// append pages and split index leaves, a batch that spills and is rolled back, and a batch
// that spills and commits. Decoded, the encoded copy is byte for byte the plain one.
TEST(EncodedPages, ChangesLeaveTheFileAsThePlainFileDecoded) {
  testfiles::ScratchDir dir;
  const fs::path plain = dir.copy(testfiles::data("template2000.mdb"), "plain.mdb");
  const fs::path encoded = encodedCopy(dir, testfiles::data("template2000.mdb"), "encoded.mdb");
  for (const fs::path& file : {plain, encoded}) {
    SCOPED_TRACE(file.filename().string());
    auto db = jet::JetDatabase::open(jet::os::Env::system(), file.string(), Database::Mode::Exclusive);
    db->pager().setCacheBound(4);
    db->pager().setSpillBound(4);
    const jet::TableInfo& idx = *db->findTable("LedgerIdx");
    std::vector<std::vector<Value>> rows;
    for (int i = 0; i < 300; ++i)
      rows.push_back({Value(int32_t(i)), Value(jet::Date{40000.0 + i % 53}), Value(), Value(), Value(),
                      Value("第" + std::to_string(i * 7 % 300) + "行"), Value("x"), Value(), Value()});
    db->insertMany(idx, rows);
    const auto committed = testfiles::fileBytes(file);
    const uint32_t page = writecheck::rowAt(*db, "LedgerIdx", 0).page;
    const std::vector<uint8_t> before(db->pager().get(page).data(), db->pager().get(page).data() + 4096);
    db->beginWholeBatch();
    updateRows(*db, "LedgerIdx", "T1", 0, 120, [](int i) { return Value("回滚" + std::to_string(i)); });
    EXPECT_GT(db->writeStats().spills, 0u);
    {
      // A handle held across the rollback shows the page as it was again.
      const jet::PageRef held = db->pager().get(page);
      db->rollbackBatch();
      EXPECT_EQ(std::vector<uint8_t>(held.data(), held.data() + 4096), before);
    }
    EXPECT_EQ(testfiles::fileBytes(file), committed);
    db->beginWholeBatch();
    updateRows(*db, "LedgerIdx", "T1", 0, 120, [](int i) { return Value("改写后的较长文本 " + std::to_string(i)); });
    db->commitBatch();
    db->close();
    EXPECT_TRUE(writecheck::problems(file.string()).empty());
  }
  EXPECT_EQ(protect::decodedBytes(encoded), testfiles::fileBytes(plain));
  auto db = Database::open(encoded.string(), Database::Mode::ReadOnly);
  const jet::TableInfo& idx = *db->findTable("LedgerIdx");
  const auto ours = writecheck::rowsOf(writecheck::dumpAll(encoded.string())["LedgerIdx"]);
  EXPECT_EQ(writecheck::compareWithMdbtools(encoded.string(), idx, ours), "");
}

// A read-only open around a hot journal reads the journal's images, which are the file's
// encoded bytes, as decoded pages; a wrong password is refused before the journal is
// rolled back, so the refusal writes nothing either.
TEST(EncodedPages, AReadOnlyOpenReadsAroundAHotJournal) {
  testfiles::ScratchDir dir;
  const fs::path file = encodedCopy(dir, testfiles::data("checks2000.mdb"), "j.mdb");
  protect::setPassword(file, "Hj-1");
  const auto original = testfiles::fileBytes(file);
  auto dumpOf = [&] {
    auto db = Database::open(file.string(), Database::Mode::ReadOnly, "Hj-1");
    std::string out;
    for (const jet::TableInfo& t : db->tables())
      if (!t.linked) jet::dumpTable(*db, t, nullptr, &out);
    return std::pair{db->findTable("Orders")->tdefPage, out};
  };
  const auto [page, dump] = dumpOf();
  // The write meant to change the page's bytes; the file holds half of the change.
  auto meant = original, torn = original;
  for (size_t i = 0; i < 64; ++i) meant[size_t(page) * 4096 + 40 + i] ^= 0x5A;
  for (size_t i = 0; i < 32; ++i) torn[size_t(page) * 4096 + 40 + i] ^= 0x5A;
  {
    jet::journal::Journal journal(jet::os::Env::system(), file.string());
    journal.write(4096, original.size(), original.size(),
                  {{page, original.data() + size_t(page) * 4096, meant.data() + size_t(page) * 4096}});
  }
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(torn.data()), std::streamsize(torn.size()));
  EXPECT_EQ(dumpOf().second, dump);
  EXPECT_THROW(Database::open(file.string(), Database::Mode::Exclusive, "hj-1"), jet::Error);
  EXPECT_EQ(testfiles::fileBytes(file), torn);
  EXPECT_TRUE(fs::exists(file.string() + "-journal"));
  Database::open(file.string(), Database::Mode::Exclusive, "Hj-1")->close();  // rolls it back
  EXPECT_EQ(testfiles::fileBytes(file), original);
}

// While a change is under way, the files the engine writes beside the database (the
// journal, the lock file) and the database itself hold the password in no form.
TEST(Password, IsWrittenNowhere) {
  testfiles::ScratchDir dir;
  const std::string password = "Qz8Lq3Wm";
  const fs::path file = encodedCopy(dir, testfiles::data("checks2003.mdb"), "secret.mdb");
  protect::setPassword(file, password);
  std::string utf16;
  for (char c : password) utf16 += std::string{c, '\0'};
  auto holdsPassword = [&](const fs::path& p) {
    const auto bytes = testfiles::fileBytes(p);
    const std::string text(bytes.begin(), bytes.end());
    return text.find(password) != std::string::npos || text.find(utf16) != std::string::npos;
  };
  auto db = jet::JetDatabase::open(jet::os::Env::system(), file.string(), Database::Mode::Exclusive, password);
  db->pager().setSpillBound(2);
  db->beginWholeBatch();
  updateRows(*db, "Big", "T", 0, 40, [](int i) { return Value("密码不在任何文件里" + std::to_string(i)); });
  ASSERT_GT(db->writeStats().spills, 0u);
  ASSERT_TRUE(fs::exists(file.string() + "-journal"));
  ASSERT_TRUE(fs::exists(dir.path() / "secret.ldb"));
  for (const auto& entry : fs::directory_iterator(dir.path()))
    EXPECT_FALSE(holdsPassword(entry.path())) << entry.path();
  db->commitBatch();
  db->close();
  for (const auto& entry : fs::directory_iterator(dir.path()))
    EXPECT_FALSE(holdsPassword(entry.path())) << entry.path();
}
