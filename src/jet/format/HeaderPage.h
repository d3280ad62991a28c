#pragma once
// Page 0: which engine wrote the file, its page size, code page and sort order.
//
// REQUIRES: the first page of the file (at least 2048 bytes, or what the file holds).
// GUARANTEES: decodeHeader() returns only for a plain Jet 3 / Jet 4 / ACE file that this
// engine can read; anything else fails with a jet::Error that says what the file is.
#include <cstddef>
#include <cstdint>
#include <string>

#include "jet/format/Types.h"

namespace jet::format {

struct HeaderOffsets {
  int engineName = 0x04;  // 15 ASCII bytes, both versions
  int version = 0x14;     // not masked
  int maskStart = 0x18;
  int maskLength;         // Jet3 126, Jet4 128
  int sortOrder;          // Jet3 0x3A, Jet4 0x6E
  int codePage = 0x3C;
  int encodingKey = 0x3E;
  int password = 0x42;
  int passwordLength;     // Jet3 20, Jet4 40
  int collationVersion;   // Jet4 0x71; Jet3 has none (-1)
  int creationDate;       // Jet4 0x72; Jet3 has none (-1)
};
constexpr HeaderOffsets kHeaderJet3{.maskLength = 126, .sortOrder = 0x3A, .passwordLength = 20,
                                    .collationVersion = -1, .creationDate = -1};
constexpr HeaderOffsets kHeaderJet4{.maskLength = 128, .sortOrder = 0x6E, .passwordLength = 40,
                                    .collationVersion = 0x71, .creationDate = 0x72};

struct Header {
  Version version;
  int codePage = 0;         // the database's code page (Jet 3 text is stored in it)
  int sortOrder = 0;        // collation LCID, 0x0409 = General
  int collationVersion = 0; // Jet 4 / ACE: 0 General Legacy, 1 General
  uint32_t encodingKey = 0; // non-zero: pages are RC4-encoded
  bool hasPassword = false;
  double creationDate = 0;
};

// The RC4 keystream that masks bytes 0x18.. of page 0 (128 bytes).
extern const uint8_t kHeaderKeystream[128];

// Decodes page 0. `page` holds `size` bytes read from offset 0 of a file of `fileSize`
// bytes. Fails with 3343 (not a Jet file / unsupported variant) or 3049 (truncated);
// a database password is 3031, an encoded database is refused as an unsupported variant.
Header decodeHeader(const uint8_t* page, size_t size, uint64_t fileSize, const std::string& path);

// Page 0 with its masked region unmasked (the same operation masks it again).
void unmaskHeader(uint8_t* page, size_t size, const Version& v);

}  // namespace jet::format
