// A refused rewrite says why in the clerk's terms: the engine's own words first, then what
// the file cannot hold.
#include <gtest/gtest.h>

#include "RepairSupport.h"
#include "Session.h"
#include "TestFiles.h"
#include "jet/Error.h"
#include "repair/Commands.h"

namespace checktest {
namespace {

// Chinese typed into an Access 97 file whose texts are kept in the Western code page.
TEST(Refusal, TextTheCodePageCannotHoldNamesTheCodePage) {
  Session s;
  const std::string path =
      s.dir.copy(testfiles::corpus("V1997/testV1997.mdb")).string();
  s.open(path);
  // Give the first row a defect through the same window command, then try to rewrite it.
  s.state.kind = &check::kCharCheck;
  s.state.checkChars = "b";
  s.drill("Table1", "B");
  ASSERT_FALSE(s.lines().empty());
  const std::string shown = s.lines()[0];
  s.selectLine(0);
  s.ui.dialogs.answers.push_back("应收账款");
  const check::Result refused = s.run(repair::Update);
  const auto messages = s.takeMessages();
  ASSERT_EQ(messages.size(), 1u);
  // The result carries the refusal as shown, with its number, for a caller that prints it.
  ASSERT_EQ(refused.refusals().size(), 1u);
  EXPECT_EQ(refused.refusals()[0].number, jet::conversion().number());
  EXPECT_EQ(refused.refusals()[0].text, messages[0]);
  EXPECT_EQ(refused.changed, 0);
  EXPECT_EQ(messages[0].rfind(jet::conversion().description(), 0), 0u) << messages[0];
  EXPECT_NE(messages[0].find("代码页 1252（西欧）"), std::string::npos) << messages[0];
  EXPECT_EQ(s.lines()[0], shown);  // the stored value stays listed
  EXPECT_FALSE(s.state.undo());      // nothing was written
  // A text the code page holds is taken.
  s.ui.dialogs.answers.push_back("Müller");
  const check::Result taken = s.run(repair::Update);
  EXPECT_TRUE(taken.ok());
  EXPECT_EQ(taken.changed, 1);
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_EQ(s.lines()[0], "Müller");
}

}  // namespace
}  // namespace checktest
