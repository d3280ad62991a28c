#include "jet/PageCodec.h"

#include <utility>

namespace jet {

void PageCodec::rc4(const uint8_t key[4], uint8_t* bytes, size_t size) {
  uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + s[i] + key[i & 3]);
    std::swap(s[i], s[j]);
  }
  uint8_t a = 0, b = 0;
  for (size_t k = 0; k < size; ++k) {
    a = static_cast<uint8_t>(a + 1);
    b = static_cast<uint8_t>(b + s[a]);
    std::swap(s[a], s[b]);
    bytes[k] ^= s[static_cast<uint8_t>(s[a] + s[b])];
  }
}

void PageCodec::applyKeyed(uint32_t n, uint8_t* bytes, size_t size) const {
  const uint32_t k = key_ ^ n;
  const uint8_t key[4] = {static_cast<uint8_t>(k), static_cast<uint8_t>(k >> 8),
                          static_cast<uint8_t>(k >> 16), static_cast<uint8_t>(k >> 24)};
  rc4(key, bytes, size);
}

}  // namespace jet
