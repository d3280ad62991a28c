// AddNew … Update on a table's recordset: the row reaches the file with its AutoNumber,
// indexes and row count right (mdbcheck-cli verify and mdbtools agree), joins the end of
// the recordset, and a refused row changes nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "Mdbtools.h"
#include "TestFiles.h"
#include "data/Dao.h"
#include "jet/Error.h"

namespace {

using dao::Variant;

TEST(AddNew, RowsReachTheFileWithAutoNumberIndexesAndCount) {
  testfiles::ScratchDir dir;
  const auto path = dir.copy(testfiles::data("checks2000.mdb"));
  auto ws = dao::DBEngine::instance().CreateWorkspace("", "admin", "", dao::dbUseJet);
  {
    auto db = ws->OpenDatabase(path.string(), true);
    auto rs = db->OpenRecordset("select ID, OrderDate, Code, Remark, Flag from Orders where Code = '1001-01'");
    ASSERT_EQ(rs->RecordCount(), 1);
    const int32_t firstId = static_cast<int32_t>(rs->Fields("ID")->Value().asInt());
    db->BeginBatch();
    for (int i = 0; i < 400; ++i) {
      rs->AddNew();
      EXPECT_TRUE(rs->Fields("ID")->Value().isNull());
      rs->Fields("OrderDate")->SetValue(Variant("2024-03-" + std::to_string(1 + i % 28)));
      rs->Fields("Code")->SetValue(Variant("新-" + std::to_string(i)));
      rs->Fields("Remark")->SetValue(Variant(i % 2 ? "added" : "新增"));
      rs->Fields("Flag")->SetValue(Variant(true));
      rs->Update();
    }
    db->CommitBatch();
    // The current row stayed; the new rows joined the end.
    EXPECT_EQ(rs->Fields("ID")->Value().asInt(), firstId);
    EXPECT_EQ(rs->RecordCount(), 401);
    rs->SetBookmark(rs->LastModified());
    EXPECT_EQ(rs->Fields("Code")->Value(), Variant("新-399"));
    EXPECT_GT(rs->Fields("ID")->Value().asInt(), 196);

    auto count = db->OpenRecordset("select count(*) from Orders");
    EXPECT_EQ(count->Fields(0)->Value().asInt(), 196 + 400);
    auto added = db->OpenRecordset("select ID from Orders where Code like '新-*'");
    EXPECT_EQ(added->RecordCount(), 400);

    // A duplicate primary key is refused whole, and the edit stays pending.
    const auto before = testfiles::fileBytes(path);
    rs->AddNew();
    rs->Fields("ID")->SetValue(Variant(int32_t(firstId)));
    rs->Fields("Code")->SetValue(Variant("dup"));
    try {
      rs->Update();
      ADD_FAILURE() << "no 3022";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.number(), jet::err::kDuplicateKey);
    }
    EXPECT_EQ(rs->Fields("Code")->Value(), Variant("dup"));
    rs->CancelUpdate();
    EXPECT_EQ(rs->RecordCount(), 401);
    db->Close();
    EXPECT_TRUE(testfiles::fileBytes(path) == before);
  }
  if (testfiles::requireCli()) {
    const testfiles::CommandResult verified =
        testfiles::runCommand(testfiles::shellQuoted(testfiles::cli().string()) + " verify " +
                              testfiles::shellQuoted(path.string()) + " 2>&1");
    EXPECT_EQ(verified.status, 0) << verified.out;
  }
  if (mdbtools::required()) {
    const auto rows = mdbtools::exportTable(path.string(), "Orders");
    ASSERT_TRUE(rows.has_value());
    EXPECT_EQ(rows->rows.size(), 196u + 400u);
  }
}

// AddNew outside a table's rows and Update without AddNew or Edit.
TEST(AddNew, CountQueriesAndMissingAddNewFail) {
  testfiles::ScratchDir dir;
  const auto path = dir.copy(testfiles::data("template2000.mdb"));
  auto ws = dao::DBEngine::instance().CreateWorkspace("", "admin", "", dao::dbUseJet);
  auto db = ws->OpenDatabase(path.string(), true);
  auto count = db->OpenRecordset("select count(*) from Ledger");
  EXPECT_THROW(count->AddNew(), jet::Error);
  auto rs = db->OpenRecordset("select * from LedgerIdx");
  EXPECT_TRUE(rs->Eof());
  try {
    rs->Update();
    ADD_FAILURE() << "no 3020";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), 3020);
  }
  rs->AddNew();
  rs->Fields("T1")->SetValue(Variant("第一行"));
  rs->Update();
  EXPECT_TRUE(rs->Eof());  // an empty recordset stays past its end
  EXPECT_EQ(rs->RecordCount(), 1);
  rs->SetBookmark(rs->LastModified());
  EXPECT_EQ(rs->Fields("T1")->Value(), Variant("第一行"));
  EXPECT_TRUE(rs->Fields("D1")->Value().isNull());
}

}  // namespace
