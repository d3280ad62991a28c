// What `verify` finds when a data page's structure is damaged: each kind of damage is
// named with its page and row, and a sound file has none of them.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "WriteCheck.h"
#include "jet/JetDatabase.h"
#include "jet/format/DataPage.h"
#include "jet/format/UsageMap.h"
#include "jet/verify/Verify.h"

namespace {

using namespace jet::format;

struct Target {
  uint32_t page = 0, pageSize = 0;
  DataPageLayout layout;
};

// A data page of Big holding at least three ordinary rows.
Target dataPageOf(const std::string& path) {
  auto db = jet::JetDatabase::open(jet::os::Env::system(), path, jet::Database::Mode::ReadOnly);
  jet::Pager& pager = db->pager();
  const TableDef& def = db->definition(*db->findTable("Big"));
  for (uint32_t n : readUsageMap(pager, def.ownedMap)) {
    const jet::PageRef ref = pager.get(n);
    const DataPage page(ref.data(), n, pager.version());
    if (page.rowCount() < 3) continue;
    bool plain = true;
    for (uint16_t i = 0; i < 3; ++i) plain = plain && (page.slot(i) & kSlotFlags) == 0;
    if (plain) return {n, pager.pageSize(), dataPageLayout(pager.version())};
  }
  ADD_FAILURE() << "no page of Big with three plain rows";
  return {};
}

uint16_t get16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
void put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// The structure problems of a copy of the fixture with `damage` done to the page's bytes.
std::vector<std::string> afterDamage(const Target& t,
                                     const std::function<void(std::vector<uint8_t>& page)>& damage) {
  testfiles::ScratchDir dir;
  const std::string path = dir.copy(testfiles::data("checks2000.mdb")).string();
  std::vector<uint8_t> bytes = testfiles::fileBytes(path);
  std::vector<uint8_t> page(bytes.begin() + long(t.page) * t.pageSize, bytes.begin() + long(t.page + 1) * t.pageSize);
  damage(page);
  std::copy(page.begin(), page.end(), bytes.begin() + long(t.page) * t.pageSize);
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  auto db = jet::JetDatabase::open(jet::os::Env::system(), path, jet::Database::Mode::ReadOnly);
  return jet::write::verifyStructure(*db);
}

}  // namespace

TEST(Verify, EachKindOfDataPageDamageIsNamedWithItsPageAndRow) {
  const std::string fixture = testfiles::data("checks2000.mdb").string();
  ASSERT_TRUE(writecheck::problems(fixture).empty());
  const Target t = dataPageOf(fixture);
  ASSERT_NE(t.page, 0u);
  const size_t slots = size_t(t.layout.slotTable);
  const std::string page = "第 " + std::to_string(t.page) + " 页";
  auto slotAt = [&](uint16_t i) { return slots + 2u * i; };
  auto expectNamed = [](const std::vector<std::string>& problems, const std::string& part) {
    EXPECT_TRUE(writecheck::anyContains(problems, part)) << part << "\n" << testing::PrintToString(problems);
  };

  // A row that starts past the one before it ends.
  auto p = afterDamage(t, [&](std::vector<uint8_t>& b) {
    put16(b, slotAt(1), (get16(b, slotAt(0)) & kSlotOffsetMask) + 1);
  });
  expectNamed(p, "表 'Big'：" + page + "第 1 行的位置无效");

  // Free space recorded wrong.
  const size_t freeSpace = size_t(t.layout.freeSpace);
  p = afterDamage(t, [&](std::vector<uint8_t>& b) { put16(b, freeSpace, get16(b, freeSpace) + 1); });
  expectNamed(p, page + "记录的空闲字节数");

  // More slots than the page holds.
  p = afterDamage(t, [&](std::vector<uint8_t>& b) { put16(b, size_t(t.layout.numRows), 0xFFFF); });
  expectNamed(p, page + "的行数超出页容量");

  // A row marked deleted: the table holds one row fewer than its definition says.
  p = afterDamage(t, [&](std::vector<uint8_t>& b) {
    put16(b, slotAt(1), get16(b, slotAt(1)) | kSlotDeleted | kSlotOverflow);
  });
  expectNamed(p, "实际有");

  // A row marked as another's moved data, with nothing pointing to it.
  p = afterDamage(t, [&](std::vector<uint8_t>& b) { put16(b, slotAt(2), get16(b, slotAt(2)) | kSlotDeleted); });
  expectNamed(p, page + "第 2 行是转发目标，却没有行指向它");

  // A row turned into a pointer to a live row, which is no target of a move.
  p = afterDamage(t, [&](std::vector<uint8_t>& b) {
    const uint16_t s = get16(b, slotAt(1));
    put16(b, slotAt(1), s | kSlotOverflow);
    const uint32_t to = t.page << 8 | 0;
    for (int k = 0; k < 4; ++k) b[(s & kSlotOffsetMask) + k] = static_cast<uint8_t>(to >> (8 * k));
  });
  expectNamed(p, page + "第 1 行的转发指针指向" + page + "第 0 行，该行不是转发目标");
}
