#pragma once
// Every text the check and repair commands show, in one place, so the window, the
// command-line tool and the tests read the very same words.

#include <string>

namespace check::msg {

// Any command.
inline constexpr const char* kUnknownError = "发生未知错误。";

// Open: the password box of a file with a database password (the file's name without its
// folder).
inline std::string passwordPrompt(const std::string& fileName) {
  return "请输入数据库 '" + fileName + "' 的密码：";
}

// Scan and tree.
inline constexpr const char* kOpenFirst = "请先打开数据库";
inline constexpr const char* kRootText = "表";
inline constexpr const char* kNoErrors = "没有发现错误";

// Pattern editor.
inline constexpr const char* kCharsPrompt = "输入检查的特殊字符：如果检查回车键请输入'ENTER'";
inline constexpr const char* kCharsTitle = "特殊字符";
inline constexpr const char* kCharsInvalid = "字符非法重新输入";
inline constexpr const char* kHyphenMoved = "含有-'，系统会将之提到最前";
inline constexpr const char* kQuoteDoubled = "含有单个引号'，系统会将之替换成对的引号''，并放到最后";
inline constexpr const char* kBracketRemoved = "含有右括号[，系统会将之剔除，请单独搜索";

// Repairs.
inline constexpr const char* kValuePrompt = "输入新值";
inline constexpr const char* kValueTitle = "更新值";
inline constexpr const char* kValueInvalid = "数据非法，重新输入";
inline constexpr const char* kDatePrompt = "输入新日期";
inline constexpr const char* kDateTitle = "更新日期";
inline constexpr const char* kDateInvalid = "日期非法，重新输入";
inline constexpr const char* kModePrompt = "输入新匹配替换模式:";
inline constexpr const char* kModeInvalid = "模式长度不一致，重新输入";
// Followed by the description of the last refusal.
inline constexpr const char* kRowsNotUpdated = " 条记录未能更新：";

}  // namespace check::msg
