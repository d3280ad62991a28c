#include "jet/index/IndexPage.h"

#include <algorithm>
#include <cstring>

namespace jet::index {

namespace {

uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

[[noreturn]] void bad(uint32_t page, const std::string& what) {
  throw IndexCorrupt("第 " + std::to_string(page) + " 页（索引页）：" + what);
}

size_t commonPrefix(const Bytes& a, const Bytes& b, size_t limit) {
  size_t n = std::min({a.size(), b.size(), limit});
  size_t i = 0;
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

size_t storedSize(const IndexPage& p, size_t prefix) {
  const size_t extra = p.leaf() ? 0 : 4;
  size_t total = 0;
  for (size_t i = 0; i < p.entries.size(); ++i)
    total += p.entries[i].bytes.size() + extra - (i == 0 ? 0 : prefix);
  return total;
}

// Like Access: entries are stored whole unless a leaf would overflow; then the leaf shares
// the longest prefix common to all its entries, never a whole entry (each entry keeps at
// least one stored byte so its end can be marked). Returns the prefix and sets the size.
size_t prefixFor(const IndexPage& p, const IndexPageLayout& L, size_t& size) {
  size = storedSize(p, 0);
  if (!p.leaf() || p.entries.size() < 2 || size <= L.capacity()) return 0;
  // Sorted entries share what the first and the last share; every entry is still checked,
  // so a page whose entries are out of order can never lose bytes to a wrong prefix.
  const Bytes& first = p.entries.front().bytes;
  size_t n = commonPrefix(first, p.entries.back().bytes, first.size());
  for (const IndexEntry& e : p.entries) {
    if (n >= e.bytes.size()) n = e.bytes.size() - 1;
    if (n > 0 && std::memcmp(e.bytes.data(), first.data(), n) != 0)
      n = commonPrefix(first, e.bytes, n);
  }
  size -= n * (p.entries.size() - 1);
  return n;
}

}  // namespace

void appendRowId(Bytes& entry, uint32_t page, uint8_t row) {
  entry.push_back(static_cast<uint8_t>(page >> 16));
  entry.push_back(static_cast<uint8_t>(page >> 8));
  entry.push_back(static_cast<uint8_t>(page));
  entry.push_back(row);
}

IndexPage decodeIndexPage(const uint8_t* page, uint32_t number, const IndexPageLayout& L) {
  IndexPage p;
  p.type = page[0];
  p.number = number;
  if (p.type != kNodePage && p.type != kLeafPage) bad(number, "不是索引页");
  const bool node = p.type == kNodePage;
  p.tdefPage = le32(page + 4);
  p.prev = le32(page + L.prev);
  p.next = le32(page + L.next);
  p.tail = le32(page + L.tail);
  const size_t prefixLen =
      L.prefixLenSize == 1 ? page[L.prefixLen] : (page[L.prefixLen] | page[L.prefixLen + 1] << 8);
  const size_t minEntry = node ? 8 : 5;

  const uint8_t* mask = page + L.mask;
  const uint8_t* data = page + L.entries;
  const uint32_t limit = L.capacity();
  Bytes prefix;
  uint32_t pos = 0;
  for (uint32_t k = 0; k < 8u * L.maskSize; ++k) {
    if (!(mask[k / 8] & (1u << (k % 8)))) continue;
    if (k > limit) bad(number, "条目超出页面");
    Bytes full;
    if (!p.entries.empty()) full = prefix;
    full.insert(full.end(), data + pos, data + k);
    if (full.size() < minEntry) bad(number, "条目过短");
    if (p.entries.empty()) {
      if (prefixLen > full.size()) bad(number, "前缀长度超过首条目");
      prefix.assign(full.begin(), full.begin() + static_cast<long>(prefixLen));
    }
    IndexEntry e;
    if (node) {
      const size_t n = full.size();
      e.child = static_cast<uint32_t>(full[n - 4]) << 24 | static_cast<uint32_t>(full[n - 3]) << 16 |
                static_cast<uint32_t>(full[n - 2]) << 8 | full[n - 1];
      full.resize(n - 4);
    }
    e.bytes = std::move(full);
    p.entries.push_back(std::move(e));
    pos = k;
  }
  return p;
}

void setPrevPage(uint8_t* page, const IndexPageLayout& L, uint32_t prev) { put32(page + L.prev, prev); }
void setNextPage(uint8_t* page, const IndexPageLayout& L, uint32_t next) { put32(page + L.next, next); }

uint32_t encodedSize(const IndexPage& p, const IndexPageLayout& L) {
  size_t size;
  prefixFor(p, L, size);
  return static_cast<uint32_t>(size);
}

bool fits(const IndexPage& p, const IndexPageLayout& L) { return encodedSize(p, L) <= L.capacity(); }

bool encodeIndexPage(const IndexPage& p, uint8_t* out, const IndexPageLayout& L) {
  size_t size;
  const size_t prefix = prefixFor(p, L, size);
  if (size > L.capacity()) return false;
  const bool node = !p.leaf();
  std::memset(out, 0, L.pageSize);
  out[0] = p.type;
  out[1] = 0x01;
  put32(out + 4, p.tdefPage);
  put32(out + L.prev, p.prev);
  put32(out + L.next, p.next);
  put32(out + L.tail, node ? p.tail : 0);
  out[L.prefixLen] = static_cast<uint8_t>(prefix);
  if (L.prefixLenSize == 2) out[L.prefixLen + 1] = static_cast<uint8_t>(prefix >> 8);
  out[L.nodeMarker] = node ? 0x01 : 0x00;
  uint32_t pos = 0;
  for (size_t i = 0; i < p.entries.size(); ++i) {
    const Bytes& b = p.entries[i].bytes;
    const size_t skip = i == 0 ? 0 : prefix;
    std::memcpy(out + L.entries + pos, b.data() + skip, b.size() - skip);
    pos += static_cast<uint32_t>(b.size() - skip);
    if (node) {
      for (int k = 3; k >= 0; --k) out[L.entries + pos++] = static_cast<uint8_t>(p.entries[i].child >> (8 * k));
    }
    out[L.mask + pos / 8] |= static_cast<uint8_t>(1u << (pos % 8));
  }
  const uint32_t freeSpace = L.pageSize - (L.entries + pos);
  out[2] = static_cast<uint8_t>(freeSpace);
  out[3] = static_cast<uint8_t>(freeSpace >> 8);
  return true;
}

}  // namespace jet::index
