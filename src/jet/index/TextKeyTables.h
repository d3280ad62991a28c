#pragma once
// The per-character codes of the text sort orders whose keys are computed here, as runs of
// code units. The C++ is generated at build time by tables/gen_text_key_tables.py from the
// committed tables in tables/; TextKeys.cpp is its only reader.
#include <cstdint>

namespace jet::index::detail {

struct CodeRun {
  uint16_t first, last;
  // 'S' simple, 'I' international, 'U' unprintable, 'P' unprintable extension,
  // 'Z' international extension, 'X' ignored.
  char kind;
  uint8_t codeLen;
  uint8_t code[8];  // inline code (S, I, Z) or unprintable code (U); S runs count up
  uint8_t extraLen;
  uint8_t extra[3];  // extra code (I, Z) or modifier (P)
  uint8_t flag;      // Z only: 2 or 3
};

// A run of simple two-byte codes that count up from `code`.
struct SimpleRun {
  uint16_t first, last, code;
};

// Jet 4 / ACE "General Legacy" (0x0409 version 0) and ACE "General" (0x0409 version 1):
// every code unit but the surrogates, in order.
extern const CodeRun kGeneralLegacyRuns[];
extern const int kGeneralLegacyRunsCount;
extern const CodeRun kGeneral2010Runs[];
extern const int kGeneral2010RunsCount;

// Chinese PRC (0x0804) and Chinese Taiwan (0x0404), version 0: the code units whose codes
// replace their General Legacy entries, ascending.
extern const SimpleRun kChinesePrcRuns[];
extern const int kChinesePrcRunsCount;
extern const SimpleRun kChineseTaiwanRuns[];
extern const int kChineseTaiwanRunsCount;

}  // namespace jet::index::detail

namespace jet::index::detail {

// What one code unit contributes to a key in one sort order, resolved from its run.
struct CharCode {
  char kind = 'X';
  uint8_t codeLen = 0;
  uint8_t code[8] = {};
  uint8_t extraLen = 0;
  uint8_t extra[3] = {};
  uint8_t flag = 0;
};

enum class CodeTable { GeneralLegacy, General2010, ChinesePrc, ChineseTaiwan };

// The code of `cu` (surrogates computed, as they are in every table).
CharCode codeOf(CodeTable table, char16_t cu);

}  // namespace jet::index::detail
