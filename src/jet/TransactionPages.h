#pragma once
// The index writer's pages inside the engine's write transaction: reads see the
// transaction's images, changes go to its journalled images, and index pages are taken
// and given back through the row writer's page maps. It joins index/ and write/, which
// never include each other, so it lives with the database that owns both.
//
// REQUIRES: a PageFile opened for writing and the RowWriter over it; both outlive this.
#include <cstdint>
#include <vector>

#include "jet/index/IndexWriter.h"
#include "jet/journal/PageFile.h"
#include "jet/write/RowWriter.h"

namespace jet::index {

class TransactionPages : public PageStore {
 public:
  TransactionPages(journal::PageFile& file, write::RowWriter& writer)
      : file_(file), writer_(writer), buffer_(file.pageSize()) {}

  const uint8_t* page(uint32_t n) override {
    if (const uint8_t* p = file_.image(n)) return p;
    file_.read(n, buffer_.data());
    return buffer_.data();
  }
  uint8_t* modify(uint32_t n) override { return file_.modify(n); }
  uint32_t allocate(uint32_t usageMap) override {
    return writer_.allocateIndexPage(format::RowPointer::decode(usageMap));
  }
  void release(uint32_t page, uint32_t usageMap) override {
    writer_.releasePage(format::RowPointer::decode(usageMap), page);
  }

 private:
  journal::PageFile& file_;
  write::RowWriter& writer_;
  std::vector<uint8_t> buffer_;
};

}  // namespace jet::index
