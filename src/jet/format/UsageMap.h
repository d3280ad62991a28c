#pragma once
// Usage maps: a set of page numbers kept as a bitmap in one row of a data page, either
// inline (start page + bits) or as references to bitmap pages (type 0x05).
//
// REQUIRES: a Pager. GUARANTEES: readUsageMap() returns the set's pages in ascending
// order, without duplicates, all inside the file; a map that cannot be read fails as
// Corrupt.
#include <cstdint>
#include <vector>

#include "jet/format/Bytes.h"

namespace jet {
class Pager;
}

namespace jet::format {

constexpr uint8_t kMapInline = 0x00;
constexpr uint8_t kMapReference = 0x01;

// The row bytes of "row r on page p" in a data page.
struct RowBytes {
  const uint8_t* data;
  uint32_t length;
  uint16_t slot;  // the raw slot entry, flags included
};
RowBytes rowAt(Pager& pager, RowPointer where);

// pastEnd, when given, counts the pages the map names that lie past the file's end (a
// sound file has none: a file cut short has lost them).
std::vector<uint32_t> readUsageMap(Pager& pager, RowPointer where, uint64_t* pastEnd = nullptr);

}  // namespace jet::format
