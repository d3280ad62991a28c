#pragma once
// Changing one real index: removing and inserting entries while keeping the tree's shape
// (see IndexTree.h): leaves split in two when they overflow, node pages likewise, and a
// full root moves its content to a new page below it so that its own number never changes.
// A leaf left empty leaves the tree and its page is given back.
//
// Every page goes through the PageStore, which belongs to the caller's write transaction:
// nothing here writes a file, syncs or commits, so a failure part-way is undone by rolling
// the transaction (or its savepoint) back.
//
// REQUIRES: the index's tree satisfies the shape above; one writer per index at a time.
// GUARANTEES: after insert() or remove() returns, the shape holds again and the index
// holds exactly the entries it held, plus or minus the one entry.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "jet/index/IndexTree.h"

namespace jet::index {

struct IndexRef {
  uint32_t root = 0;
  uint32_t tdefPage = 0;
  uint32_t usageMap = 0;  // RowId of the index's page map, as stored in the definition
};

class IndexWriter {
 public:
  IndexWriter(PageStore& store, const IndexPageLayout& L, const IndexRef& index)
      : store_(store), L_(L), ix_(index) {}

  // Adds key + RowId. Throws IndexCorrupt when the entry is already there.
  void insert(const Bytes& entry);
  // Takes key + RowId out. Throws IndexCorrupt when it is not there.
  void remove(const Bytes& entry);
  // True when the index holds exactly this entry (key + RowId).
  bool contains(const Bytes& entry);
  // Some entry whose key is exactly `key` (key bytes without RowId): its RowId as
  // page << 8 | row.
  std::optional<uint32_t> findKey(const Bytes& key);

  // Pages allocated and released so far (for tests and statistics).
  int pagesAllocated() const { return allocated_; }
  int pagesReleased() const { return released_; }

 private:
  struct Level {
    uint32_t page;
    size_t childIndex;  // position of the next level's page among this node's children
  };

  // Decoded pages are kept between operations (an index update touches the same root and
  // nodes every time); each use first checks that the store's image is still the one
  // decoded, so a rolled-back savepoint or another writer can never leave a stale copy.
  struct Cached {
    IndexPage page;
    std::vector<uint8_t> image;  // the page as decoded or last written; empty for new pages
  };

  IndexPage& load(uint32_t n);
  IndexPage& adopt(IndexPage p);
  void store(const IndexPage& p);
  void flush();
  void linkNext(uint32_t page, uint32_t next);
  void linkPrev(uint32_t page, uint32_t prev);
  void propagateMax(std::vector<Level>& path, size_t level, const Bytes& max);
  void splitIfNeeded(std::vector<Level>& path, size_t level);
  void removeChild(std::vector<Level>& path, size_t level);
  Bytes subtreeMax(uint32_t page);
  static void normaliseTail(IndexPage& node, const Bytes* tailMax);
  std::vector<Level> pathTo(const Bytes& entry);
  void forget(uint32_t n);

  class Operation;

  PageStore& store_;
  const IndexPageLayout& L_;
  IndexRef ix_;
  std::map<uint32_t, Cached> cache_;
  std::set<uint32_t> checked_;  // cache entries known current in this operation
  std::set<uint32_t> dirty_;    // pages this operation changed
  int allocated_ = 0, released_ = 0;
  bool pendingAppend_ = false;  // the entry being inserted went past the end of its leaf
};

}  // namespace jet::index
