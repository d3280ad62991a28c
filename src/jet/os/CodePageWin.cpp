// Code pages through Windows' own converter (the Windows build).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "jet/os/CodePageSystem.h"

namespace jet::os {

std::unique_ptr<SystemCodePage> SystemCodePage::open(int number) {
  CPINFO info;
  if (number <= 0 || !IsValidCodePage(static_cast<UINT>(number)) ||
      !GetCPInfo(static_cast<UINT>(number), &info))
    return nullptr;
  auto impl = std::make_unique<SystemCodePage>();
  impl->number = number;
  impl->doubleByte = info.MaxCharSize > 1;
  for (int b = 0x80; b < 256; ++b) impl->leads[b] = impl->doubleByte && IsDBCSLeadByteEx(number, b);
  return impl;
}

SystemCodePage::~SystemCodePage() = default;

std::optional<char16_t> SystemCodePage::one(const uint8_t* p, size_t n) const {
  wchar_t w[4];
  const int got = MultiByteToWideChar(static_cast<UINT>(number), MB_ERR_INVALID_CHARS,
                                      reinterpret_cast<LPCCH>(p), static_cast<int>(n), w, 4);
  if (got != 1) return std::nullopt;
  return static_cast<char16_t>(w[0]);
}

std::optional<std::string> SystemCodePage::encode(std::u16string_view text) const {
  if (text.empty()) return std::string();
  std::string out(text.size() * 4 + 8, '\0');
  BOOL usedDefault = FALSE;
  const int n = WideCharToMultiByte(static_cast<UINT>(number), WC_NO_BEST_FIT_CHARS,
                                    reinterpret_cast<const wchar_t*>(text.data()),
                                    static_cast<int>(text.size()), out.data(),
                                    static_cast<int>(out.size()), nullptr, &usedDefault);
  if (n <= 0 || usedDefault) return std::nullopt;
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace jet::os
