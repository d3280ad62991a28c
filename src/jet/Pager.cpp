#include "jet/Pager.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>
#include <cstring>
#include <string>

#include "jet/format/Bytes.h"
#include "jet/journal/PageFile.h"

namespace jet {
namespace {
// The largest file a Jet 4 / ACE engine writes is 2 GB (Jet 3: 1 GB).
constexpr uint64_t kMaxFileBytes = uint64_t{2} << 30;
// Pages read by one call: few for a page on its own (a lookup), doubling while a walk goes
// on in file order (a scan), so a large file costs few system calls and page faults.
constexpr uint32_t kFirstRun = 4;
constexpr uint32_t kLongestRun = 1024;
}  // namespace

Pager::Pager(os::File& file, const format::Version& version)
    : file_(file), version_(version), pageSize_(version.pageSize()) {
  grew(0);
}

void Pager::setRolledBack(journal::RolledBack rolledBack) {
  pageCount_ = static_cast<uint32_t>(std::min(rolledBack.length, kMaxFileBytes) / pageSize_);
  for (auto& [n, image] : rolledBack.pages)
    if (n < pageCount_ && image.size() == pageSize_) {
      if (pages_.size() <= n) pages_.resize(size_t(n) + 1, nullptr);
      pages_[n] = image.data();
    }
  rolledBack_ = std::move(rolledBack);
}

bool Pager::grew(uint32_t n) {
  if (rolledBack_) return n < pageCount_;  // nobody writes while the journal is hot
  pageCount_ = static_cast<uint32_t>(std::min(file_.size(), kMaxFileBytes) / pageSize_);
  return n < pageCount_;
}

void Pager::outOfRange(uint32_t n) const {
  format::corrupt("页号 " + std::to_string(n) + " 超出文件范围（文件共 " +
                  std::to_string(pageCount_) + " 页）");
}

Pager::Block::~Block() {
  if (data != nullptr) ::munmap(data, length);
}

const uint8_t* Pager::readPage(uint32_t n) {
  if (n >= pageCount_ && !grew(n)) outOfRange(n);
  if (pages_.size() < pageCount_) pages_.resize(pageCount_, nullptr);
  run_ = n == nextInRun_ && run_ != 0 ? std::min(run_ * 2, kLongestRun) : kFirstRun;
  uint32_t run = 1;
  while (run < run_ && n + run < pageCount_ && pages_[n + run] == nullptr) ++run;
  // Fresh anonymous memory, its pages made present in one go rather than fault by fault.
  const size_t bytes = size_t(run) * pageSize_;
  void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  // Large runs in huge pages: a scan of a large file costs a few faults, not one a page.
#ifdef MADV_HUGEPAGE
  ::madvise(p, bytes, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
  ::madvise(p, bytes, MADV_POPULATE_WRITE);
#endif
  Block block(p, bytes);
  uint8_t* data = static_cast<uint8_t*>(p);
  const size_t got = file_.readAt(uint64_t(n) * pageSize_, data, bytes);
  if (got < pageSize_) format::corrupt("第 " + std::to_string(n) + " 页读取不完整，文件可能被截断");
  const uint32_t whole = static_cast<uint32_t>(got / pageSize_);
  for (uint32_t i = 0; i < whole; ++i) pages_[n + i] = data + size_t(i) * pageSize_;
  blocks_.push_back(std::move(block));
  nextInRun_ = n + whole;
  return pages_[n];
}

uint32_t Pager::pageCount() const { return overlay_ != nullptr ? overlay_->pageCount() : pageCount_; }

const uint8_t* Pager::overlayPage(uint32_t n) const {
  return n < overlay_->pageCount() ? overlay_->image(n) : nullptr;
}

namespace {
// The pages of a run that a single read from the file can fill: [from, to) holds no page
// that another source supplies.
uint32_t plainRunEnd(const journal::PageFile* overlay, const journal::RolledBack* rolledBack,
                     uint32_t from, uint32_t to, uint32_t rolledBackPages) {
  for (uint32_t n = from; n < to; ++n) {
    if (overlay != nullptr && n < overlay->pageCount() && overlay->image(n) != nullptr) return n;
    if (rolledBack != nullptr && n < rolledBackPages) {
      auto it = rolledBack->pages.find(n);
      if (it != rolledBack->pages.end() && it->second.size() == rolledBack->pageSize) return n;
    }
  }
  return to;
}
}  // namespace

void Pager::readRun(uint32_t first, uint32_t count, uint8_t* out) const {
  const journal::RolledBack* rb = rolledBack_ ? &*rolledBack_ : nullptr;
  const uint64_t end = uint64_t(first) + count;
  uint32_t filePages = pageCount_;
  uint32_t n = first;
  while (n < end) {
    uint8_t* dst = out + size_t(n - first) * pageSize_;
    if (overlay_ != nullptr)
      if (const uint8_t* p = overlayPage(n)) {
        std::memcpy(dst, p, pageSize_);
        ++n;
        continue;
      }
    if (rb != nullptr && n < pageCount_) {
      auto it = rb->pages.find(n);
      if (it != rb->pages.end() && it->second.size() == pageSize_) {
        std::memcpy(dst, it->second.data(), pageSize_);
        ++n;
        continue;
      }
    }
    const uint32_t stop = plainRunEnd(overlay_, rb, n + 1, static_cast<uint32_t>(end), pageCount_);
    if (stop > filePages && rb == nullptr)  // the file may have grown since the last look
      filePages = static_cast<uint32_t>(std::min(file_.size(), kMaxFileBytes) / pageSize_);
    if (n >= filePages)
      format::corrupt("页号 " + std::to_string(n) + " 超出文件范围（文件共 " + std::to_string(filePages) + " 页）");
    const uint32_t last = std::min(stop, filePages);
    const size_t want = size_t(last - n) * pageSize_;
    const size_t got = file_.readAt(uint64_t(n) * pageSize_, dst, want);
    if (got < want) {
      const uint32_t short_ = n + static_cast<uint32_t>(got / pageSize_);
      format::corrupt("第 " + std::to_string(short_) + " 页读取不完整，文件可能被截断");
    }
    n = last;
  }
}

}  // namespace jet
