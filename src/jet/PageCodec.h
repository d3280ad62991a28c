#pragma once
// How a page's bytes lie in the file. A Jet 3 / Jet 4 file that Access "encoded" keeps a
// database key in its header; every page n >= 1 is then stored RC4-encrypted over its
// whole length with the key (database key XOR n), four bytes little-endian. Page 0 is
// never encoded (only its masked region is, with a fixed key: format/HeaderPage.h).
// Encrypting and decrypting are the same operation, and a page keeps its key wherever its
// bytes travel: a page is encoded with the number it is written at.
//
// The pager holds one codec and applies it at its boundary with the file and nowhere
// else: decode after every read of a page from the file, encode before every write of a
// page to the file. Everything above the pager sees plain pages.
//
// GUARANTEES: apply() of a plain codec changes nothing; apply() twice with the same page
// number gives the bytes back. Stateless: safe from several threads at once.
#include <cstddef>
#include <cstdint>

namespace jet {

class PageCodec {
 public:
  PageCodec() = default;  // plain: pages are stored as they are
  explicit PageCodec(uint32_t databaseKey) : key_(databaseKey) {}

  bool plain() const { return key_ == 0; }
  uint32_t databaseKey() const { return key_; }

  // Encodes or decodes (the same thing) `size` bytes of page n in place.
  void apply(uint32_t n, uint8_t* bytes, size_t size) const {
    if (key_ != 0 && n != 0) applyKeyed(n, bytes, size);
  }
  // Pages first, first + 1, ... of `count` consecutive pages of `pageSize` bytes.
  void applyRun(uint32_t first, uint8_t* bytes, size_t count, size_t pageSize) const {
    if (key_ == 0) return;
    for (size_t i = 0; i < count; ++i) apply(first + static_cast<uint32_t>(i), bytes + i * pageSize, pageSize);
  }

  // RC4 with a 4-byte key over `size` bytes in place (the header's mask is one too).
  static void rc4(const uint8_t key[4], uint8_t* bytes, size_t size);

 private:
  void applyKeyed(uint32_t n, uint8_t* bytes, size_t size) const;
  uint32_t key_ = 0;
};

}  // namespace jet
