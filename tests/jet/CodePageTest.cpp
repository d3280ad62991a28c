// Jet 3 text is stored in the database's code page: a Chinese Access 97 database (code
// page 936, GBK) must read as Chinese.
#include <gtest/gtest.h>

#include <fstream>

#include "TestFiles.h"
#include "jet/Database.h"
#include "jet/format/HeaderPage.h"

namespace fs = std::filesystem;

TEST(CodePage, Jet3TextInGbkReadsAsChinese) {
  testfiles::ScratchDir dir;
  std::vector<uint8_t> bytes = testfiles::fileBytes(testfiles::corpus("V1997/testV1997.mdb"));
  // The header says code page 936 (under the mask)...
  bytes[0x3C] = 0xA8 ^ jet::format::kHeaderKeystream[0x3C - 0x18];
  bytes[0x3D] = 0x03 ^ jet::format::kHeaderKeystream[0x3D - 0x18];
  // ...and Table1's second row holds "中文测试x" in GBK where it held "hijklmnop".
  const std::string plain = "hijklmnop";
  const uint8_t gbk[] = {0xD6, 0xD0, 0xCE, 0xC4, 0xB2, 0xE2, 0xCA, 0xD4, 'x'};
  const size_t page = 31 * 2048;
  auto it = std::search(bytes.begin() + page, bytes.begin() + page + 2048, plain.begin(), plain.end());
  ASSERT_NE(it, bytes.begin() + page + 2048);
  std::copy(std::begin(gbk), std::end(gbk), it);
  const fs::path p = dir.path() / "gbk.mdb";
  {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  auto db = jet::Database::open(p.string(), jet::Database::Mode::ReadOnly);
  EXPECT_EQ(db->codePage(), 936);
  const jet::TableInfo& t = *db->findTable("Table1");
  EXPECT_EQ(db->read(t, jet::RowId{31, 1}, t.findColumn("B")->position), jet::Value("中文测试x"));
  auto cur = db->scan(t);
  std::string s;
  int found = 0;
  while (cur->next())
    if (cur->text(t.findColumn("B")->position, s) && s == "中文测试x") ++found;
  EXPECT_EQ(found, 1);
}
