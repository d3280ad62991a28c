#include "check/CheckKind.h"

#include "check/Messages.h"
#include "check/Text.h"
#include "jet/DateTime.h"

namespace check {

namespace {

constexpr int kDaoDate = 8, kDaoText = 10;  // DAO Field.Type

// The answer for a date: empty (a cancel) or not a date is refused.
Answer askDate(Dialogs& dialogs) {
  std::string answer = dialogs.input(msg::kDatePrompt, msg::kDateTitle, "");
  if (jet::parseDate(answer)) return {std::move(answer)};
  return {{}, msg::kDateInvalid};
}

// The LIKE pattern that matches a text holding any character of the set.
std::string likePattern(const std::string& set) {
  if (set.empty() || set[0] != '!') return "*[" + set + "]*";
  // "[!...]" is a negated list. A "!" anywhere but first is literal, so move the leading
  // ones behind another character; a "-" must stay first or last, where it is literal.
  std::string rest = set;
  while (!rest.empty() && rest[0] == '!') rest.erase(0, 1);
  if (rest.empty()) return "*!*";  // outside a list "!" is an ordinary character
  if (rest[0] == '-') return "*[-!" + rest.substr(1) + "]*";
  if (rest.back() == '-') return "*[" + rest.substr(0, rest.size() - 1) + "!-]*";
  return "*[" + rest + "!]*";
}

}  // namespace

const CheckKind kDateCheck{
    .name = "dates",
    .candidateType = kDaoDate,
    .wrongType = "日期检查只适用于日期/时间字段。",
    .usesCheckChars = false,
    .condition = [](const std::string& c, const std::string&) {
      return c + "<#1900-1-1# and " + c + ">#0:0:0#";
    },
    .askValue = [](Dialogs& dialogs, const std::string&) { return askDate(dialogs); },
    .askRewrite = [](Dialogs& dialogs, const std::string&) { return askDate(dialogs); },
    // The answer as typed: the field converts it to a date as it converts any text.
    .rewrite = [](const jet::Value&, const std::string& answer, const std::string&) {
      return jet::Value(answer);
    },
};

const CheckKind kCharCheck{
    .name = "chars",
    .candidateType = kDaoText,
    .wrongType = "特殊字符检查只适用于文本字段。",
    .usesCheckChars = true,
    .condition = [](const std::string& c, const std::string& checkChars) {
      return c + " like '" + likePattern(checkChars) + "'";
    },
    .askValue = [](Dialogs& dialogs, const std::string& shown) -> Answer {
      std::string text = shown;
      std::erase(text, '\r');
      std::string answer = dialogs.input(msg::kValuePrompt, msg::kValueTitle, text);
      if (answer.empty()) return {{}, msg::kValueInvalid};
      return {std::move(answer)};
    },
    .askRewrite = [](Dialogs& dialogs, const std::string& checkChars) -> Answer {
      const size_t n = characterCount(checkChars);
      std::string answer = dialogs.input(std::string(msg::kModePrompt) + "\r\n\r\n" + checkChars,
                                         msg::kValueTitle, std::string(n, 'A'));
      if (characterCount(answer) != n) return {{}, msg::kModeInvalid};
      return {std::move(answer)};
    },
    .rewrite = [](const jet::Value& stored, const std::string& answer,
                  const std::string& checkChars) {
      return jet::Value(NewValue(stored.toText(), answer, checkChars));
    },
};

}  // namespace check
