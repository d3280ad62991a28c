// Code pages through Windows' own converter (the Windows build).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "jet/os/Unicode.h"

namespace jet::os {

struct CodePage::Impl {
  UINT cp = 0;
};

std::unique_ptr<CodePage> CodePage::open(int number) {
  CPINFO info;
  if (number <= 0 || !IsValidCodePage(static_cast<UINT>(number)) ||
      !GetCPInfo(static_cast<UINT>(number), &info))
    return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->cp = static_cast<UINT>(number);
  return std::unique_ptr<CodePage>(new CodePage(number, std::move(impl), info.MaxCharSize == 1));
}

CodePage::CodePage(int number, std::unique_ptr<Impl> impl, bool singleByte)
    : number_(number), impl_(std::move(impl)), singleByte_(singleByte) {}

CodePage::~CodePage() = default;

void CodePage::decode(const uint8_t* p, size_t n, std::u16string& out) const {
  if (n == 0) return;
  const UINT cp = impl_->cp;
  auto convert = [&](const uint8_t* from, int count) {
    wchar_t w[8];
    const int got = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, reinterpret_cast<LPCCH>(from),
                                        count, w, 8);
    if (got <= 0) return false;
    out.append(reinterpret_cast<const char16_t*>(w), static_cast<size_t>(got));
    return true;
  };
  // The whole text in one call when every byte of it is defined...
  const size_t base = out.size();
  out.resize(base + n);
  const int got = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, reinterpret_cast<LPCCH>(p),
                                      static_cast<int>(n),
                                      reinterpret_cast<wchar_t*>(out.data() + base), static_cast<int>(n));
  if (got > 0) {
    out.resize(base + static_cast<size_t>(got));
    return;
  }
  // ...else character by character, an undefined one as U+FFFD.
  out.resize(base);
  for (size_t i = 0; i < n;) {
    const bool lead = !singleByte() && i + 1 < n && IsDBCSLeadByteEx(cp, p[i]);
    if (lead && convert(p + i, 2)) {
      i += 2;
    } else if (!lead && convert(p + i, 1)) {
      i += 1;
    } else {
      out.push_back(0xFFFD);
      i += 1;
    }
  }
}

std::optional<std::string> CodePage::encode(std::u16string_view text) const {
  if (text.empty()) return std::string();
  const auto* w = reinterpret_cast<const wchar_t*>(text.data());
  const int wn = static_cast<int>(text.size());
  std::string out(text.size() * 4 + 8, '\0');
  BOOL usedDefault = FALSE;
  const int n = WideCharToMultiByte(impl_->cp, WC_NO_BEST_FIT_CHARS, w, wn, out.data(),
                                    static_cast<int>(out.size()), nullptr, &usedDefault);
  if (n <= 0 || usedDefault) return std::nullopt;
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace jet::os
