#pragma once
// Index pages (type 0x03 node, 0x04 leaf): a header, a bitmap that marks where each entry
// ends, and the entries, all but the first stored without a prefix they share.
//
// An entry is key bytes + the row's RowId (page 3 bytes big-endian, row 1 byte); a node
// entry adds its child page (4 bytes big-endian). Entries sort by their bytes without the
// child pointer. A node page lists every child but the last, which is only in tail_page.
//
// Header, Jet 3 / Jet 4 offsets: type (0), 0x01 (1), free space (2, u16), owning TDEF page
// (4, u32), prev (8 / 12), next (12 / 16), tail (16 / 20), prefix length (20 u8 / 24 u16),
// node marker (21 / 26); the entry-end bitmap (22 / 27, 226 / 453 bytes) and entries
// (248 / 480) follow. Bit k of the bitmap set: an entry ends k bytes into the entry area.
// The page's whole image is this file's to build (encodeIndexPage) and to patch
// (setPrevPage, setNextPage); nothing else writes index pages.
//
// REQUIRES: page images of the file's page size. GUARANTEES: decode() either returns
// entries that lie inside the page or throws IndexCorrupt naming the page; encode() writes
// a page that decode() reads back equal, or returns false when the entries do not fit.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "jet/Value.h"

namespace jet::index {

class IndexCorrupt : public std::runtime_error {
 public:
  explicit IndexCorrupt(const std::string& what) : std::runtime_error(what) {}
};

constexpr uint8_t kNodePage = 0x03, kLeafPage = 0x04;

struct IndexPageLayout {
  uint32_t pageSize;
  int prev, next, tail;
  int prefixLen, prefixLenSize;  // Jet 3 keeps a one-byte prefix length
  int nodeMarker;                // 0x01 on node pages, 0x00 on leaves
  int mask, maskSize;
  int entries;
  // Most entry bytes a page can hold: limited by the page and by the mask's bits.
  uint32_t capacity() const {
    const uint32_t room = pageSize - entries;
    const uint32_t bits = 8u * maskSize;
    return room < bits ? room : bits;
  }
};
constexpr IndexPageLayout kIndexJet3{2048, 8, 12, 16, 20, 1, 21, 22, 226, 248};
constexpr IndexPageLayout kIndexJet4{4096, 12, 16, 20, 24, 2, 26, 27, 453, 480};
inline const IndexPageLayout& indexLayout(bool jet3) { return jet3 ? kIndexJet3 : kIndexJet4; }

struct IndexEntry {
  Bytes bytes;         // key + RowId (the part that orders entries)
  uint32_t child = 0;  // node entries: the child page

  size_t keySize() const { return bytes.size() - 4; }
  uint32_t rowPage() const {
    const size_t k = keySize();
    return static_cast<uint32_t>(bytes[k]) << 16 | static_cast<uint32_t>(bytes[k + 1]) << 8 |
           bytes[k + 2];
  }
  uint8_t rowNumber() const { return bytes.back(); }
};

// Appends the 4 RowId bytes that follow a key.
void appendRowId(Bytes& entry, uint32_t page, uint8_t row);

struct IndexPage {
  uint8_t type = kLeafPage;
  uint32_t number = 0;
  uint32_t tdefPage = 0;
  uint32_t prev = 0, next = 0, tail = 0;
  std::vector<IndexEntry> entries;

  bool leaf() const { return type == kLeafPage; }
};

IndexPage decodeIndexPage(const uint8_t* page, uint32_t number, const IndexPageLayout& L);

// Stored size of the entries with the prefix encodeIndexPage() would choose.
uint32_t encodedSize(const IndexPage& p, const IndexPageLayout& L);
bool fits(const IndexPage& p, const IndexPageLayout& L);

// Writes the whole page image (ps bytes). As Access does, entries are stored whole unless
// a leaf would overflow; then they share their common prefix. Returns false, writing
// nothing, when they do not fit.
bool encodeIndexPage(const IndexPage& p, uint8_t* out, const IndexPageLayout& L);

// Sibling links changed in place: the rest of the page stays as it is.
void setPrevPage(uint8_t* page, const IndexPageLayout& L, uint32_t prev);
void setNextPage(uint8_t* page, const IndexPageLayout& L, uint32_t next);

// Byte order of entries: the key and RowId bytes, unsigned, shorter first on a tie.
inline int compareEntries(const Bytes& a, const Bytes& b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

}  // namespace jet::index
