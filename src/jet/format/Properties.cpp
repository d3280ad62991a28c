#include "jet/format/Properties.h"

#include <cstring>

#include "jet/Bytes.h"
#include "jet/format/Text.h"

namespace jet::format {

int64_t Property::number() const {
  const auto* b = reinterpret_cast<const uint8_t*>(value.data());
  switch (value.size()) {
    case 1: return type == 1 ? (b[0] != 0) : b[0];
    case 2: return static_cast<int16_t>(le16(b));
    case 4: return static_cast<int32_t>(le32(b));
    default: return 0;
  }
}

std::vector<Property> parseProperties(const uint8_t* p, size_t n, const TextCodec& codec) {
  std::vector<Property> out;
  if (n < 4 || (std::memcmp(p, "MR2\0", 4) != 0 && std::memcmp(p, "KKD\0", 4) != 0)) return out;
  std::vector<std::string> names;
  size_t at = 4;
  while (at + 6 <= n) {
    const uint32_t len = le32(p + at);
    const uint16_t type = le16(p + at + 4);
    if (len < 6 || len > n - at) break;
    const uint8_t* c = p + at + 6;
    const size_t cn = len - 6;
    if (type == 0x80) {
      size_t q = 0;
      while (q + 2 <= cn) {
        const uint16_t l = le16(c + q);
        if (l > cn - q - 2) break;
        names.push_back(codec.name(c + q + 2, l));
        q += 2 + l;
      }
    } else if ((type == 0x00 || type == 0x01) && cn >= 6) {
      const uint32_t block = le32(c);
      const uint16_t nameLen = le16(c + 4);
      if (block >= 6 && block <= cn && nameLen <= block - 6) {
        const std::string object = type == 0x01 ? codec.name(c + 6, nameLen) : std::string();
        size_t q = block;
        while (q + 8 <= cn) {
          const uint16_t elen = le16(c + q);
          if (elen < 8 || elen > cn - q) break;
          const uint8_t dataType = c[q + 3];
          const uint16_t nameIndex = le16(c + q + 4);
          const uint16_t vlen = le16(c + q + 6);
          if (vlen <= elen - 8 && nameIndex < names.size()) {
            Property prop;
            prop.object = object;
            prop.name = names[nameIndex];
            prop.type = dataType;
            prop.value.assign(reinterpret_cast<const char*>(c + q + 8), vlen);
            out.push_back(std::move(prop));
          }
          q += elen;
        }
      }
    }
    at += len;
  }
  return out;
}

}  // namespace jet::format
