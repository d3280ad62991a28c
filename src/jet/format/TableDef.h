#pragma once
// A table definition (TDEF): the table's counters, column descriptors, indexes and the
// usage maps of its pages, spread over a chain of type-0x02 pages.
//
// Reading and changing both live here: readTableDef() for the whole definition, and the
// counters a writer changes in place on the first page (row count, last autonumber).
//
// REQUIRES: a Pager over a decoded file. GUARANTEES: readTableDef() returns a definition
// whose every offset and count has been checked against the definition's own length and
// the file; a loop or a wrong page in the chain fails as Corrupt. The counter changes
// touch their four bytes and nothing else.
#include <cstdint>
#include <string>
#include <vector>

#include "jet/Bytes.h"
#include "jet/format/HeaderPage.h"

namespace jet {
class Pager;
}

namespace jet::format {

class TextCodec;

struct TdefLayout {
  int nextPage = 4;
  int length = 8;
  int numRows;
  int autoNumber;
  int tableType;
  int maxCols;
  int numVarCols;
  int numCols;
  int numIdx;
  int numRealIdx;
  int ownedMap;
  int freeMap;
  int blockEnd;        // the real-index statistics start here
  int realIdxStatSize; // one statistics block per real index
  int columnSize;      // one column descriptor
  // Column descriptor fields.
  int colType = 0;
  int colNum;
  int colVarIndex;
  int colCollation;
  int colCodePage;     // Jet3 only (-1 otherwise)
  int colPrecision;    // Jet4 only (-1 otherwise)
  int colScale;
  int colCollationVersion;
  int colFlags;
  int colExtFlags;     // Jet4 only
  int colFixedOffset;
  int colLength;
  int nameLengthSize;  // 1 (Jet3, code page bytes) or 2 (Jet4, UCS-2 bytes)
  // Real index definition block.
  int realIdxSize;
  int realIdxColumns;  // 10 slots of {col_num (2), flags (1)}
  int realIdxUsageMap;
  int realIdxRoot;
  int realIdxFlags;
  // Logical index definition block.
  int logIdxSize;
  int logIdxNumber;
  int logIdxRealIndex;
  int logIdxRelTableType;
  int logIdxRelIndex;
  int logIdxRelTable;
  int logIdxCascadeUpdates;
  int logIdxCascadeDeletes;
  int logIdxType;
};

constexpr TdefLayout kTdefJet3{
    .numRows = 12, .autoNumber = 16, .tableType = 20, .maxCols = 21, .numVarCols = 23,
    .numCols = 25, .numIdx = 27, .numRealIdx = 31, .ownedMap = 35, .freeMap = 39,
    .blockEnd = 43, .realIdxStatSize = 8, .columnSize = 18,
    .colNum = 1, .colVarIndex = 3, .colCollation = 9, .colCodePage = 11, .colPrecision = -1,
    .colScale = -1, .colCollationVersion = -1, .colFlags = 13, .colExtFlags = -1,
    .colFixedOffset = 14, .colLength = 16, .nameLengthSize = 1,
    .realIdxSize = 39, .realIdxColumns = 0, .realIdxUsageMap = 30, .realIdxRoot = 34,
    .realIdxFlags = 38,
    .logIdxSize = 20, .logIdxNumber = 0, .logIdxRealIndex = 4, .logIdxRelTableType = 8,
    .logIdxRelIndex = 9, .logIdxRelTable = 13, .logIdxCascadeUpdates = 17,
    .logIdxCascadeDeletes = 18, .logIdxType = 19};

constexpr TdefLayout kTdefJet4{
    .numRows = 16, .autoNumber = 20, .tableType = 40, .maxCols = 41, .numVarCols = 43,
    .numCols = 45, .numIdx = 47, .numRealIdx = 51, .ownedMap = 55, .freeMap = 59,
    .blockEnd = 63, .realIdxStatSize = 12, .columnSize = 25,
    .colNum = 5, .colVarIndex = 7, .colCollation = 11, .colCodePage = -1, .colPrecision = 11,
    .colScale = 12, .colCollationVersion = 14, .colFlags = 15, .colExtFlags = 16,
    .colFixedOffset = 21, .colLength = 23, .nameLengthSize = 2,
    .realIdxSize = 52, .realIdxColumns = 4, .realIdxUsageMap = 34, .realIdxRoot = 38,
    .realIdxFlags = 46,
    .logIdxSize = 28, .logIdxNumber = 4, .logIdxRealIndex = 8, .logIdxRelTableType = 12,
    .logIdxRelIndex = 13, .logIdxRelTable = 17, .logIdxCascadeUpdates = 21,
    .logIdxCascadeDeletes = 22, .logIdxType = 23};

inline const TdefLayout& tdefLayout(const Version& v) { return v.jet3() ? kTdefJet3 : kTdefJet4; }

// Column type codes as stored.
namespace coltype {
constexpr int kBoolean = 0x01, kByte = 0x02, kInteger = 0x03, kLong = 0x04, kMoney = 0x05,
              kFloat = 0x06, kDouble = 0x07, kDateTime = 0x08, kBinary = 0x09, kText = 0x0A,
              kOle = 0x0B, kMemo = 0x0C, kGuid = 0x0F, kNumeric = 0x10, kComplex = 0x12,
              kBigInt = 0x13, kExtDateTime = 0x14;
}

namespace colflag {
constexpr int kFixed = 0x01, kAutoNumber = 0x04, kAutoGuid = 0x40, kHyperlink = 0x80;
}

// Extended column flags (Jet 4 and newer).
namespace colextflag {
constexpr int kCompressedUnicode = 0x01;  // text may be stored compressed
constexpr int kCalculated = 0xC0;         // an ACE calculated column: either bit
}

// Real index flags.
namespace idxflag {
constexpr uint8_t kUnique = 0x01, kIgnoreNulls = 0x02, kRequired = 0x08;
}

// Logical index types.
namespace idxtype {
constexpr uint8_t kNormal = 0, kPrimaryKey = 1, kForeignKey = 2;
}

// Which side of its relationship a foreign-key index stands on.
namespace relside {
constexpr uint8_t kReferenced = 1, kReferencing = 2;
}

struct ColumnDef {
  std::string name;  // UTF-8
  int type = 0;
  uint16_t number = 0;    // storage identity: null-mask bit, includes deleted columns
  uint16_t varIndex = 0;  // slot in the variable-offset table (variable columns)
  uint16_t fixedOffset = 0;
  uint16_t length = 0;    // bytes
  uint8_t flags = 0;
  uint8_t extFlags = 0;
  int collation = 0;
  int collationVersion = 0;
  int codePage = 0;       // Jet3 text: the column's code page
  int precision = 0, scale = 0;
  bool fixed() const { return flags & colflag::kFixed; }
  // A calculated column's result type (a column type code, from the column's ResultType
  // property); 0 when unknown. The descriptor's own type need not be the result's: a
  // Currency result may stand in a Double column, a Yes/No result in an Integer one.
  int resultType = 0;

