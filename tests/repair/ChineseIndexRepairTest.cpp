// The character road on the console over real Chinese files whose text indexes use the sort
// order Chinese PRC: batch rewrites that map Chinese characters to others and batch clears,
// on copies; afterwards the engine, mdbtools and verify read the files alike.
#include <gtest/gtest.h>

#include "RepairSupport.h"
#include "TestFiles.h"

namespace checktest {
namespace {

struct Road {
  const char* file;
  const char* table;
  const char* column;  // indexed text in PRC
  const char* chars;   // rewritten to `mode`, character by character
  const char* mode;
  const char* cleared;  // values holding one of these are cleared
};

TEST(ChineseIndexRepair, CharacterRoadOverPrcIndexedColumns) {
  for (const Road& r : {Road{"guestbook-book.mdb", "mytable", "name", "传剑白", "傳劍百", "龙"},
                        Road{"forum-zidonghua.mdb", "Dv_bbs1", "Topic", "的电", "地電", "求"},
                        Road{"blog-dvboke.mdb", "Dv_Boke_User", "UserName", "牛", "犇", "1"}}) {
    SCOPED_TRACE(std::string(r.file) + " " + r.table + "." + r.column);
    const std::string rel = std::string("corpus-cn/") + r.file;
    SKIP_WITHOUT_SHARED(rel);
    testfiles::ScratchDir dir;
    const std::string file = dir.copy(testfiles::shared(rel)).string();
    CliResult c = runCli({"list", file, r.table, r.column, "--chars", r.chars});
    EXPECT_EQ(c.status, 0) << c.err;
    EXPECT_NE(c.out, "") << "the set should hit some values";
    c = runCli({"update-all", file, r.table, r.column, "--chars", r.chars, "--mode", r.mode});
    EXPECT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(runCli({"list", file, r.table, r.column, "--chars", r.chars}).out, "");
    c = runCli({"list", file, r.table, r.column, "--chars", r.mode});
    EXPECT_NE(c.out, "");
    c = runCli({"clear-all", file, r.table, r.column, "--chars", r.cleared});
    EXPECT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(c.out, "");
    c = runCli({"verify-indexes", file});
    EXPECT_EQ(c.status, 0) << c.out;
    EXPECT_EQ(c.out.find("未核对索引键：" + std::string(r.table) + "."), std::string::npos) << c.out;
    expectSoundFile(file, r.table, r.column);
  }
}

}  // namespace
}  // namespace checktest
