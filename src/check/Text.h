#pragma once
// Characters as the operator sees them. The special-character set, the replacement mode and
// the values are UTF-8; every count, position and comparison here is in Unicode characters,
// so a Chinese punctuation mark is one character, as it is on the screen.
#include <string>
#include <string_view>

namespace check {

// The code points of a UTF-8 text; a malformed byte stands for itself (U+FFFD is not
// substituted, so nothing the operator typed is lost on the way back).
std::u32string toCodePoints(std::string_view utf8);
std::string toUtf8(std::u32string_view codePoints);

// The number of characters of a UTF-8 text.
size_t characterCount(std::string_view utf8);

// True when a and b are the same letter ignoring case (Unicode simple case folding), or the
// same character.
bool sameCharIgnoringCase(char32_t a, char32_t b);

// Position of the first character of `text` equal to c ignoring case, counting characters
// from `from`; npos when absent.
size_t findCharIgnoringCase(std::u32string_view text, char32_t c, size_t from = 0);

// True when `needle` occurs in `haystack`, letter case ignored.
bool containsIgnoringCase(std::u32string_view haystack, std::u32string_view needle);

}  // namespace check
