#pragma once
// Little-endian field readers, a row pointer as the file stores it, and the one exception a
// damaged structure raises: the byte vocabulary of the format, which every layer from the
// pager up shares (it includes nothing of the engine).
//
// The layers below the table know pages and offsets, not file names or tables; they throw
// Corrupt with the place they were looking at, and the database layer turns that into a
// jet::Error that names the file, the table and the page.
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace jet::format {

class Corrupt : public std::runtime_error {
 public:
  explicit Corrupt(const std::string& where) : std::runtime_error(where) {}
};

[[noreturn]] void corrupt(const std::string& where);
// "第 N 页：what", the usual shape of a Corrupt text.
[[noreturn]] void corruptPage(uint32_t page, const std::string& what);

inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t le24(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16);
}
inline uint32_t le32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);  // the engine runs on little-endian hosts only
  return v;
}
inline void put16le(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put32le(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline uint64_t le64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
inline double leDouble(const uint8_t* p) {
  double v;
  std::memcpy(&v, p, 8);
  return v;
}
inline float leFloat(const uint8_t* p) {
  float v;
  std::memcpy(&v, p, 4);
  return v;
}

// A pointer to "row r on page p": byte 0 = r, bytes 1-3 = p.
struct RowPointer {
  uint32_t page = 0;
  uint8_t row = 0;
  static RowPointer decode(uint32_t v) { return {v >> 8, static_cast<uint8_t>(v & 0xFF)}; }
  bool isNull() const { return page == 0; }
};

// A bounded view of bytes; every access is checked and fails as Corrupt(where).
class ByteView {
 public:
  ByteView(const uint8_t* data, size_t size, const char* what) : d_(data), n_(size), what_(what) {}
  size_t size() const { return n_; }
  const uint8_t* data() const { return d_; }
  const uint8_t* at(size_t off, size_t len) const {
    if (off > n_ || len > n_ - off) overrun(off, len);
    return d_ + off;
  }
  uint8_t u8(size_t off) const { return *at(off, 1); }
  uint16_t u16(size_t off) const { return le16(at(off, 2)); }
  uint32_t u32(size_t off) const { return le32(at(off, 4)); }

 private:
  [[noreturn]] void overrun(size_t off, size_t len) const;
  const uint8_t* d_;
  size_t n_;
  const char* what_;
};

}  // namespace jet::format
