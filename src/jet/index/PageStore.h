#pragma once
// Where the index code reads and writes its pages: one interface, and the stores that
// implement it. PagerPages reads through the pager and changes nothing; the write
// transaction's store (TransactionPages, with the database) extends it; MemoryPages holds
// a file's pages in memory, for work on an image that never reaches a file.
//
// REQUIRES (of every store): a pointer page() or modify() returned stays valid until the
// next call on the store.
#include <cstdint>
#include <vector>

#include "jet/Pager.h"

namespace jet::index {

class PageStore {
 public:
  virtual ~PageStore() = default;
  // Page n's bytes.
  virtual const uint8_t* page(uint32_t n) = 0;
  // Page n's bytes for changing (the write transaction's image, journalled at commit).
  virtual uint8_t* modify(uint32_t n) = 0;
  // A page for the index whose usage map is at `usageMap` (a RowId as stored in the table
  // definition): marked in use in the global map and added to that usage map. Its content
  // is for the caller to write.
  virtual uint32_t allocate(uint32_t usageMap) = 0;
  // Gives a page of the index back: out of its usage map, free in the global map.
  virtual void release(uint32_t page, uint32_t usageMap) = 0;
};

// The pages as the pager sees them, each one pinned until the next call. Reading only:
// the writes fail as std::logic_error.
class PagerPages : public PageStore {
 public:
  explicit PagerPages(Pager& pager) : pager_(pager) {}
  const uint8_t* page(uint32_t n) override {
    held_ = pager_.get(n);
    return held_.data();
  }
  uint8_t* modify(uint32_t n) override;
  uint32_t allocate(uint32_t usageMap) override;
  void release(uint32_t page, uint32_t usageMap) override;

 protected:
  Pager& pager_;
  PageRef held_;  // the page last read
};

// A file's pages in memory, changed in place: page 0 and pages past the end fail as
// IndexCorrupt, allocate() appends a page of zeros, and both allocate() and release()
// are remembered with the usage map they name.
class MemoryPages : public PageStore {
 public:
  // `bytes`: whole pages of pageSize bytes.
  MemoryPages(std::vector<uint8_t> bytes, uint32_t pageSize) : bytes_(std::move(bytes)), ps_(pageSize) {}

  const uint8_t* page(uint32_t n) override { return at(n); }
  uint8_t* modify(uint32_t n) override { return at(n); }
  uint32_t allocate(uint32_t usageMap) override;
  void release(uint32_t page, uint32_t usageMap) override { released.push_back({page, usageMap}); }

  uint32_t count() const { return static_cast<uint32_t>(bytes_.size() / ps_); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

  struct Use {
    uint32_t page;
    uint32_t usageMap;
  };
  std::vector<Use> allocated, released;  // in the order asked

 private:
  uint8_t* at(uint32_t n);
  std::vector<uint8_t> bytes_;
  uint32_t ps_;
};

}  // namespace jet::index
