#include "Protected.h"

#include <cstring>
#include <fstream>
#include <stdexcept>

#include "TestFiles.h"
#include "jet/PageCodec.h"
#include "jet/Bytes.h"
#include "jet/format/HeaderPage.h"

namespace protect {
namespace {

using jet::format::Version;

Version versionOf(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 0x800) throw std::runtime_error("not a Jet file");
  Version v;
  v.versionByte = bytes[0x14];
  v.format = bytes[0x14] == 0 ? jet::FileFormat::Jet3 : bytes[0x14] == 1 ? jet::FileFormat::Jet4 : jet::FileFormat::Ace;
  return v;
}

void write(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

// Applies the codec to every page n >= 1 and sets the header's key to `key`.
std::vector<uint8_t> recoded(std::vector<uint8_t> bytes, uint32_t pageKey, uint32_t headerKey) {
  const Version v = versionOf(bytes);
  const size_t ps = v.pageSize();
  const jet::PageCodec codec(pageKey);
  codec.applyRun(1, bytes.data() + ps, bytes.size() / ps - 1, ps);
  jet::format::unmaskHeader(bytes.data(), ps, v);
  jet::format::put32le(&bytes[0x3E], headerKey);
  jet::format::unmaskHeader(bytes.data(), ps, v);
  return bytes;
}

}  // namespace

void encodePages(const fs::path& file, uint32_t key) {
  write(file, recoded(testfiles::fileBytes(file), key, key));
}

std::vector<uint8_t> decodedBytes(const fs::path& file) {
  std::vector<uint8_t> bytes = testfiles::fileBytes(file);
  const Version v = versionOf(bytes);
  std::vector<uint8_t> header(bytes.begin(), bytes.begin() + v.pageSize());
  jet::format::unmaskHeader(header.data(), header.size(), v);
  return recoded(std::move(bytes), jet::format::le32(&header[0x3E]), 0);
}

void setPassword(const fs::path& file, const std::string& password) {
  std::vector<uint8_t> bytes = testfiles::fileBytes(file);
  const Version v = versionOf(bytes);
  jet::format::unmaskHeader(bytes.data(), v.pageSize(), v);
  uint8_t* area = &bytes[0x42];
  if (v.jet3()) {
    std::memset(area, 0, 20);
    std::memcpy(area, password.data(), std::min<size_t>(password.size(), 20));
  } else {
    std::memset(area, 0, 40);
    for (size_t i = 0; i < password.size() && i < 20; ++i) area[2 * i] = static_cast<uint8_t>(password[i]);
    const double created = jet::format::leDouble(&bytes[0x72]);
    uint8_t mask[4];
    jet::format::put32le(mask, static_cast<uint32_t>(static_cast<int32_t>(created)));
    for (int i = 0; i < 40; ++i) area[i] ^= mask[i % 4];
  }
  jet::format::unmaskHeader(bytes.data(), v.pageSize(), v);
  write(file, bytes);
}

void markAceEncrypted(const fs::path& file) {
  std::vector<uint8_t> bytes = testfiles::fileBytes(file);
  const Version v = versionOf(bytes);
  if (v.format != jet::FileFormat::Ace) throw std::runtime_error("not an ACE file");
  jet::format::unmaskHeader(bytes.data(), v.pageSize(), v);
  jet::format::put32le(&bytes[0x3E], 0x5D7C31B2);
  jet::format::unmaskHeader(bytes.data(), v.pageSize(), v);
  const uint8_t info[] = {0x08, 0x00, 0x04, 0x00, 0x04, 0x00, 0x40, 0x00, 0x00, 0x00};
  std::memcpy(&bytes[0x299], info, sizeof info);
  write(file, bytes);
}

}  // namespace protect
