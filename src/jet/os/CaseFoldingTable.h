#pragma once
// The case-folding table generated from CaseFolding.txt (gen_case_folding.py); read it
// through Unicode.h.
#include <cstddef>
#include <cstdint>

namespace jet::os::casefold {

extern const uint16_t kStage1[0x110000 >> 8];  // per block of 256 code points: its row
extern const int32_t kBlocks[][256];           // per row: the delta to each one's fold
struct FullFold {
  char32_t from;
  char32_t to[3];  // zero-padded
};
extern const FullFold kFull[];  // sorted by `from`
extern const size_t kFullCount;

}  // namespace jet::os::casefold
