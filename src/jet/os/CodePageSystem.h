#pragma once
// What a CodePage (Unicode.h) asks of the system's converter (CodePageIcu.cpp or
// CodePageWin.cpp).
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace jet::os {

struct SystemCodePage {
  // nullptr when the system has no converter for the code page.
  static std::unique_ptr<SystemCodePage> open(int number);
  ~SystemCodePage();

  // The one character the bytes [p, p + n) stand for, as the converter has it (checked
  // further by CodePage); nothing when it gives none or more than one.
  std::optional<char16_t> one(const uint8_t* p, size_t n) const;
  // The converter's bytes for text; nothing when a character has no exact ones.
  std::optional<std::string> encode(std::u16string_view text) const;

  bool doubleByte = false;
  std::array<bool, 256> leads{};  // the lead bytes of a double-byte page
  void* converter = nullptr;      // the system's own handle
  int number = 0;
};

}  // namespace jet::os
