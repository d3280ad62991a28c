#pragma once
// Page 0: which engine wrote the file, its page size, code page and sort order, whether it
// has a database password and whether its pages are encoded.
//
// The password: the area at 0x42 (after unmasking) holds it NUL-padded, in the database's
// code page for Jet 3 (20 bytes), in UTF-16LE for Jet 4 / ACE (40 bytes, at most 20
// characters), there XORed again with the creation date's day number (the double at 0x72
// truncated to a 32-bit integer, little-endian, repeated). All zero: no password. It
// protects nothing (pages are not encrypted by it); Access asks for it at open and
// compares exactly, and so do we, without ever keeping or showing what is stored.
//
// The database key at 0x3E (after unmasking): non-zero in a Jet 3 / Jet 4 file means its
// pages are RC4-encoded (PageCodec.h). In an ACE file it means the file is encrypted with
// the Office document encryption keyed by the password, which this engine does not read.
//
// REQUIRES: the first page of the file (at least 2048 bytes, or what the file holds).
// GUARANTEES: decodeHeader() returns only for a Jet 3 / Jet 4 / ACE file that this engine
// can read once its password is given; anything else fails with a jet::Error that says
// what the file is.
#include <cstddef>
#include <cstdint>
#include <string>

#include <string_view>

#include "jet/Types.h"

namespace jet::format {

class TextCodec;

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
  uint32_t encodingKey = 0; // non-zero: pages are RC4-encoded (PageCodec.h)
  bool hasPassword = false;
  double creationDate = 0;
};

// The RC4 keystream that masks bytes 0x18.. of page 0 (128 bytes).
extern const uint8_t kHeaderKeystream[128];

// Decodes page 0. `page` holds `size` bytes read from offset 0 of a file of `fileSize`
// bytes. Fails with 3343 (not a Jet file / unsupported variant, an encrypted ACE file) or
// 3049 (truncated). A password is not checked here (passwordMatches).
Header decodeHeader(const uint8_t* page, size_t size, uint64_t fileSize, const std::string& path);

// Whether `typed` (UTF-8) opens a file whose decoded header is `h` and whose page 0 is
// `page` (as read, masked): true for a file without a password, else only for exactly the
// stored password (letter case counts). `text` decodes the Jet 3 code page.
bool passwordMatches(const uint8_t* page, const Header& h, std::string_view typed, const TextCodec& text);

// Page 0 with its masked region unmasked (the same operation masks it again).
void unmaskHeader(uint8_t* page, size_t size, const Version& v);

}  // namespace jet::format
