#pragma once
// Text as stored: Jet 4 / ACE keep UCS-2 (optionally "compressed" to one byte per
// character), Jet 3 keeps bytes in the database's code page. Everything leaves as UTF-8.
//
// REQUIRES: one thread at a time (the code page converter keeps state).
// GUARANTEES: decode() never reads outside [p, p+n) and always produces valid UTF-8
// (malformed input becomes U+FFFD).
#include <cstddef>
#include <cstdint>
#include <string>

#include "jet/Types.h"
#include "jet/os/Unicode.h"

namespace jet::format {

class TextCodec {
 public:
  // Fails with 3343 when the code page has no converter.
  TextCodec(const Version& version, int codePage, const std::string& path);
  ~TextCodec();
  TextCodec(const TextCodec&) = delete;
  TextCodec& operator=(const TextCodec&) = delete;

  // A Text or Memo value's bytes, replacing `out`.
  void decode(const uint8_t* p, size_t n, std::string& out) const;
  // A name in a table definition (Jet 3: code page bytes; Jet 4: plain UCS-2).
  std::string name(const uint8_t* p, size_t n) const;
  int codePage() const { return codePage_; }

  // Jet 4 text: UCS-2, or compressed when it starts with FF FE.
  static void decodeJet4(const uint8_t* p, size_t n, std::string& out);
  static void decodeUcs2(const uint8_t* p, size_t n, std::string& out);

 private:
  void decodeCodePage(const uint8_t* p, size_t n, std::string& out) const;

  bool jet3_;
  int codePage_;
  std::unique_ptr<os::CodePage> conv_;
  mutable std::u16string units_;    // multi-byte code pages: the text decoded, reused
  bool singleByte_ = false;
  std::string byteUtf8_[256];       // single-byte code pages: each byte's UTF-8
};

}  // namespace jet::format