  // ACE calculated column: the row keeps the last result, wrapped (see RowDecoder).
  bool calculated() const { return (extFlags & colextflag::kCalculated) != 0; }
  // The type the stored value has: the result's for a calculated column, when known.
  int valueType() const { return calculated() && resultType != 0 ? resultType : type; }
  // Stored as a long value (12-byte header in the row). A calculated Text column of
  // length 0 holds a Memo result this way, its data wrapped like any calculated result.
  bool isLongValue() const {
    return type == coltype::kMemo || type == coltype::kOle ||
           (calculated() && (resultType == coltype::kMemo || (type == coltype::kText && length == 0)));
  }
};

struct RealIndexColumn {
  uint16_t number;  // column number (ColumnDef::number)
  bool ascending;
};

struct RealIndexDef {
  std::vector<RealIndexColumn> columns;
  RowPointer usageMap;
  uint32_t rootPage = 0;
  uint8_t flags = 0;  // idxflag
  uint32_t statsOffset = 0;  // offset of this index's statistics block in the definition
};

struct LogicalIndexDef {
  std::string name;
  int32_t number = 0;
  int32_t realIndex = 0;
  uint8_t relTableType = 0;  // relside
  int32_t relIndex = -1;
  uint32_t relTable = 0;
  uint8_t cascadeUpdates = 0, cascadeDeletes = 0;
  uint8_t type = 0;  // idxtype
};

struct LongValueMaps {
  uint16_t column = 0;
  RowPointer usageMap;
  RowPointer freeMap;
};

struct TableDef {
  uint32_t page = 0;              // first TDEF page (the table's identity)
  std::vector<uint32_t> pages;    // the chain, first page first
  uint32_t length = 0;
  uint32_t numRows = 0;
  uint32_t autoNumber = 0;
  uint8_t tableType = 0;          // 'N' user, 'S' system
  uint16_t maxCols = 0;
  uint16_t numVarCols = 0;
  RowPointer ownedMap, freeMap;
  std::vector<ColumnDef> columns;  // descriptor order (the field collection's order)
  std::vector<RealIndexDef> realIndexes;
  std::vector<LogicalIndexDef> logicalIndexes;
  std::vector<LongValueMaps> longValueMaps;

  const ColumnDef* findColumn(std::string_view name) const;  // exact name
  // The index whose key may hold no Null in this column: the primary key, or an index
  // whose "required" flag is set. nullptr when the column may be Null as far as the
  // indexes go.
  const LogicalIndexDef* keyRefusingNull(const ColumnDef& column) const;
};

// Reads and checks the definition starting at `page`. Names are decoded with `codec`
// (Jet 3 code page / Jet 4 UCS-2).
TableDef readTableDef(Pager& pager, uint32_t page, const TextCodec& codec);

// The counters of the definition's first page (type 0x02), read and changed in place. The
// row count counts live rows; the autonumber is the last number given out.
inline uint32_t tableRowCount(const uint8_t* first, const Version& v) {
  return le32(first + tdefLayout(v).numRows);
}
inline void setTableRowCount(uint8_t* first, const Version& v, uint32_t rows) {
  put32le(first + tdefLayout(v).numRows, rows);
}
inline uint32_t tableAutoNumber(const uint8_t* first, const Version& v) {
  return le32(first + tdefLayout(v).autoNumber);
}
inline void setTableAutoNumber(uint8_t* first, const Version& v, uint32_t last) {
  put32le(first + tdefLayout(v).autoNumber, last);
}

// The definition's bytes as one buffer (first page whole, continuation pages from byte 8).
std::vector<uint8_t> readTableDefBytes(Pager& pager, uint32_t page, std::vector<uint32_t>* chain);

}  // namespace jet::format
