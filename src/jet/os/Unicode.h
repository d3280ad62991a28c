#pragma once
// The text services the engine needs of its platform: UTF-8 and UTF-16, letter case, and
// the Windows code pages that Access 97 files store their text in.
//
// Case folding comes from a table generated at build time from the Unicode Character
// Database (CaseFolding.txt), the same on every platform, so that both builds compare
// names and match patterns alike. Code pages go through the system's own converter: ICU
// on Linux, MultiByteToWideChar/WideCharToMultiByte on Windows (they agree on every byte
// and pair the code pages define).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace jet::os {

// nullopt when utf8 is not well-formed (a stray byte, an overlong form, a surrogate).
std::optional<std::u16string> toUtf16(std::string_view utf8);
// A lone surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view utf16);

// Simple case folding of one code point (statuses C and S): 'A' -> 'a', 'ς' -> 'σ'.
char32_t foldCase(char32_t c);
// Full case folding of UTF-8 text (statuses C and F: 'ß' -> "ss"), as code points; a stray
// byte stands for itself.
std::u32string foldCaseFull(std::string_view utf8);

// One Windows code page (1252, 936, ...).
class CodePage {
 public:
  // nullptr when the system has no converter for it.
  static std::unique_ptr<CodePage> open(int number);
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  int number() const { return number_; }
  // Every character is one byte.
  bool singleByte() const { return singleByte_; }
  // Appends the UTF-16 of bytes [p, p + n); a byte or pair the code page does not define
  // becomes U+FFFD. REQUIRES: one thread at a time.
  void decode(const uint8_t* p, size_t n, std::u16string& out) const;
  // The bytes of text; nullopt when a character has no exact bytes in the code page (no
  // look-alike stands in for it).
  std::optional<std::string> encode(std::u16string_view text) const;

  struct Impl;

 private:
  CodePage(int number, std::unique_ptr<Impl> impl, bool singleByte);
  int number_;
  std::unique_ptr<Impl> impl_;
  bool singleByte_;
};

#ifdef _WIN32
// The system's wide strings, for its W calls: UTF-16 both.
std::wstring widen(std::string_view utf8);  // ill-formed bytes become U+FFFD
std::string narrow(std::wstring_view wide);
#endif

}  // namespace jet::os
