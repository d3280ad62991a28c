// Damaged files give a jet::Error (3049 naming the table and the page where it can), never
// a crash, a hang or an exhausted memory. These run under AddressSanitizer in CI.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "TestFiles.h"
#include "jet/Database.h"
#include "jet/Dump.h"
#include "jet/Error.h"

using jet::Database;
namespace fs = std::filesystem;

namespace {

void spill(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Opens the file and reads every value of every local table. Returns the error's number
// and text, or 0 when everything read.
std::pair<int, std::string> readAll(const fs::path& p) {
  try {
    auto db = Database::open(p.string(), Database::Mode::ReadOnly);
    std::string sink;
    for (const auto& t : db->tables()) {
      if (t.linked) continue;
      sink.clear();
      jet::dumpTable(*db, t, nullptr, &sink);
    }
    return {0, {}};
  } catch (const jet::Error& e) {
    return {e.number(), e.description()};
  }
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t tdefOf(const fs::path& p, const std::string& table) {
  auto db = Database::open(p.string(), Database::Mode::ReadOnly);
  return db->findTable(table)->tdefPage;
}

}  // namespace

TEST(Damage, TruncatedFilesAreRefusedOrReadToWhereTheyEnd) {
  testfiles::ScratchDir dir;
  const auto good = testfiles::fileBytes(testfiles::data("checks2000.mdb"));
  // Anything that is not whole pages, or lacks pages the tables use, is damaged.
  for (size_t cut : {size_t{100}, size_t{2048}, size_t{4096}, size_t{4096 * 2 + 5},
                     size_t{4096 * 3}, size_t{4096 * 20}, good.size() / 2, good.size() - 1}) {
    const fs::path p = dir.path() / ("cut" + std::to_string(cut) + ".mdb");
    spill(p, std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(cut)));
    auto [number, text] = readAll(p);
    EXPECT_EQ(number, jet::err::kDamaged) << "cut at " << cut << ": " << text;
  }
  // Whole pages from the end: either some table misses its pages, or only free pages
  // went and everything still reads.
  for (size_t pages = 1; pages < 40; pages += 7) {
    const fs::path p = dir.path() / ("tail" + std::to_string(pages) + ".mdb");
    spill(p, std::vector<uint8_t>(good.begin(), good.end() - static_cast<long>(4096 * pages)));
    auto [number, text] = readAll(p);
    EXPECT_TRUE(number == 0 || number == jet::err::kDamaged) << text;
  }
}

TEST(Damage, GarbledHeaderIsNotTakenForAJetFile) {
  testfiles::ScratchDir dir;
  auto bytes = testfiles::fileBytes(testfiles::data("empty2000.mdb"));
  for (size_t i = 4; i < 0x14; ++i) bytes[i] ^= 0x55;
  spill(dir.path() / "h.mdb", bytes);
  EXPECT_EQ(readAll(dir.path() / "h.mdb").first, jet::err::kUnrecognizedFormat);
}

TEST(Damage, PointerOutOfRangeNamesTableAndPage) {
  testfiles::ScratchDir dir;
  const fs::path src = testfiles::data("checks2000.mdb");
  const uint32_t tdef = tdefOf(src, "Orders");
  auto bytes = testfiles::fileBytes(src);
  put32(bytes, tdef * 4096 + 55, 0x7FFFFF00);  // owned-pages map: row 0 of page 0x7FFFFF
  const fs::path p = dir.path() / "p.mdb";
  spill(p, bytes);
  auto [number, text] = readAll(p);
  EXPECT_EQ(number, jet::err::kDamaged);
  EXPECT_NE(text.find("Orders"), std::string::npos) << text;
  EXPECT_NE(text.find(std::to_string(0x7FFFFF)), std::string::npos) << text;
}

TEST(Damage, LoopsAreDetected) {
  testfiles::ScratchDir dir;
  const fs::path src = testfiles::data("checks2000.mdb");
  const uint32_t tdef = tdefOf(src, "Orders");
  const auto good = testfiles::fileBytes(src);

  // A table definition that continues on itself.
  auto bytes = good;
  put32(bytes, tdef * 4096 + 4, tdef);
  spill(dir.path() / "tdef.mdb", bytes);
  auto [n1, t1] = readAll(dir.path() / "tdef.mdb");
  EXPECT_EQ(n1, jet::err::kDamaged);
  EXPECT_NE(t1.find("Orders"), std::string::npos) << t1;

  // An overflow pointer that points at itself: the first row of the table's first page.
  bytes = good;
  auto db = Database::open(src.string(), Database::Mode::ReadOnly);
  auto cur = db->scan(*db->findTable("Orders"));
  ASSERT_TRUE(cur->next());
  const jet::RowId first = cur->rowId();
  db.reset();
  const size_t page = size_t{first.page} * 4096;
  const size_t slot = page + 14 + 2 * first.row;
  const uint16_t start = (bytes[slot] | (bytes[slot + 1] << 8)) & 0x1FFF;
  bytes[slot + 1] |= 0x40;
  put32(bytes, page + start, (first.page << 8) | first.row);
  spill(dir.path() / "self.mdb", bytes);
  auto [n2, t2] = readAll(dir.path() / "self.mdb");
  EXPECT_EQ(n2, jet::err::kDamaged);
  EXPECT_NE(t2.find("Orders"), std::string::npos) << t2;
}

// Random damage anywhere in small files: whatever is read, it ends in data or in a
// jet::Error.
TEST(Damage, RandomlyFlippedBytesNeverCrash) {
  testfiles::ScratchDir dir;
  std::mt19937 rng(20261208);
  for (const char* name : {"linked_target.mdb", "nocandidates2000.mdb"}) {
    const auto good = testfiles::fileBytes(testfiles::data(name));
    for (int round = 0; round < 60; ++round) {
      auto bytes = good;
      std::uniform_int_distribution<size_t> pos(0, bytes.size() - 1);
      const int flips = 1 + round % 16;
      for (int i = 0; i < flips; ++i) bytes[pos(rng)] ^= static_cast<uint8_t>(1 + rng() % 255);
      const fs::path p = dir.path() / "r.mdb";
      spill(p, bytes);
      auto [number, text] = readAll(p);
      if (number != 0) {
        EXPECT_FALSE(text.empty());
      }
    }
  }
}
