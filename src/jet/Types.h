#pragma once
// The vocabulary every layer of the engine shares, from the pager up to the public
// Database.h: which format a file is, the column types by their DAO numbers, and a row's
// identity. Includes nothing of the engine, so any layer may include it.
#include <compare>
#include <cstdint>

namespace jet {

// Column types by the numbers DAO uses for Field.Type.
namespace daotype {
constexpr int kBoolean = 1, kByte = 2, kInteger = 3, kLong = 4, kCurrency = 5, kSingle = 6,
              kDouble = 7, kDate = 8, kBinary = 9, kText = 10, kLongBinary = 11, kMemo = 12,
              kGuid = 15, kBigInt = 16, kComplex = 101, kDecimal = 20;
// ACE "Date/Time Extended" (stored as 42 ASCII characters); read as Text, never a date.
constexpr int kDateTimeExtended = 26;
}

enum class FileFormat { Jet3, Jet4, Ace };

// A row's stable identity: the data page and slot where the row's first bytes live (the
// slot that holds the forwarding pointer, for a row that has moved).
struct RowId {
  uint32_t page = 0;
  uint16_t row = 0;
  bool operator==(const RowId&) const = default;
  auto operator<=>(const RowId&) const = default;
};

namespace format {

// The facts every other structure's layout depends on.
struct Version {
  FileFormat format = FileFormat::Jet4;
  int versionByte = 1;  // 0 Jet3, 1 Jet4, 2.. ACE
  bool jet3() const { return format == FileFormat::Jet3; }
  uint32_t pageSize() const { return jet3() ? 2048 : 4096; }
};

}  // namespace format
}  // namespace jet
