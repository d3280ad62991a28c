// Code pages through ICU (the Linux build).
#include <unicode/ucnv.h>

#include "jet/os/CodePageSystem.h"

namespace jet::os {

namespace {
UConverter* conv(void* c) { return static_cast<UConverter*>(c); }
}  // namespace

std::unique_ptr<SystemCodePage> SystemCodePage::open(int number) {
  const std::string n = std::to_string(number);
  for (const std::string& name : {"windows-" + n, "cp" + n, "ibm-" + n}) {
    UErrorCode ec = U_ZERO_ERROR;
    UConverter* c = ucnv_open(name.c_str(), &ec);
    if (U_FAILURE(ec) || !c) continue;
    auto impl = std::make_unique<SystemCodePage>();
    impl->converter = c;
    impl->number = number;
    ec = U_ZERO_ERROR;
    // Nothing stands in for what is not there: no substitute, no look-alike.
    ucnv_setToUCallBack(c, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &ec);
    ucnv_setFromUCallBack(c, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &ec);
    impl->doubleByte = ucnv_getMaxCharSize(c) > 1;
    if (impl->doubleByte) {
      UBool starters[256] = {};
      ec = U_ZERO_ERROR;
      ucnv_getStarters(c, starters, &ec);
      for (int b = 0x80; b < 256; ++b) impl->leads[b] = U_SUCCESS(ec) && starters[b];
    }
    return impl;
  }
  return nullptr;
}

SystemCodePage::~SystemCodePage() {
  if (converter) ucnv_close(conv(converter));
}

std::optional<char16_t> SystemCodePage::one(const uint8_t* p, size_t n) const {
  UChar u[4];
  UErrorCode ec = U_ZERO_ERROR;
  ucnv_reset(conv(converter));
  const int32_t got = ucnv_toUChars(conv(converter), u, 4, reinterpret_cast<const char*>(p),
                                    static_cast<int32_t>(n), &ec);
  if ((U_FAILURE(ec) && ec != U_STRING_NOT_TERMINATED_WARNING) || got != 1) return std::nullopt;
  return u[0];
}

std::optional<std::string> SystemCodePage::encode(std::u16string_view text) const {
  std::string out(text.size() * 4 + 8, '\0');
  UErrorCode ec = U_ZERO_ERROR;
  ucnv_reset(conv(converter));
  const int32_t n = ucnv_fromUChars(conv(converter), out.data(), static_cast<int32_t>(out.size()),
                                    reinterpret_cast<const UChar*>(text.data()),
                                    static_cast<int32_t>(text.size()), &ec);
  if (U_FAILURE(ec)) return std::nullopt;
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace jet::os
