#include "jet/format/HeaderPage.h"

#include <cstring>
#include <vector>

#include "jet/Error.h"
#include "jet/Secret.h"
#include "jet/Bytes.h"
#include "jet/format/Text.h"

namespace jet::format {

const uint8_t kHeaderKeystream[128] = {
    0xB5, 0x6F, 0x03, 0x62, 0x61, 0x08, 0xC2, 0x55, 0xEB, 0xA9, 0x67, 0x72, 0x43, 0x3F, 0x00, 0x9C,
    0x7A, 0x9F, 0x90, 0xFF, 0x80, 0x9A, 0x31, 0xC5, 0x79, 0xBA, 0xED, 0x30, 0xBC, 0xDF, 0xCC, 0x9D,
    0x63, 0xD9, 0xE4, 0xC3, 0x7B, 0x42, 0xFB, 0x8A, 0xBC, 0x4E, 0x86, 0xFB, 0xEC, 0x37, 0x5D, 0x44,
    0x9C, 0xFA, 0xC6, 0x5E, 0x28, 0xE6, 0x13, 0xB6, 0x8A, 0x60, 0x54, 0x94, 0x7B, 0x36, 0xF5, 0x72,
    0xDF, 0xB1, 0x77, 0xF4, 0x13, 0x43, 0xCF, 0xAF, 0xB1, 0x33, 0x34, 0x61, 0x79, 0x5B, 0x92, 0xB5,
    0x7C, 0x2A, 0x05, 0xF1, 0x7C, 0x99, 0x01, 0x1B, 0x98, 0xFD, 0x12, 0x4F, 0x4A, 0x94, 0x6C, 0x3E,
    0x60, 0x26, 0x5F, 0x95, 0xF8, 0xD0, 0x89, 0x24, 0x85, 0x67, 0xC6, 0x1F, 0x27, 0x44, 0xD2, 0xEE,
    0xCF, 0x65, 0xED, 0xFF, 0x07, 0xC7, 0x46, 0xA1, 0x78, 0x16, 0x0C, 0xED, 0xE9, 0x2D, 0x62, 0xD4,
};

void unmaskHeader(uint8_t* page, size_t size, const Version& v) {
  const HeaderOffsets& o = v.jet3() ? kHeaderJet3 : kHeaderJet4;
  for (int i = 0; i < o.maskLength && o.maskStart + static_cast<size_t>(i) < size; ++i)
    page[o.maskStart + i] ^= kHeaderKeystream[i];
}

namespace {

// The password area of an unmasked page 0, with Jet 4's date mask taken off: the password
// NUL-padded (o.passwordLength bytes into `out`).
void passwordArea(const uint8_t* page, const Header& h, uint8_t* out) {
  const HeaderOffsets& o = h.version.jet3() ? kHeaderJet3 : kHeaderJet4;
  uint8_t dateMask[4] = {0, 0, 0, 0};
  if (!h.version.jet3()) {
    const double d = h.creationDate;
    const int32_t day = (d > -2147483648.0 && d < 2147483648.0) ? static_cast<int32_t>(d) : 0;
    put32le(dateMask, static_cast<uint32_t>(day));
  }
  for (int i = 0; i < o.passwordLength; ++i) out[i] = page[o.password + i] ^ dateMask[i % 4];
}

}  // namespace

Header decodeHeader(const uint8_t* raw, size_t size, uint64_t fileSize, const std::string& path) {
  // Too short to hold even the engine name and version: not something we recognise.
  if (size < 0x20) {
    if (size == 0) throw damagedAt(path, "文件为空");
    throw unrecognizedFormat(path);
  }
  if (raw[0] != 0x00 || raw[1] != 0x01 || raw[2] != 0x00 || raw[3] != 0x00)
    throw unrecognizedFormat(path);
  const std::string name(reinterpret_cast<const char*>(raw + 4), 15);
  if (name == "MSISAM Database") throw unsupportedFormat(path, "Microsoft Money 数据文件");
  const bool jetName = name == "Standard Jet DB";
  const bool aceName = name == "Standard ACE DB";
  if (!jetName && !aceName) throw unrecognizedFormat(path);

  Header h;
  const int vb = raw[0x14];
  h.version.versionByte = vb;
  switch (vb) {
    case 0: h.version.format = FileFormat::Jet3; break;
    case 1: h.version.format = FileFormat::Jet4; break;
    case 2: case 3: case 4: case 5: case 6: h.version.format = FileFormat::Ace; break;
    default:
      throw unsupportedFormat(path, "未知的版本号 " + std::to_string(vb));
  }
  if (h.version.format == FileFormat::Ace ? !aceName : !jetName) throw unrecognizedFormat(path);

  const uint32_t ps = h.version.pageSize();
  if (size < ps || fileSize < ps)
    throw damagedAt(path, "文件被截断：不足一个 " + std::to_string(ps) + " 字节的页");
  if (fileSize % ps != 0)
    throw damagedAt(path, "文件长度 " + std::to_string(fileSize) + " 不是页大小 " +
                              std::to_string(ps) + " 的整数倍，文件可能被截断");
  if (fileSize / ps < 3) throw damagedAt(path, "文件被截断：缺少系统表");

  std::vector<uint8_t> page(raw, raw + ps);
  unmaskHeader(page.data(), page.size(), h.version);
  const HeaderOffsets& o = h.version.jet3() ? kHeaderJet3 : kHeaderJet4;
  h.codePage = le16(&page[o.codePage]);
  h.sortOrder = le16(&page[o.sortOrder]);
  h.encodingKey = le32(&page[o.encodingKey]);
  if (o.collationVersion >= 0) h.collationVersion = page[o.collationVersion];
  if (o.creationDate >= 0) h.creationDate = leDouble(&page[o.creationDate]);

  // An ACE file with a password is encrypted with the Office scheme as a whole; the key
  // field only says so. Nothing here can read it, whatever password is given.
  if (h.version.format == FileFormat::Ace && h.encodingKey != 0) {
    wipe(page.data(), page.size());
    throw encryptedAce();
  }
  uint8_t area[40];
  passwordArea(page.data(), h, area);
  for (int i = 0; i < o.passwordLength; ++i) h.hasPassword = h.hasPassword || area[i] != 0;
  wipe(area, sizeof area);
  wipe(page.data(), page.size());
  return h;
}

bool passwordMatches(const uint8_t* raw, const Header& h, std::string_view typed, const TextCodec& text) {
  if (!h.hasPassword) return true;
  const HeaderOffsets& o = h.version.jet3() ? kHeaderJet3 : kHeaderJet4;
  uint8_t page[0x100];
  std::memcpy(page, raw, sizeof page);
  unmaskHeader(page, sizeof page, h.version);
  uint8_t area[40] = {};
  passwordArea(page, h, area);
  wipe(page, sizeof page);
  // The stored password as UTF-8, in a buffer large enough never to grow.
  std::string stored;
  stored.reserve(4 * sizeof area);
  size_t n = 0;
  if (h.version.jet3()) {
    while (n < size_t(o.passwordLength) && area[n] != 0) ++n;
    text.decode(area, n, stored);
  } else {
    while (n + 1 < size_t(o.passwordLength) && (area[n] != 0 || area[n + 1] != 0)) n += 2;
    TextCodec::decodeUcs2(area, n, stored);
  }
  const bool same = stored == typed;
  wipe(area, sizeof area);
  wipe(stored.data(), stored.capacity());
  return same;
}

}  // namespace jet::format
