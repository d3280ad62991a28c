#include "PageFile.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "jet/Error.h"

namespace jet::journal {

namespace {

Error fromSystem(const std::system_error& e, const std::string& path) {
  switch (e.code().value()) {
    case ENOENT: return fileNotFound(path);
    case EACCES:
    case EPERM:
    case EROFS: return readOnly("没有写入文件 '" + path + "' 的权限");
    default: return damagedAt(path, e.what());
  }
}

}  // namespace

PageFile::PageFile(os::Env& env, std::string path, Mode mode, bool syncs)
    : env_(env), path_(std::move(path)), mode_(mode), syncs_(syncs) {}

std::unique_ptr<PageFile> PageFile::open(os::Env& env, const std::string& path, Mode mode,
                                         bool syncs) {
  std::unique_ptr<PageFile> pf(new PageFile(env, path, mode, syncs));
  try {
    if (mode == Mode::Writable) {
      pf->file_ = env.open(path, os::Env::Access::ReadWrite);
      if (!pf->file_->tryLockExclusive()) throw fileInUse(path);
      pf->recovered_ = recover(env, path, *pf->file_);
    } else {
      pf->file_ = env.open(path, os::Env::Access::Read);
      if (!pf->file_->tryLockShared()) throw fileInUse(path);
      if (isHot(env, path))
        throw damagedAt(path, "上次写入没有完成，留下了日志文件 '" + journalPath(path) +
                                  "'；请先以可写方式打开一次，撤销未完成的写入");
    }
  } catch (const std::system_error& e) {
    throw fromSystem(e, path);
  }
  return pf;
}

PageFile::~PageFile() {
  rollback();
  try {
    journal_.reset();
  } catch (...) {
  }
}

size_t PageFile::readRaw(uint64_t offset, void* buf, size_t n) {
  return file_->readAt(offset, buf, n);
}

void PageFile::setPageSize(uint32_t pageSize) {
  pageSize_ = pageSize;
  pageCount_ = originalPageCount_ = static_cast<uint32_t>(file_->size() / pageSize);
}

void PageFile::requireUsable(bool write) {
  if (broken_)
    throw damagedAt(path_, "一次写入中途失败；请关闭后重新打开数据库，未完成的写入将被撤销");
  if (write && mode_ != Mode::Writable) throw readOnly("数据库以只读方式打开");
}

void PageFile::read(uint32_t n, uint8_t* out) {
  requireUsable(false);
  if (n >= pageCount_) throw damagedAt(path_, "页 " + std::to_string(n) + " 超出文件末尾");
  auto it = pages_.find(n);
  if (it != pages_.end()) {
    std::memcpy(out, it->second.image.data(), pageSize_);
    return;
  }
  size_t got = file_->readAt(uint64_t(n) * pageSize_, out, pageSize_);
  if (got != pageSize_) throw damagedAt(path_, "页 " + std::to_string(n) + " 不完整");
}

const uint8_t* PageFile::changed(uint32_t n) const {
  auto it = pages_.find(n);
  return it == pages_.end() ? nullptr : it->second.image.data();
}

PageFile::Dirty& PageFile::dirty(uint32_t n) {
  auto it = pages_.find(n);
  const bool wasDirty = it != pages_.end();
  if (!wasDirty) {
    if (!inTransaction()) txStart_ = std::chrono::steady_clock::now();
    Dirty d;
    d.image.resize(pageSize_);
    read(n, d.image.data());
    if (n < originalPageCount_) {
      d.hasOriginal = true;
      d.original = d.image;
    }
    it = pages_.emplace(n, std::move(d)).first;
  }
  Dirty& d = it->second;
  if (inSavepoint_ && d.savepointGen != savepointGen_) {
    undo_.push_back(Undo{n, wasDirty, wasDirty ? d.image : std::vector<uint8_t>{}});
    d.savepointGen = savepointGen_;
  }
  return d;
}

uint8_t* PageFile::modify(uint32_t n) {
  requireUsable(true);
  if (n >= pageCount_) throw damagedAt(path_, "页 " + std::to_string(n) + " 超出文件末尾");
  return dirty(n).image.data();
}

uint32_t PageFile::append() {
  requireUsable(true);
  if (!inTransaction()) txStart_ = std::chrono::steady_clock::now();
  const uint32_t n = pageCount_++;
  Dirty d;
  d.image.assign(pageSize_, 0);
  d.savepointGen = savepointGen_;
  pages_[n] = std::move(d);
  if (inSavepoint_) undo_.push_back(Undo{n, false, {}});
  return n;
}

std::chrono::steady_clock::duration PageFile::transactionAge() const {
  if (!inTransaction()) return {};
  return std::chrono::steady_clock::now() - txStart_;
}

void PageFile::beginSavepoint() {
  inSavepoint_ = true;
  ++savepointGen_;
  savepointPageCount_ = pageCount_;
  undo_.clear();
}

void PageFile::releaseSavepoint() {
  inSavepoint_ = false;
  undo_.clear();
}

void PageFile::rollbackToSavepoint() {
  if (!inSavepoint_) return;
  for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
    if (it->wasDirty)
      pages_[it->page].image = std::move(it->image);
    else
      pages_.erase(it->page);
    if (invalidate_) invalidate_(it->page);
  }
  pageCount_ = savepointPageCount_;
  releaseSavepoint();
}

void PageFile::syncDb() {
  if (!syncs_) return;
  file_->sync();
  ++dbSyncs_;
}

void PageFile::commit() {
  requireUsable(false);
  releaseSavepoint();
  if (!inTransaction()) return;
  requireUsable(true);
  std::vector<PageImage> originals;
  originals.reserve(pages_.size());
  for (const auto& [n, d] : pages_)
    if (d.hasOriginal) originals.push_back(PageImage{n, d.original.data()});
  try {
    if (!journal_) journal_ = std::make_unique<Journal>(env_, path_, syncs_);
    journal_->write(pageSize_, uint64_t(originalPageCount_) * pageSize_, originals);
    for (const auto& [n, d] : pages_) {
      file_->writeAt(uint64_t(n) * pageSize_, d.image.data(), pageSize_);
      ++stats_.pagesWritten;
    }
    syncDb();
    journal_->clear();
  } catch (const std::system_error& e) {
    broken_ = true;
    throw fromSystem(e, path_);
  } catch (...) {
    broken_ = true;
    throw;
  }
  ++stats_.commits;
  pages_.clear();
  originalPageCount_ = pageCount_;
}

void PageFile::rollback() {
  releaseSavepoint();
  if (invalidate_)
    for (const auto& [n, d] : pages_) invalidate_(n);
  pages_.clear();
  pageCount_ = originalPageCount_;
}

PageFile::Stats PageFile::stats() const {
  Stats s = stats_;
  s.syncs = dbSyncs_ + (journal_ ? journal_->syncCount() : 0);
  return s;
}

}  // namespace jet::journal
