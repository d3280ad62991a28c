#pragma once
// The text services the engine needs of its platform: UTF-8 and UTF-16, letter case, and
// the Windows code pages that Access 97 files store their text in.
//
// Case folding comes from a table generated at build time from the Unicode Character
// Database (CaseFolding.txt), the same on every platform, so that both builds compare
// names and match patterns alike. Code pages go through the system's own converter: ICU
// on Linux, MultiByteToWideChar/WideCharToMultiByte on Windows. The two agree on every
// byte and pair that the code pages define; where their tables differ at the edges, the
// same rules decide on both (CodePage below), so that both builds read and write the
// same text.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jet::os {

// Writes the UTF-8 of one code point (the caller gives a valid one) at w, which has room
// for four bytes; returns the end.
inline char* putUtf8(char* w, char32_t c) {
  if (c < 0x80) {
    *w++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *w++ = static_cast<char>(0xC0 | (c >> 6));
    *w++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *w++ = static_cast<char>(0xE0 | (c >> 12));
    *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *w++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *w++ = static_cast<char>(0xF0 | (c >> 18));
    *w++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *w++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return w;
}

inline void appendUtf8(std::string& out, char32_t c) {
  char bytes[4];
  out.append(bytes, putUtf8(bytes, c));
}

// nullopt when utf8 is not well-formed (a stray byte, an overlong form, a surrogate).
std::optional<std::u16string> toUtf16(std::string_view utf8);
// A lone surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view utf16);
void appendUtf8(std::string& out, std::u16string_view utf16);

// Simple case folding of one code point (statuses C and S): 'A' -> 'a', 'ς' -> 'σ'.
char32_t foldCase(char32_t c);
// Full case folding of UTF-8 text (statuses C and F: 'ß' -> "ss"), as code points; a stray
// byte stands for itself.
std::u32string foldCaseFull(std::string_view utf8);

struct SystemCodePage;  // the system's converter (CodePageSystem.h)

// One Windows code page (1252, 936, ...), read through tables built once from the system's
// converter with these rules, so that both systems decode alike:
// - bytes 00..7F are ASCII;
// - a byte or a lead and trail pair is defined when the converter gives exactly one
//   character for it, not U+FFFD and not a control character; a single byte also not a
//   private-use one (which the tables give to bytes Windows leaves undefined), while a
//   pair may be (the user-defined characters of the Chinese, Japanese and Korean pages);
// - where Windows' table and ICU's still differ, Windows' holds (Jet writes Windows' bytes):
//   1253 AA is undefined, 1255 CA is U+05BA, 932 80 is U+0080;
// - an undefined byte, or a lead byte whose pair is undefined, becomes one U+FFFD; the
//   pair's second byte goes with it unless it is ASCII below '@'.
// Encoding writes the bytes that decode back to the text, or nothing.
class CodePage {
 public:
  // nullptr when the system has no converter for it.
  static std::unique_ptr<CodePage> open(int number);
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  ~CodePage();
  int number() const { return number_; }
  // Every character is one byte.
  bool singleByte() const { return singleByte_; }
  // Appends the UTF-16 of bytes [p, p + n); a byte or pair the code page does not define
  // becomes U+FFFD. REQUIRES: one thread at a time.
  void decode(const uint8_t* p, size_t n, std::u16string& out) const;
  // The bytes of text; nullopt when a character has no exact bytes in the code page (no
  // look-alike stands in for it).
  std::optional<std::string> encode(std::u16string_view text) const;

  // What the rules make of the converter's answers, built once per code page and process.
  struct Tables {
    std::array<char16_t, 256> single{};  // U+FFFD where undefined
    std::array<bool, 256> lead{};
    std::vector<char16_t> pairs;  // double-byte pages: lead 80..FF by trail 00..FF
  };

 private:
  CodePage(int number, std::unique_ptr<SystemCodePage> impl, std::shared_ptr<const Tables> tables);

  int number_;
  std::unique_ptr<SystemCodePage> impl_;  // the system's converter
  std::shared_ptr<const Tables> tables_;
  bool singleByte_;
};

#ifdef _WIN32
// The system's wide strings, for its W calls: UTF-16 both.
std::wstring widen(std::string_view utf8);  // ill-formed bytes become U+FFFD
std::string narrow(std::wstring_view wide);
#endif

}  // namespace jet::os
