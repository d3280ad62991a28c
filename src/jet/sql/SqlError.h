#pragma once
// Failures of the SQL front end that the engine itself never raises. They are jet::Error
// like every other failure; the shared factories cover the rest.
#include <string>

#include "jet/Error.h"

namespace jet::sql {

constexpr int kInvalidStatement = 3129;
constexpr int kSelectSyntax = 3141;

// Text that is not a statement of the supported kind.
Error invalidStatement();
// A malformed select list.
Error selectSyntax();

// Details for syntaxInExpression().
inline constexpr const char* kMissingOperator = "缺少运算符";
inline constexpr const char* kBadString = "字符串的语法错误";
inline constexpr const char* kBadDate = "日期的语法错误";
inline constexpr const char* kBadBracket = "名称的括号不正确";
inline constexpr const char* kBadPattern = "模式字符串无效";

}  // namespace jet::sql
