#include "Error.h"

namespace jet {

Error fileNotFound(const std::string& path) {
  return Error(err::kFileNotFound, "找不到文件 '" + path + "'。");
}
Error unrecognizedFormat(const std::string& path) {
  return Error(err::kUnrecognizedFormat, "不可识别的数据库格式 '" + path + "'。");
}
Error damaged(const std::string& path) {
  return Error(err::kDamaged,
               "不能打开数据库 '" + path + "'。它可能不是可以识别的数据库，或者文件已经损坏。");
}
Error unsupportedFormat(const std::string& path, const std::string& variant) {
  Error base = unrecognizedFormat(path);
  return Error(base.number(), base.description() + "（" + variant + "）");
}
Error noPermission(const std::string& path) {
  return Error(err::kNoPermission, "Microsoft Jet 数据库引擎打不开文件 '" + path +
                                       "'。它已经被别的用户以独占方式打开，或没有查看数据的权限。");
}
Error linkedTableData(const std::string& table) {
  return Error(err::kInvalidObject, "表 '" + table + "' 是链接表，它的数据在另一个数据库中，不能在这里读取。");
}
Error damagedAt(const std::string& path, const std::string& where) {
  Error base = damaged(path);
  return Error(base.number(), base.description() + "（" + where + "）");
}
Error badPassword() { return Error(err::kBadPassword, "不是有效的密码。"); }
Error encryptedAce() {
  return Error(err::kUnrecognizedFormat,
               "此文件用 Access 2007 或更高版本的数据库密码加密，本工具暂不能打开。"
               "请先在 Access 中撤消数据库密码。");
}
Error fileInUse(const std::string& path) {
  return Error(err::kFileInUse, "不能使用 '" + path + "'；文件已在使用中。");
}
Error readOnly(const std::string& reason) {
  std::string text = "不能更新。数据库或对象为只读。";
  if (!reason.empty()) text += "（" + reason + "）";
  return Error(err::kReadOnly, text);
}
Error diskFull(const std::string& detail) {
  std::string text = "磁盘空间不足。";
  if (!detail.empty()) text += "（" + detail + "）";
  return Error(err::kDiskFull, text);
}
Error diskError(const std::string& detail) {
  std::string text = "磁盘或网络错误。";
  if (!detail.empty()) text += "（" + detail + "）";
  return Error(err::kDiskError, text);
}
Error recordTooLarge() { return Error(err::kRecordTooLarge, "记录太大。"); }
Error recordTooLarge(size_t size, size_t limit) {
  return Error(err::kRecordTooLarge, "记录太大。修改后的记录需要 " + std::to_string(size) +
                                         " 字节，此文件格式每条记录最多 " + std::to_string(limit) +
                                         " 字节。");
}
Error fieldTooSmall() {
  return Error(err::kFieldTooSmall,
               "字段太小，不能接受所要添加的数据的数量。请尝试插入或粘贴较少的数据。");
}
Error duplicateKey() {
  return Error(err::kDuplicateKey,
               "由于会在索引、主键或关系中生成重复的值，对表所请求的更改没有成功。");
}
Error nullInRequired(const std::string& column) {
  return Error(err::kNullInRequired, "字段 '" + column +
                                         "' 不能包含 Null 值，因为该字段的 Required 属性被设置为 True。");
}
Error nullInIndex(const std::string& column, const std::string& index) {
  return Error(err::kNullInIndex, "索引或主关键字不能包含一个空 (Null) 值。（字段 '" + column +
                                      "' 属于索引 '" + index + "'）");
}
Error relatedRecordsExist(const std::string& table) {
  return Error(err::kRelatedRecordsExist, "不能删除或修改记录，因为表 '" + table + "' 中包含相关记录。");
}
Error relatedRecordRequired(const std::string& table) {
  return Error(err::kRelatedRecordRequired,
               "不能添加或修改记录，因为在表 '" + table + "' 中需要一个相关记录。");
}
Error invalidObject() { return Error(err::kInvalidObject, "对象无效或不再被设置。"); }
Error conversion() { return Error(err::kConversion, "数据类型转换错误。"); }
Error notInCodePage(int codePage) {
  const char* name = nullptr;
  switch (codePage) {
    case 874: name = "泰文"; break;
    case 932: name = "日文"; break;
    case 936: name = "简体中文"; break;
    case 949: name = "韩文"; break;
    case 950: name = "繁体中文"; break;
    case 1250: name = "中欧"; break;
    case 1251: name = "西里尔文"; break;
    case 1252: name = "西欧"; break;
    case 1253: name = "希腊文"; break;
    case 1254: name = "土耳其文"; break;
    case 1255: name = "希伯来文"; break;
    case 1256: name = "阿拉伯文"; break;
    case 1257: name = "波罗的海文"; break;
    case 1258: name = "越南文"; break;
  }
  std::string page = "代码页 " + std::to_string(codePage);
  if (name) page += std::string("（") + name + "）";
  return Error(err::kConversion, "数据类型转换错误。此文件的文本按" + page +
                                     "存储，其中没有此值的某些字符。");
}
Error noCurrentRecord() { return Error(err::kNoCurrentRecord, "无当前记录。"); }
Error tooFewParameters(int expected) {
  return Error(err::kTooFewParameters, "参数不足，期待是 " + std::to_string(expected) + "。");
}
Error syntaxInExpression(const std::string& expression, const std::string& detail) {
  return Error(err::kSyntaxInExpression,
               "查询表达式 '" + expression + "' 中 语法错误 (" + detail + ")。");
}
Error noSuchTable(const std::string& name) {
  return Error(err::kNoSuchTable, "数据库引擎找不到输入表或查询 '" + name +
                                      "'。请确定它是否存在，以及它的名称的拼写是否正确。");
}
Error fromSyntax() { return Error(err::kFromSyntax, "FROM 子句语法错误。"); }

}  // namespace jet
