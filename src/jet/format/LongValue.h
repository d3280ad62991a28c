#pragma once
// Memo and OLE values: a 12-byte header in the row, the data inline after it, in one
// LVAL row, or in a chain of LVAL rows each starting with the pointer to the next.
//
// REQUIRES: the column's bytes from the row (header + any inline data).
// GUARANTEES: the value is assembled without reading outside any row, never grows past
// the length the header announces (nor past the file), and a chain that loops or breaks
// off fails as Corrupt.
#include <cstdint>
#include <string>

#include "jet/Bytes.h"

namespace jet {
class Pager;
}

namespace jet::format {

struct LongValueHeader {
  enum class Kind { Inline, Single, Chain };
  static constexpr uint32_t kSize = 12;
  static constexpr uint32_t kLengthMask = 0x3FFFFFFF;
  static constexpr uint32_t kInlineBit = 0x80000000;
  static constexpr uint32_t kSingleBit = 0x40000000;
  Kind kind;
  uint32_t length;
  RowPointer first;
};

LongValueHeader decodeLongValueHeader(const uint8_t* p, uint32_t n);

// Appends the value's bytes to `out` (cleared first).
void readLongValue(Pager& pager, const uint8_t* p, uint32_t n, std::string& out);

}  // namespace jet::format
