// What the engine never writes: a Null into a primary key or a Required column, and
// anything into a table whose rows or changed indexes do not read whole. Each refusal
// leaves the file byte for byte as it was; `verify` names a Null where none may be.
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

fs::path corpusFile(const std::string& name) { return testfiles::data("..") / "corpus" / name; }

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

bool anyContains(const std::vector<std::string>& lines, const std::string& part) {
  for (const auto& l : lines)
    if (l.find(part) != std::string::npos) return true;
  return false;
}

}  // namespace

TEST(Integrity, NullNeverEntersAPrimaryKey) {
  testfiles::ScratchDir dir;
  const std::string keys = dir.copy(corpusFile("testIndexPropertiesV2003.mdb")).string();
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
  const std::string keys = dir.copy(corpusFile("testIndexPropertiesV2003.mdb")).string();
  const std::string users = dir.copy(corpusFile("fixedTextTestV2000.mdb")).string();
  // Clearing a column's bit in a row's null mask makes its value Null behind the engine's back.
  auto clearNullBit = [](const std::string& path, const std::string& table, const std::string& column) {
    uint64_t at = 0;
    uint8_t byte = 0;
    {
      auto db = jet::JetDatabase::open(jet::os::Env::posix(), path, Database::Mode::ReadOnly);
      const jet::TableInfo& t = *db->findTable(table);
      const jet::format::TableDef& def = db->definition(t);
      const jet::RowId id = writecheck::rowAt(*db, table, 0);
      const uint8_t* page = db->pager().page(id.page);
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
  const auto keyProblems = writecheck::problems(keys);
  EXPECT_TRUE(anyContains(keyProblems, "表 'TableIgnoreNulls1'：第 ")) << keyProblems.size();
  EXPECT_TRUE(anyContains(keyProblems, "的字段 'row' 为 Null，该字段属于主键 'PrimaryKey'"));
  EXPECT_TRUE(anyContains(writecheck::problems(users),
                          "的字段 'c_user_pwd' 为 Null，该字段的 Required 属性为 True"));
}

// A table damaged anywhere refuses a walk over it before its first change; a row or index
// that does not read refuses the change that would touch it. Nothing is written.
TEST(Integrity, DamagedRowsAndIndexesRefuseChanges) {
  testfiles::ScratchDir dir;
  const std::string rows = dir.copy(testfiles::data("checks2000.mdb"), "rows.mdb").string();
  const std::string index = dir.copy(testfiles::data("checks2000.mdb"), "index.mdb").string();
  jet::RowId damaged;
  uint32_t codeRoot = 0;
  int remark = 0, code = 0;
  {
    auto db = jet::JetDatabase::open(jet::os::Env::posix(), rows, Database::Mode::ReadOnly);
    const jet::TableInfo& t = *db->findTable("Orders");
    const jet::format::TableDef& def = db->definition(t);
    remark = t.findColumn("Remark")->position;
    code = t.findColumn("Code")->position;
    ASSERT_EQ(def.columns[size_t(code)].varIndex, 1);
    damaged = writecheck::rowAt(*db, "Orders", 0);
    for (const auto& ix : def.realIndexes)
      if (ix.columns.size() == 1 && ix.columns[0].number == def.columns[size_t(code)].number)
        codeRoot = ix.rootPage;
    // The row ends its page: the null mask (1 byte), the variable-column count (2), then
    // the offsets from the first variable column on. Where Notes starts (so where Code
    // ends) now lies past the row: Remark still reads, Code no longer does.
    const uint8_t* page = db->pager().page(damaged.page);
    ASSERT_EQ(jet::format::le16(page + 14) & 0x1FFF, 4096 - 83);  // slot 0, 83 bytes
    ASSERT_EQ(jet::format::le16(page + 4096 - 3), 3);
  }
  ASSERT_NE(codeRoot, 0u);
  overwrite(rows, uint64_t(damaged.page) * 4096 + 4096 - 1 - 2 - 2 * 3, {0xFF, 0x0F});
  overwrite(index, uint64_t(codeRoot) * 4096 + 4, {0x63});  // names another table
  const auto rowsBefore = writecheck::bytesOf(rows), indexBefore = writecheck::bytesOf(index);

  {
    auto db = Database::open(rows, Database::Mode::Exclusive);
    const jet::TableInfo& t = *db->findTable("Orders");
    EXPECT_EQ(refusal([&] { db->checkWritable(t, remark); }), err::kDamaged);
    const jet::RowId second = writecheck::rowAt(*db, "Orders", 1);
    EXPECT_EQ(refusal([&] { db->update(t, second, remark, Value("fine")); }), 0)
        << "a sound row of the table";
    db->close();
  }
  ASSERT_NE(writecheck::bytesOf(rows), rowsBefore);
  {
    const auto now = writecheck::bytesOf(rows);
    auto db = Database::open(rows, Database::Mode::Exclusive);
    const jet::TableInfo& t = *db->findTable("Orders");
    try {
      db->update(t, damaged, remark, Value("x"));
      ADD_FAILURE() << "a damaged row was rewritten";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.number(), err::kDamaged);
      EXPECT_NE(e.description().find("行内变长列的偏移无效"), std::string::npos) << e.description();
    }
    db->close();
    EXPECT_EQ(writecheck::bytesOf(rows), now);
  }
  {
    auto db = Database::open(index, Database::Mode::Exclusive);
    const jet::TableInfo& t = *db->findTable("Orders");
    EXPECT_EQ(refusal([&] { db->checkWritable(t, code); }), err::kDamaged);
    EXPECT_EQ(refusal([&] { db->update(t, writecheck::rowAt(*db, "Orders", 1), code, Value("C1")); }),
              err::kDamaged);
    std::vector<Value> row(t.columns.size());
    EXPECT_EQ(refusal([&] { db->insert(t, row); }), err::kDamaged);
    EXPECT_EQ(refusal([&] { db->checkWritable(t, remark); }), 0) << "no index holds Remark";
    db->close();
  }
  EXPECT_EQ(writecheck::bytesOf(index), indexBefore);
}
