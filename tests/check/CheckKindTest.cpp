// Each check kind on its own: the columns it takes, how its repairs ask and refuse, what its
// batch rewrite stores. The commands' tests cover the same kinds end to end; these pin the
// descriptor, so that a new kind is tested the same way.
#include <gtest/gtest.h>

#include "check/CheckKind.h"
#include "check/MemoryControls.h"
#include "check/Messages.h"
#include "check/Queries.h"
#include "data/Dao.h"
#include "jet/DateTime.h"

namespace check {
namespace {

TEST(CheckKind, EachTakesItsOwnColumnTypeAndNamesItInItsRefusal) {
  EXPECT_EQ(kDateCheck.candidateType, dao::dbDate);
  EXPECT_EQ(kCharCheck.candidateType, dao::dbText);
  EXPECT_STREQ(kDateCheck.name, "dates");
  EXPECT_STREQ(kCharCheck.name, "chars");
  EXPECT_NE(std::string(kDateCheck.wrongType).find("日期/时间"), std::string::npos);
  EXPECT_NE(std::string(kCharCheck.wrongType).find("文本"), std::string::npos);
  // Only the character check reads the special characters.
  EXPECT_FALSE(kDateCheck.usesCheckChars);
  EXPECT_TRUE(kCharCheck.usesCheckChars);
  EXPECT_EQ(defectCondition("D", kDateCheck, "#"), defectCondition("D", kDateCheck, "%"));
  EXPECT_NE(defectCondition("T", kCharCheck, "#"), defectCondition("T", kCharCheck, "%"));
}

TEST(CheckKind, DateAnswersMustBeDatesForOneValueAndForTheBatch) {
  for (auto ask : {kDateCheck.askValue, kDateCheck.askRewrite}) {
    ScriptedDialogs dialogs;
    dialogs.answers = {"not a date", "", "1999-12-31"};
    EXPECT_STREQ(ask(dialogs, "1800-01-01").refusal, msg::kDateInvalid);
    EXPECT_STREQ(ask(dialogs, "1800-01-01").refusal, msg::kDateInvalid);  // a cancel
    const Answer accepted = ask(dialogs, "1800-01-01");
    EXPECT_EQ(accepted.refusal, nullptr);
    EXPECT_EQ(accepted.value, "1999-12-31");
    EXPECT_TRUE(dialogs.messages.empty());  // the command shows the refusal
    ASSERT_EQ(dialogs.prompts.size(), 3u);
    EXPECT_EQ(dialogs.prompts[0].prompt, msg::kDatePrompt);
    EXPECT_EQ(dialogs.prompts[0].defaultAnswer, "");  // the shown date is not offered
  }
  const jet::Value stored = kDateCheck.rewrite(jet::Value(std::string("x")), "1999-12-31", "#");
  EXPECT_EQ(stored.asText(), "1999-12-31");  // the field converts it as any typed date
}

TEST(CheckKind, CharAnswersOfferTheShownTextAndAPatternAsLongAsTheSet) {
  ScriptedDialogs dialogs;
  dialogs.answers = {"", "a-b"};
  EXPECT_STREQ(kCharCheck.askValue(dialogs, "a#b\r\n").refusal, msg::kValueInvalid);
  EXPECT_EQ(kCharCheck.askValue(dialogs, "a#b\r\n").value, "a-b");
  EXPECT_EQ(dialogs.prompts[0].defaultAnswer, "a#b\n");  // without the CR

  ScriptedDialogs batch;
  batch.answers = {"AB", "甲乙丙丁"};
  EXPECT_STREQ(kCharCheck.askRewrite(batch, "#%''").refusal, msg::kModeInvalid);
  EXPECT_EQ(kCharCheck.askRewrite(batch, "#%''").value, "甲乙丙丁");
  EXPECT_EQ(batch.prompts[0].defaultAnswer, "AAAA");

  EXPECT_EQ(kCharCheck.rewrite(jet::Value(std::string("1#2%3")), "甲乙", "#%").asText(),
            "1甲2乙3");
}

}  // namespace
}  // namespace check
