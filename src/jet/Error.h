#pragma once
// Every failure of the engine, the SQL layer and the data access objects is a jet::Error:
// a number as DAO reports it and a description in Simplified Chinese. Callers show the
// description as it stands; they never add text of their own.
#include <stdexcept>
#include <string>

namespace jet {

class Error : public std::runtime_error {
 public:
  Error(int number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}
  int number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }

 private:
  int number_;
  std::string description_;
};

// The numbers the tool raises. Descriptions come from the factory functions below so that
// one failure always reads the same way.
namespace err {
constexpr int kNoCurrentRecord = 3021;
constexpr int kDuplicateKey = 3022;
constexpr int kFileNotFound = 3024;
constexpr int kDiskFull = 3026;
constexpr int kReadOnly = 3027;
constexpr int kBadPassword = 3031;
constexpr int kDiskError = 3043;
constexpr int kFileInUse = 3045;
constexpr int kRecordTooLarge = 3047;
constexpr int kDamaged = 3049;
constexpr int kNullInIndex = 3058;
constexpr int kTooFewParameters = 3061;
constexpr int kSyntaxInExpression = 3075;
constexpr int kNoSuchTable = 3078;
constexpr int kFromSyntax = 3131;
constexpr int kFieldTooSmall = 3163;
constexpr int kRelatedRecordsExist = 3200;
constexpr int kRelatedRecordRequired = 3201;
constexpr int kNullInRequired = 3314;
constexpr int kUnrecognizedFormat = 3343;
constexpr int kNoPermission = 3051;
constexpr int kInvalidObject = 3420;
constexpr int kConversion = 3421;
}  // namespace err

Error fileNotFound(const std::string& path);
Error unrecognizedFormat(const std::string& path);
Error damaged(const std::string& path);
// A Jet file of a variant the engine does not read (3343), saying which.
Error unsupportedFormat(const std::string& path, const std::string& variant);
// The file exists but may not be opened as asked (permissions).
Error noPermission(const std::string& path);
// A linked table's rows live in another file, which the engine does not open.
Error linkedTableData(const std::string& table);
// A damaged structure found while reading: the standard 3049 text plus where it was found.
Error damagedAt(const std::string& path, const std::string& where);
Error badPassword();
// An Access 2007+ file encrypted with its database password (3343): not readable here at all.
Error encryptedAce();
Error fileInUse(const std::string& path);
Error readOnly(const std::string& reason);
// The disk (or the user's quota) is full (3026); detail says where and what was kept.
Error diskFull(const std::string& detail);
// A read, write or sync the system could not carry out (3043).
Error diskError(const std::string& detail);
Error recordTooLarge();
// The same refusal, saying how large the record would be and the format's limit.
Error recordTooLarge(size_t size, size_t limit);
Error fieldTooSmall();
Error duplicateKey();
Error nullInRequired(const std::string& column);
// A Null for a column of the primary key (or of an index that requires a value).
Error nullInIndex(const std::string& column, const std::string& index);
Error relatedRecordsExist(const std::string& table);     // a change would orphan table's rows
Error relatedRecordRequired(const std::string& table);   // the referenced row is not in table
Error invalidObject();
Error conversion();
// A text holding a character that the file's code page (a Jet 3 file's) cannot store.
Error notInCodePage(int codePage);
Error noCurrentRecord();
Error tooFewParameters(int expected);
Error syntaxInExpression(const std::string& expression, const std::string& detail);
Error noSuchTable(const std::string& name);
Error fromSyntax();

}  // namespace jet
