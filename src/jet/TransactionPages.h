#pragma once
// The index writer's pages inside the engine's write transaction: reads see the
// transaction's images, changes go to its journalled images, and index pages are taken
// and given back through the row writer's page maps. It joins index/ and write/, which
// never include each other, so it lives with the database that owns both.
//
// REQUIRES: a PageFile writing through the Pager (every read goes through the pager; a
// page read stays pinned until the next read) and the RowWriter over it; all outlive this.
#include <cstdint>
#include <vector>

#include "jet/Pager.h"
#include "jet/index/IndexWriter.h"
#include "jet/journal/PageFile.h"
#include "jet/write/RowWriter.h"

namespace jet::index {

class TransactionPages : public PagerPages {
 public:
  TransactionPages(journal::PageFile& file, Pager& pager, write::RowWriter& writer)
      : PagerPages(pager), file_(file), writer_(writer) {}

  uint8_t* modify(uint32_t n) override {
    held_.reset();  // a page pinned while it changes would be copied first
    return file_.modify(n);
  }
  uint32_t allocate(uint32_t usageMap) override {
    return writer_.allocateIndexPage(format::RowPointer::decode(usageMap));
  }
  void release(uint32_t page, uint32_t usageMap) override {
    writer_.releasePage(format::RowPointer::decode(usageMap), page);
  }

 private:
  journal::PageFile& file_;
  write::RowWriter& writer_;
};

}  // namespace jet::index
