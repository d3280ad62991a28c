// What the engine never writes: a Null into a primary key, and anything into an index
// that does not read whole; `verify` names a Null where none may be.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "TestFiles.h"
#include "WriteCheck.h"
#include "jet/Error.h"
#include "jet/JetDatabase.h"

namespace fs = std::filesystem;
using jet::Database;
using jet::Value;
namespace err = jet::err;

namespace {

int refusal(const std::function<void()>& change) {
  try {
    change();
  } catch (const jet::Error& e) {
    return e.number();
  }
  return 0;
}

void overwrite(const fs::path& file, uint64_t at, const std::vector<uint8_t>& bytes) {
  std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(at));
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

TEST(Integrity, NullNeverEntersAPrimaryKey) {
  testfiles::ScratchDir dir;
  const std::string keys = dir.copy(testfiles::corpus("V2003/testIndexPropertiesV2003.mdb")).string();
  {
    auto db = Database::open(keys, Database::Mode::Exclusive);
    const jet::TableInfo& t = *db->findTable("TableIgnoreNulls1");
    const int key = t.findColumn("row")->position, data = t.findColumn("data")->position;
    const jet::RowId first = writecheck::rowAt(*db, t.name, 0);
    EXPECT_EQ(refusal([&] { db->update(t, first, key, Value()); }), err::kNullInIndex);
    std::vector<Value> row(t.columns.size());
    row[static_cast<size_t>(data)] = Value("no key");
    EXPECT_EQ(refusal([&] { db->insert(t, row); }), err::kNullInIndex);
    EXPECT_EQ(refusal([&] { db->insertMany(t, {row}); }), err::kNullInIndex);
    EXPECT_EQ(db->read(t, first, key).toText(), "row0");
    // A column outside every key still takes Null.
    EXPECT_EQ(refusal([&] { db->update(t, first, data, Value()); }), 0);
  }
  EXPECT_TRUE(writecheck::problems(keys).empty());
}

TEST(Integrity, VerifyNamesANullWhereNoneMayBe) {
  testfiles::ScratchDir dir;
  const std::string keys = dir.copy(testfiles::corpus("V2003/testIndexPropertiesV2003.mdb")).string();
  const std::string users = dir.copy(testfiles::corpus("V2000/fixedTextTestV2000.mdb")).string();
  // Clearing a column's bit in a row's null mask makes its value Null behind the engine's back.
  auto clearNullBit = [](const std::string& path, const std::string& table, const std::string& column) {
    uint64_t at = 0;
    uint8_t byte = 0;
    {
      auto db = jet::JetDatabase::open(jet::os::Env::system(), path, Database::Mode::ReadOnly);
      const jet::TableInfo& t = *db->findTable(table);
      const jet::format::TableDef& def = db->definition(t);
      const jet::RowId id = writecheck::rowAt(*db, table, 0);
      const jet::PageRef ref = db->pager().get(id.page);
      const uint8_t* page = ref.data();
      const uint32_t ps = db->pager().pageSize();
      const uint16_t slot = jet::format::le16(page + 14 + 2 * id.row) & 0x1FFF;
      const uint16_t end = id.row == 0 ? ps : (jet::format::le16(page + 14 + 2 * (id.row - 1)) & 0x1FFF);
      const uint16_t cols = jet::format::le16(page + slot);
      const uint16_t number = def.findColumn(column)->number;
      const uint32_t maskAt = end - (cols + 7u) / 8u + number / 8u;
      at = uint64_t(id.page) * ps + maskAt;
      byte = static_cast<uint8_t>(page[maskAt] & ~(1u << (number % 8)));
    }
    overwrite(path, at, {byte});
  };
  clearNullBit(keys, "TableIgnoreNulls1", "row");
  clearNullBit(users, "users", "c_user_pwd");
  EXPECT_TRUE(
      writecheck::anyContains(writecheck::problems(keys), "的字段 'row' 为 Null，该字段属于主键 'PrimaryKey'"));
  EXPECT_TRUE(writecheck::anyContains(writecheck::problems(users),
                          "的字段 'c_user_pwd' 为 Null，该字段的 Required 属性为 True"));
}

// An index that does not walk refuses every change that would write to it, and only those
// (the console's test refuses a batch over a damaged row). Nothing is written.
TEST(Integrity, ADamagedIndexRefusesTheChangesThatWouldWriteIt) {
  testfiles::ScratchDir dir;
  const std::string file = dir.copy(testfiles::data("checks2000.mdb")).string();
  uint32_t codeRoot = 0;
  {
    auto db = jet::JetDatabase::open(jet::os::Env::system(), file, Database::Mode::ReadOnly);
    const jet::format::TableDef& def = db->definition(*db->findTable("Orders"));
    for (const auto& ix : def.realIndexes)
      if (ix.columns.size() == 1 && ix.columns[0].number == def.findColumn("Code")->number)
        codeRoot = ix.rootPage;
  }
  ASSERT_NE(codeRoot, 0u);
  overwrite(file, uint64_t(codeRoot) * 4096 + 4, {0x63});  // the page names another table
  const auto before = writecheck::bytesOf(file);
  {
    auto db = Database::open(file, Database::Mode::Exclusive);
    const jet::TableInfo& t = *db->findTable("Orders");
    const int code = t.findColumn("Code")->position, remark = t.findColumn("Remark")->position;
    EXPECT_EQ(refusal([&] { db->checkWritable(t, code); }), err::kDamaged);
    EXPECT_EQ(refusal([&] { db->update(t, writecheck::rowAt(*db, "Orders", 1), code, Value("C1")); }),
              err::kDamaged);
    EXPECT_EQ(refusal([&] { db->insert(t, std::vector<Value>(t.columns.size())); }), err::kDamaged);
    EXPECT_EQ(refusal([&] { db->checkWritable(t, remark); }), 0) << "no index holds Remark";
    db->close();
  }
  EXPECT_EQ(writecheck::bytesOf(file), before);
}
