// Code pages through ICU (the Linux build).
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include "jet/os/Unicode.h"

namespace jet::os {

namespace {

// A byte or pair the code page does not define becomes U+FFFD (ICU's own substitute is
// U+001A for some pages; Windows has none).
void replacementCharacter(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                          UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close, clone
  const UChar replacement = 0xFFFD;
  *err = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, &replacement, 1, 0, err);
}

}  // namespace

struct CodePage::Impl {
  UConverter* conv = nullptr;
  ~Impl() {
    if (conv) ucnv_close(conv);
  }
};

std::unique_ptr<CodePage> CodePage::open(int number) {
  const std::string n = std::to_string(number);
  for (const std::string& name : {"windows-" + n, "cp" + n, "ibm-" + n}) {
    UErrorCode ec = U_ZERO_ERROR;
    UConverter* c = ucnv_open(name.c_str(), &ec);
    if (U_FAILURE(ec) || !c) continue;
    auto impl = std::make_unique<Impl>();
    impl->conv = c;
    ec = U_ZERO_ERROR;
    // A character without exact bytes stops the conversion: no look-alike, no '?'.
    ucnv_setFromUCallBack(c, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &ec);
    ucnv_setToUCallBack(c, replacementCharacter, nullptr, nullptr, nullptr, &ec);
    const bool single = ucnv_getMaxCharSize(c) == 1;
    return std::unique_ptr<CodePage>(new CodePage(number, std::move(impl), single));
  }
  return nullptr;
}

CodePage::CodePage(int number, std::unique_ptr<Impl> impl, bool singleByte)
    : number_(number), impl_(std::move(impl)), singleByte_(singleByte) {}

CodePage::~CodePage() = default;

void CodePage::decode(const uint8_t* p, size_t n, std::u16string& out) const {
  const size_t base = out.size();
  out.resize(base + n + 1);
  UErrorCode ec = U_ZERO_ERROR;
  ucnv_reset(impl_->conv);
  const int32_t len = ucnv_toUChars(impl_->conv, reinterpret_cast<UChar*>(out.data() + base),
                                    static_cast<int32_t>(n + 1), reinterpret_cast<const char*>(p),
                                    static_cast<int32_t>(n), &ec);
  if (U_FAILURE(ec) && ec != U_STRING_NOT_TERMINATED_WARNING) {
    out.resize(base);
    out.push_back(0xFFFD);
    return;
  }
  out.resize(base + static_cast<size_t>(len));
}

std::optional<std::string> CodePage::encode(std::u16string_view text) const {
  std::string out(text.size() * 4 + 8, '\0');
  UErrorCode ec = U_ZERO_ERROR;
  ucnv_reset(impl_->conv);
  const int32_t n = ucnv_fromUChars(impl_->conv, out.data(), static_cast<int32_t>(out.size()),
                                    reinterpret_cast<const UChar*>(text.data()),
                                    static_cast<int32_t>(text.size()), &ec);
  if (U_FAILURE(ec)) return std::nullopt;
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace jet::os
