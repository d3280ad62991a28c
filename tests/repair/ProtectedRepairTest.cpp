// Repairs on files Access protects: pages encoded with the database key, a database
// password. They check, repair and undo exactly as the plain file does.
#include <gtest/gtest.h>

#include <cstdlib>

#include "Protected.h"
#include "RepairSupport.h"
#include "Session.h"
#include "check/Commands.h"
#include "repair/Commands.h"
#include "repair/Undo.h"

namespace checktest {
namespace {

using Lines = std::vector<std::string>;

// The window's road on a copy whose pages are encoded and on a plain copy, step for step:
// the same trees and lists, and afterwards the encoded file decodes to the plain file's
// bytes and reads back sound (this engine, verify, mdbtools).
TEST(EncodedRepair, ChecksRepairsAndUndoAsOnThePlainFile) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Remark");
  REQUIRE_WRITES("checks2000.mdb", "Orders", "OrderDate");
  struct Seen {
    std::string dates, chars;
    Lines remark, repaired, orderDates, undone;
    bool operator==(const Seen&) const = default;
  };
  auto road = [](Session& s, const std::string& path) {
    Seen seen;
    s.open(path);
    s.scan(false);
    seen.dates = s.tree();
    s.scan(true);
    seen.chars = s.tree();
    s.drill("Orders", "Remark");
    seen.remark = s.lines();
    s.selectLine(1);
    s.ui.dialogs.answers.push_back("改过的备注");
    s.run(repair::Update);
    s.selectLine(0);
    s.ui.dialogs.answers.push_back(std::string(14, 'A'));
    s.run(repair::BatchUpdate);
    seen.repaired = s.lines();
    s.scan(false);
    s.drill("Orders", "OrderDate");
    s.selectLine(0);
    s.run(repair::BatchClear);
    seen.orderDates = s.lines();
    s.run(repair::Undo);
    s.drill("Orders", "OrderDate");
    seen.undone = s.lines();
    check::CloseAtUnload(s.state);
    EXPECT_EQ(s.takeMessages().size(), 1u);  // the undo's report
    return seen;
  };
  Session plain, encoded;
  const std::string plainPath = plain.copy("checks2000.mdb", "ledger.mdb");
  const std::string encodedPath = encoded.copy("checks2000.mdb", "ledger.mdb");
  protect::encodePages(encodedPath);
  const Seen expected = road(plain, plainPath);
  EXPECT_EQ(road(encoded, encodedPath), expected);
  EXPECT_NE(expected.repaired, expected.remark);
  EXPECT_EQ(expected.undone.size(), 2u);
  EXPECT_EQ(protect::decodedBytes(encodedPath), testfiles::fileBytes(plainPath));
  expectSoundFile(encodedPath, "Orders", "Remark");
}

// The console tool repairs and undoes on an encoded file with a password given in the
// environment; neither the file, nor its undo log, nor anything else left in the folder
// holds the password, in any encoding.
TEST(CliRepair, APasswordFileIsRepairedAndThePasswordIsWrittenNowhere) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Remark");
  testfiles::ScratchDir dir;
  const std::string password = "Zy4Kp7Tw";
  const std::string file = dir.copy(testfiles::data("checks2000.mdb"), "locked.mdb").string();
  protect::encodePages(file);
  protect::setPassword(file, password);
  const std::string log = (dir.path() / "undo.log").string();
  testfiles::setEnvironment("MDBCHECK_PASSWORD", password.c_str());
  const CliResult repaired =
      runCli({"update-all", file, "Orders", "Remark", "--chars", "--mode", std::string(14, 'A'),
              "--undo-log", log});
  const CliResult scanned = runCli({"scan", file, "--chars"});
  const CliResult undone = runCli({"undo", file, log});
  const CliResult verified = runCli({"verify", file});
  testfiles::setEnvironment("MDBCHECK_PASSWORD", nullptr);
  EXPECT_EQ(repaired.status, 0) << repaired.err;
  EXPECT_EQ(scanned.out.find("Remark("), std::string::npos) << scanned.out;
  EXPECT_EQ(undone.status, 0) << undone.err;
  EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
  std::string utf16;
  for (char c : password) utf16 += std::string{c, '\0'};
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const auto bytes = testfiles::fileBytes(entry.path());
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.find(password), std::string::npos) << entry.path();
    EXPECT_EQ(text.find(utf16), std::string::npos) << entry.path();
    ++files;
  }
  EXPECT_EQ(files, 2u);  // the database and the undo log
}

}  // namespace
}  // namespace checktest
