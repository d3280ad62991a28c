#pragma once
// The per-character codes of the Jet 4 "General Legacy" text sort order (collation 0x0409,
// version 0) for U+0000-U+FFFF minus the surrogates, as runs of code units, and those of
// the ACE "General" sort order for U+0000-U+00FF. Generated data; TextKeys.cpp is its only
// reader.
#include <cstdint>

namespace jet::index::detail {

struct CodeRun {
  uint16_t first, last;
  // 'S' simple, 'I' international, 'U' unprintable, 'P' unprintable extension,
  // 'Z' international extension, 'X' ignored.
  char kind;
  uint8_t codeLen;
  uint8_t code[4];  // inline code (S, I, Z) or unprintable code (U); S runs count up
  uint8_t extraLen;
  uint8_t extra[2];  // extra code (I, Z) or modifier (P)
  uint8_t flag;      // Z only: 2 or 3
};

extern const CodeRun kGeneralLegacyRuns[];
extern const int kGeneralLegacyRunCount;

// ACE "General" (collation 0x0409, version 1): the codes of U+0000-U+00FF, one per unit.
extern const CodeRun kGeneral2010Latin1[256];

}  // namespace jet::index::detail
