#pragma once
// Index keys: the bytes an index entry starts with, computed from a row's values exactly as
// Jet computes them, so that an entry we write sorts and compares like one Access wrote.
//
// A Null value's key is its flag byte alone, whatever the column's type or sort order, so
// it is always computed. A non-Null value is computed only for the columns unsupported()
// accepts; the others throw jet::Error 3027. GUARANTEES: equal inputs give equal bytes; the
// bytes of every supported column type and sort order equal the stored keys of the files
// Access wrote. Sort orders: Jet 3 "General" (code page 1252); Jet 4 / ACE "General
// Legacy", Chinese PRC and Chinese Taiwan (version 0); ACE "General" (0x0409 version 1).
//
// Where the text codes come from and how they were checked (tables/ holds them as committed
// text; the build turns them into C++):
// - general-legacy.txt, "General Legacy" (0x0409 version 0): transcribed; every character of
//   the sample databases' text indexes reproduces its stored key.
// - general-2010.txt, ACE "General" (0x0409 version 1): the code table of an open Jet library
//   (Apache License 2.0) in our line format; every stored key of the Access 2010+ test files
//   (fixture checks2010.accdb, whose catalog holds Chinese object names, and the public
//   corpus) reproduces. Most ideographs rest on the published table alone.
// - chinese.txt, Chinese PRC (0x0804) and Chinese Taiwan (0x0404), version 0: the Windows NT
//   sort weights of the two orders plus 0x0100, overriding General Legacy for the code units
//   listed; checked against every key stored in the PRC and Taiwan indexes of real Chinese
//   files (1,756 keys in the test corpus, 333 with Chinese text, all byte for byte).
// The tests compare a sample of generated entries with the committed text.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "jet/Value.h"

namespace jet::index {

// The sort order a Text or Memo column's descriptor names.
struct Collation {
  uint16_t lcid = 0x0409;
  uint8_t version = 0;       // Jet 4 / ACE: 0 = General Legacy, 1 = General (Access 2010+)
  bool jet3 = false;         // Jet 3 keys work on the stored code-page bytes
  uint16_t codePage = 1252;  // Jet 3: the code page the column's text is stored in
};

enum class SortOrder {
  General97,      // Jet 3, 0x0409, code page 1252
  GeneralLegacy,  // Jet 4 / ACE, 0x0409 version 0
  General2010,    // ACE, 0x0409 version 1
  ChinesePrc,     // Jet 4 / ACE, 0x0804 version 0
  ChineseTaiwan,  // Jet 4 / ACE, 0x0404 version 0
  Other,          // any other locale, version or Jet 3 code page: only Null is encodable
};

SortOrder sortOrderOf(const Collation& c);
// True when keys of this sort order can be computed for every value (for the others, only
// for Null).
bool encodable(const Collation& c);
// The sort order as Access names it, in Chinese with the English name beside it, for
// messages ("常规 - 旧版 (General Legacy)", "中文(中国) (Chinese PRC) ...").
std::string sortOrderName(const Collation& c);

// One column of an index, in slot order.
struct KeyColumn {
  uint8_t type = 0;  // the column type byte of the table definition (0x01 Boolean ...)
  bool ascending = true;
  Collation collation;  // Text and Memo only
  std::string name;     // for messages
};

// Why a key over these columns cannot be computed for every value, naming the first column
// that stops it and its sort order (or type); nullopt when every column can be encoded.
std::optional<std::string> unsupported(std::span<const KeyColumn> columns);

// Appends one column's encoding (flag byte + value bytes). Values arrive as the engine
// reads them: Int for Byte/Integer/Long/BigInt, Double for Single/Double, Date, Currency
// (or Int), Bool, Text (UTF-8) and Binary; a GUID as its 16 stored bytes or as
// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}". Throws 3421 when a value does not fit the
// column type, 3027 when a non-Null value of a column unsupported() names is given.
void appendColumnKey(const KeyColumn& column, const Value& value, Bytes& out);
// Why appendColumnKey() would refuse this value with 3027, saying that clearing the field
// still works; nullopt when it would not refuse.
std::optional<std::string> unencodable(const KeyColumn& column, const Value& value);
// As appendColumnKey(), but false (out unchanged) where it would refuse with 3027.
bool tryAppendColumnKey(const KeyColumn& column, const Value& value, Bytes& out);

// The whole key of a row (10.10): the columns' encodings concatenated in slot order.
// REQUIRES: values.size() == columns.size().
Bytes encodeKey(std::span<const KeyColumn> columns, std::span<const Value> values);

// Text keys on their own (without the leading flag byte), for tests and for callers that
// hold the stored form: UTF-16 code units for Jet 4, code-page bytes for Jet 3.
// REQUIRES (jet4Text): order is GeneralLegacy, General2010, ChinesePrc or ChineseTaiwan.
Bytes jet4Text(SortOrder order, std::u16string_view text, bool ascending);
Bytes generalLegacyText(std::u16string_view text, bool ascending);
Bytes general97Text(std::string_view cp1252, bool ascending);

// UTF-8 to UTF-16 code units (invalid sequences become U+FFFD), and to code page 1252
// (nullopt when a character has no 1252 byte).
std::u16string utf16FromUtf8(std::string_view utf8);
std::optional<std::string> cp1252FromUtf8(std::string_view utf8);

}  // namespace jet::index
