#include "jet/Pager.h"

#include <cstring>
#include <string>

#include "jet/format/Bytes.h"
#include "jet/journal/PageFile.h"

namespace jet {
namespace {
// The largest file a Jet 4 / ACE engine writes is 2 GB (Jet 3: 1 GB); mapping that much
// address space once lets the file grow without moving the view.
constexpr uint64_t kMaxFileBytes = uint64_t{2} << 30;
}  // namespace

Pager::Pager(os::File& file, const format::Version& version)
    : file_(file), version_(version), pageSize_(version.pageSize()) {
  const uint64_t size = file_.size();
  pageCount_ = static_cast<uint32_t>(std::min<uint64_t>(size / pageSize_, kMaxFileBytes / pageSize_));
  map_ = file_.mapReadOnly(std::max(size, kMaxFileBytes));
}

bool Pager::grew(uint32_t n) {
  const uint64_t size = file_.size();
  const uint64_t limit = map_ ? map_->length() : kMaxFileBytes;
  pageCount_ = static_cast<uint32_t>(std::min(size, limit) / pageSize_);
  return n < pageCount_;
}

void Pager::refresh() {
  grew(0);
  cache_.clear();
}

void Pager::outOfRange(uint32_t n) const {
  format::corrupt("页号 " + std::to_string(n) + " 超出文件范围（文件共 " +
                  std::to_string(pageCount_) + " 页）");
}

const uint8_t* Pager::readPage(uint32_t n) {
  auto it = cache_.find(n);
  if (it != cache_.end()) return it->second.get();
  auto buf = std::make_unique<uint8_t[]>(pageSize_);
  const size_t got = file_.readAt(static_cast<uint64_t>(n) * pageSize_, buf.get(), pageSize_);
  if (got != pageSize_) {
    format::corrupt("第 " + std::to_string(n) + " 页读取不完整，文件可能被截断");
  }
  const uint8_t* p = buf.get();
  cache_.emplace(n, std::move(buf));
  return p;
}

uint32_t Pager::pageCount() const { return overlay_ != nullptr ? overlay_->pageCount() : pageCount_; }

const uint8_t* Pager::overlayPage(uint32_t n) const {
  return n < overlay_->pageCount() ? overlay_->image(n) : nullptr;
}

}  // namespace jet
