#pragma once
// The index writer's pages inside the engine's write transaction: reads see the
// transaction's images, changes go to its journalled images, and index pages are taken
// and given back through the row writer's page maps. It joins index/ and write/, which
// never include each other, so it lives with the database that owns both.
//
// REQUIRES: the Pager, writing (a page read stays pinned until the next read), and the
// RowWriter over it; both outlive this.
#include <cstdint>
#include <vector>

#include "jet/Pager.h"
#include "jet/index/IndexWriter.h"
#include "jet/write/RowWriter.h"

namespace jet::index {

class TransactionPages : public PagerPages {
 public:
  TransactionPages(Pager& pager, write::RowWriter& writer) : PagerPages(pager), writer_(writer) {}

  uint8_t* modify(uint32_t n) override {
    held_.reset();  // a page pinned while it changes would be copied first
    return pager_.modify(n);
  }
  uint32_t allocate(uint32_t usageMap) override {
    return writer_.allocateIndexPage(format::RowPointer::decode(usageMap));
  }
  void release(uint32_t page, uint32_t usageMap) override {
    writer_.releasePage(format::RowPointer::decode(usageMap), page);
  }

 private:
  write::RowWriter& writer_;
};

}  // namespace jet::index
