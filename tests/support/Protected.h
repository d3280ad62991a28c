#pragma once
// Files as Access protects them, made from plain copies by the format's rules: pages
// encoded with a database key, a database password in the header, and the mark of an
// Access 2007+ file encrypted with its password.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace protect {

namespace fs = std::filesystem;

// A key as Access draws them: any non-zero 32-bit value.
inline constexpr uint32_t kKey = 0xA1EBE8E0;

// Encodes every page n >= 1 of a plain Jet 3 / Jet 4 file in place with the key
// (key XOR n) and writes the key into the header.
void encodePages(const fs::path& file, uint32_t key = kKey);
// The file's bytes with its pages decoded and the header's key cleared: the plain file
// an encoded one stands for.
std::vector<uint8_t> decodedBytes(const fs::path& file);

// Writes `password` into the header's password area (Jet 3: its bytes as given, ASCII;
// Jet 4 / ACE: UTF-16LE under the creation date's mask); ASCII only. "" removes it.
void setPassword(const fs::path& file, const std::string& password);

// Sets the key field of an ACE file's header, as the Office document encryption of
// Access 2007+ leaves it, with the encryption's version at 0x299 (agile, 4.4).
void markAceEncrypted(const fs::path& file);

}  // namespace protect
