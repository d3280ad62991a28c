#include "jet/Secret.h"

#include <utility>

namespace jet {

void wipe(void* p, size_t n) noexcept {
  volatile unsigned char* b = static_cast<volatile unsigned char*>(p);
  for (size_t i = 0; i < n; ++i) b[i] = 0;
}

void Secret::assign(std::string_view text) {
  clear();
  text_.reserve(text.size());  // one buffer, never grown (which would leave a copy behind)
  text_.append(text);
}

Secret Secret::concat(std::string_view a, std::string_view b) {
  Secret s;
  s.text_.reserve(a.size() + b.size());
  s.text_.append(a);
  s.text_.append(b);
  return s;
}

}  // namespace jet
