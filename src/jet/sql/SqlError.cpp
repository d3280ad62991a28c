#include "SqlError.h"

namespace jet::sql {

Error invalidStatement() {
  return Error(kInvalidStatement,
               "无效的 SQL语句；期待 'DELETE'、'INSERT'、'PROCEDURE'、'SELECT' 或 'UPDATE'。");
}

Error selectSyntax() {
  return Error(kSelectSyntax,
               "SELECT 语句包含一个保留字、拼写错误或丢失的参数名，或标点符号不正确。");
}

}  // namespace jet::sql
