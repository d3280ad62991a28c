#include "jet/index/IndexWriter.h"

#include <algorithm>

namespace jet::index {

namespace {

constexpr size_t kMaxDepth = 16;

bool entryLess(const IndexEntry& e, const Bytes& b) { return compareEntries(e.bytes, b) < 0; }

}  // namespace

// One insert, remove or lookup. When it fails part-way its page changes never reach the
// store, so every cached page it may have changed is dropped.
class IndexWriter::Operation {
 public:
  explicit Operation(IndexWriter& w) : w_(w) {}
  ~Operation() {
    if (!done_) w_.cache_.clear();
    w_.checked_.clear();
    w_.dirty_.clear();
    if (w_.cache_.size() > kCacheLimit) w_.cache_.clear();
  }
  void done() {
    w_.flush();
    done_ = true;
  }

 private:
  static constexpr size_t kCacheLimit = 4096;
  IndexWriter& w_;
  bool done_ = false;
};

IndexPage& IndexWriter::load(uint32_t n) {
  auto it = cache_.find(n);
  if (it != cache_.end()) {
    if (checked_.count(n)) return it->second.page;
    const uint8_t* now = store_.page(n);
    if (it->second.image.size() == L_.pageSize &&
        std::equal(it->second.image.begin(), it->second.image.end(), now)) {
      checked_.insert(n);
      return it->second.page;
    }
    cache_.erase(it);
  }
  const uint8_t* raw = store_.page(n);
  Cached c{decodeIndexPage(raw, n, L_), std::vector<uint8_t>(raw, raw + L_.pageSize)};
  checked_.insert(n);
  return cache_.insert_or_assign(n, std::move(c)).first->second.page;
}

IndexPage& IndexWriter::adopt(IndexPage p) {
  const uint32_t n = p.number;
  checked_.insert(n);
  dirty_.insert(n);
  return cache_.insert_or_assign(n, Cached{std::move(p), {}}).first->second.page;
}

void IndexWriter::forget(uint32_t n) {
  cache_.erase(n);
  checked_.erase(n);
  dirty_.erase(n);
}

void IndexWriter::store(const IndexPage& p) { dirty_.insert(p.number); }

void IndexWriter::flush() {
  for (uint32_t n : dirty_) {
    Cached& c = cache_.at(n);
    // Encode into the cached image first: a page that cannot hold its entries is a fault
    // of ours and must not reach the transaction half-written.
    c.image.assign(L_.pageSize, 0);
    if (!encodeIndexPage(c.page, c.image.data(), L_))
      throw IndexCorrupt("第 " + std::to_string(n) + " 页（索引页）：条目超出页面容量");
  }
  for (uint32_t n : dirty_) {
    const Cached& c = cache_.at(n);
    std::copy(c.image.begin(), c.image.end(), store_.modify(n));
  }
}

void IndexWriter::linkNext(uint32_t page, uint32_t next) {
  if (page == 0) return;
  // Patch the link in place; a cached copy is refreshed from the image on its next use.
  setNextPage(store_.modify(page), L_, next);
  if (cache_.count(page) && checked_.count(page)) {
    IndexPage& p = cache_.at(page).page;
    p.next = next;
    store(p);
  }
}

void IndexWriter::linkPrev(uint32_t page, uint32_t prev) {
  if (page == 0) return;
  setPrevPage(store_.modify(page), L_, prev);
  if (cache_.count(page) && checked_.count(page)) {
    IndexPage& p = cache_.at(page).page;
    p.prev = prev;
    store(p);
  }
}

std::vector<IndexWriter::Level> IndexWriter::pathTo(const Bytes& entry) {
  std::vector<Level> path;
  uint32_t n = ix_.root;
  for (;;) {
    if (path.size() > kMaxDepth)
      throw IndexCorrupt("第 " + std::to_string(ix_.root) + " 页（索引页）：索引树层数过多");
    const IndexPage& p = load(n);
    if (p.leaf()) {
      path.push_back({n, 0});
      return path;
    }
    auto it = std::lower_bound(p.entries.begin(), p.entries.end(), entry, entryLess);
    size_t idx = static_cast<size_t>(it - p.entries.begin());
    uint32_t child = it != p.entries.end() ? it->child : p.tail;
    if (child == 0) {
      // A node without a tail: entries past its last child's greatest still belong there.
      if (p.entries.empty())
        throw IndexCorrupt("第 " + std::to_string(n) + " 页（索引页）：中间页没有子页");
      idx = p.entries.size() - 1;
      child = p.entries.back().child;
    }
    path.push_back({n, idx});
    n = child;
  }
}

Bytes IndexWriter::subtreeMax(uint32_t page) {
  for (size_t depth = 0; depth <= kMaxDepth; ++depth) {
    const IndexPage& p = load(page);
    if (p.leaf()) {
      if (p.entries.empty()) break;
      return p.entries.back().bytes;
    }
    page = p.tail != 0 ? p.tail : (p.entries.empty() ? 0 : p.entries.back().child);
    if (page == 0) break;
  }
  throw IndexCorrupt("第 " + std::to_string(page) + " 页（索引页）：子树没有条目");
}

// The page at `level` now ends in `max`: the parent entry that names it must say so, and
// so on upwards while the changed page is its parent's greatest child.
void IndexWriter::propagateMax(std::vector<Level>& path, size_t level, const Bytes& max) {
  while (level > 0) {
    --level;
    IndexPage& q = load(path[level].page);
    const size_t c = path[level].childIndex;
    if (c < q.entries.size()) {
      q.entries[c].bytes = max;
      store(q);
      if (!(c + 1 == q.entries.size() && q.tail == 0)) return;
    }
    // The tail child (or the last child of a node without a tail) sets this node's
    // greatest entry too.
  }
}

// A node with two or more children keeps the last in tail_page; one child is an entry.
void IndexWriter::normaliseTail(IndexPage& node, const Bytes* tailMax) {
  if (node.tail == 0 && node.entries.size() >= 2) {
    node.tail = node.entries.back().child;
    node.entries.pop_back();
  } else if (node.tail != 0 && node.entries.empty() && tailMax != nullptr) {
    node.entries.push_back(IndexEntry{*tailMax, node.tail});
    node.tail = 0;
  }
}

void IndexWriter::splitIfNeeded(std::vector<Level>& path, size_t level) {
  IndexPage& x = load(path[level].page);
  if (fits(x, L_)) return;

  if (level == 0) {
    // The root keeps its number: its content moves to a new page below it.
    const uint32_t c = store_.allocate(ix_.usageMap);
    ++allocated_;
    IndexPage child = x;
    child.number = c;
    child.prev = child.next = 0;
    adopt(std::move(child));
    const Bytes cmax = subtreeMax(c);
    IndexPage& root = load(path[0].page);
    root.type = kNodePage;
    root.entries = {IndexEntry{cmax, c}};
    root.tail = 0;
    root.prev = root.next = 0;
    store(root);
    path.insert(path.begin() + 1, Level{c, path[0].childIndex});
    path[0].childIndex = 0;
    splitIfNeeded(path, 1);
    return;
  }

  const size_t n = x.entries.size();
  if (n < 2) throw IndexCorrupt("索引键过长，一页放不下");
  // Appending past the end of the last leaf (ascending keys, new autonumbers) leaves the
  // full page full and starts a new one, as Access does; elsewhere split the bytes evenly.
  size_t h;
  const bool append = x.leaf() && x.next == 0 && pendingAppend_;
  if (append) {
    h = n - 1;
  } else {
    size_t total = 0;
    for (const IndexEntry& e : x.entries) total += e.bytes.size();
    size_t acc = 0;
    h = 0;
    while (h < n - 1 && acc < total / 2) acc += x.entries[h++].bytes.size();
    h = std::max<size_t>(h, 1);
  }

  const uint32_t nPage = store_.allocate(ix_.usageMap);
  ++allocated_;
  IndexPage left;
  left.type = x.type;
  left.number = nPage;
  left.tdefPage = x.tdefPage;
  left.entries.assign(x.entries.begin(), x.entries.begin() + static_cast<long>(h));
  Bytes leftMax;
  if (left.leaf()) {
    leftMax = left.entries.back().bytes;
  } else {
    // The left node's last child becomes its tail.
    leftMax = left.entries.back().bytes;
    left.tail = left.entries.back().child;
    left.entries.pop_back();
    normaliseTail(left, &leftMax);
  }
  IndexPage& right = load(path[level].page);
  right.entries.erase(right.entries.begin(), right.entries.begin() + static_cast<long>(h));
  left.prev = right.prev;
  left.next = right.number;
  const uint32_t oldPrev = right.prev;
  right.prev = nPage;
  store(right);
  adopt(std::move(left));
  linkNext(oldPrev, nPage);

  IndexPage& q = load(path[level - 1].page);
  const size_t c = path[level - 1].childIndex;
  q.entries.insert(q.entries.begin() + static_cast<long>(std::min(c, q.entries.size())),
                   IndexEntry{leftMax, nPage});
  normaliseTail(q, nullptr);
  store(q);
  if (!fits(load(nPage), L_) || !fits(load(path[level].page), L_))
    throw IndexCorrupt("索引键过长，一页放不下");
  splitIfNeeded(path, level - 1);
}

void IndexWriter::removeChild(std::vector<Level>& path, size_t level) {
  const IndexPage& p = load(path[level].page);
  const uint32_t pn = p.number, prev = p.prev, next = p.next;
  linkNext(prev, next);
  linkPrev(next, prev);
  forget(pn);
  store_.release(pn, ix_.usageMap);
  ++released_;

  IndexPage& q = load(path[level - 1].page);
  const size_t c = path[level - 1].childIndex;
  std::optional<Bytes> newMax;
  if (c < q.entries.size()) {
    q.entries.erase(q.entries.begin() + static_cast<long>(c));
    if (q.tail == 0 && c == q.entries.size() && !q.entries.empty()) newMax = q.entries.back().bytes;
  } else if (!q.entries.empty()) {
    // The tail left: the previous child takes its place.
    newMax = q.entries.back().bytes;
    q.tail = q.entries.back().child;
    q.entries.pop_back();
  } else {
    q.tail = 0;
  }
  store(q);

  if (q.entries.empty() && q.tail == 0) {
    if (level - 1 == 0) {
      q.type = kLeafPage;  // an empty root stays, as an empty leaf
      q.prev = q.next = 0;
      return;
    }
    removeChild(path, level - 1);
    return;
  }
  if (q.entries.empty() && q.tail != 0) {
    const Bytes tailMax = subtreeMax(q.tail);
    IndexPage& again = load(path[level - 1].page);
    normaliseTail(again, &tailMax);
    store(again);
  }
  if (newMax) propagateMax(path, level - 1, *newMax);
}

void IndexWriter::insert(const Bytes& entry) {
  Operation op(*this);
  std::vector<Level> path = pathTo(entry);
  IndexPage& leaf = load(path.back().page);
  auto it = std::lower_bound(leaf.entries.begin(), leaf.entries.end(), entry, entryLess);
  if (it != leaf.entries.end() && it->bytes == entry)
    throw IndexCorrupt("第 " + std::to_string(leaf.number) + " 页（索引页）：条目已存在");
  const bool last = it == leaf.entries.end();
  leaf.entries.insert(it, IndexEntry{entry, 0});
  store(leaf);
  if (last) propagateMax(path, path.size() - 1, entry);
  pendingAppend_ = last;
  splitIfNeeded(path, path.size() - 1);
  pendingAppend_ = false;
  op.done();
}

void IndexWriter::remove(const Bytes& entry) {
  Operation op(*this);
  std::vector<Level> path = pathTo(entry);
  IndexPage& leaf = load(path.back().page);
  auto it = std::lower_bound(leaf.entries.begin(), leaf.entries.end(), entry, entryLess);
  if (it == leaf.entries.end() || it->bytes != entry)
    throw IndexCorrupt("第 " + std::to_string(leaf.number) + " 页（索引页）：找不到要删除的条目");
  const bool wasLast = it + 1 == leaf.entries.end();
  leaf.entries.erase(it);
  store(leaf);
  if (leaf.entries.empty()) {
    if (path.size() > 1) removeChild(path, path.size() - 1);
  } else if (wasLast) {
    const Bytes max = leaf.entries.back().bytes;
    propagateMax(path, path.size() - 1, max);
  }
  op.done();
}

bool IndexWriter::contains(const Bytes& entry) {
  Operation op(*this);
  std::vector<Level> path = pathTo(entry);
  const IndexPage& leaf = load(path.back().page);
  auto it = std::lower_bound(leaf.entries.begin(), leaf.entries.end(), entry, entryLess);
  const bool found = it != leaf.entries.end() && it->bytes == entry;
  op.done();
  return found;
}

std::optional<uint32_t> IndexWriter::findKey(const Bytes& key) {
  Operation op(*this);
  Bytes probe = key;
  probe.insert(probe.end(), 4, 0x00);
  std::vector<Level> path = pathTo(probe);
  std::optional<uint32_t> found;
  uint32_t n = path.back().page;
  for (int hops = 0; n != 0 && hops < 2; ++hops) {
    const IndexPage& leaf = load(n);
    auto it = std::lower_bound(leaf.entries.begin(), leaf.entries.end(), probe, entryLess);
    if (it != leaf.entries.end()) {
      if (it->keySize() == key.size() && std::equal(key.begin(), key.end(), it->bytes.begin()))
        found = it->rowPage() << 8 | it->rowNumber();
      break;
    }
    n = leaf.next;  // the key's first entry may open the next leaf
  }
  op.done();
  return found;
}

}  // namespace jet::index
