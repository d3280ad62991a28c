#include "PageFile.h"

#include <cstring>

#include "jet/Error.h"

namespace jet::journal {

PageFile::PageFile(os::Env& env, std::string path, Mode mode, bool syncs)
    : env_(env), path_(std::move(path)), mode_(mode), syncs_(syncs) {}

std::unique_ptr<PageFile> PageFile::open(os::Env& env, const std::string& path, Mode mode,
                                         bool syncs) {
  std::unique_ptr<PageFile> pf(new PageFile(env, path, mode, syncs));
  try {
    if (mode == Mode::Writable) {
      pf->owned_ = env.open(path, os::Env::Access::ReadWrite);
      pf->file_ = pf->owned_.get();
      if (!pf->file_->tryLockExclusive()) throw fileInUse(path);
      pf->recovered_ = recover(env, path, *pf->file_);
    } else {
      pf->owned_ = env.open(path, os::Env::Access::Read);
      pf->file_ = pf->owned_.get();
      if (!pf->file_->tryLockShared()) throw fileInUse(path);
      if (isHot(env, path, *pf->file_))
        throw damagedAt(path, "上次写入没有完成，留下了日志文件 '" + journalPath(path) +
                                  "'；请先以可写方式打开一次，撤销未完成的写入");
    }
  } catch (const os::IoError& e) {
    if (mode == Mode::Writable && e.denied() && e.path() == path)
      throw readOnly("没有写入文件 '" + path + "' 的权限");
    throw;
  }
  return pf;
}

std::unique_ptr<PageFile> PageFile::attach(os::Env& env, const std::string& path,
                                           os::File& file, Mode mode, bool syncs) {
  std::unique_ptr<PageFile> pf(new PageFile(env, path, mode, syncs));
  pf->file_ = &file;
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
  if (const uint8_t* img = image(n)) {
    std::memcpy(out, img, pageSize_);
    return;
  }
  size_t got = file_->readAt(uint64_t(n) * pageSize_, out, pageSize_);
  if (got != pageSize_) throw damagedAt(path_, "页 " + std::to_string(n) + " 不完整");
}

PageFile::Page& PageFile::dirty(uint32_t n) {
  auto& slot = images_[n];
  if (!slot) {
    slot = std::make_unique<Page>();
    slot->image = std::make_unique<uint8_t[]>(pageSize_);
    size_t got = file_->readAt(uint64_t(n) * pageSize_, slot->image.get(), pageSize_);
    if (got != pageSize_) {
      images_.erase(n);
      throw damagedAt(path_, "页 " + std::to_string(n) + " 不完整");
    }
  }
  Page& p = *slot;
  const bool wasDirty = p.dirty;
  if (!wasDirty) {
    if (!inTransaction()) txStart_ = std::chrono::steady_clock::now();
    p.dirty = true;
    p.hasOriginal = n < originalPageCount_;
    if (p.hasOriginal) p.original.assign(p.image.get(), p.image.get() + pageSize_);
    dirty_.insert(n);
  }
  if (inSavepoint_ && p.savepointGen != savepointGen_) {
    undo_.push_back(Undo{n, wasDirty,
                         wasDirty ? std::vector<uint8_t>(p.image.get(), p.image.get() + pageSize_)
                                  : std::vector<uint8_t>{}});
    p.savepointGen = savepointGen_;
  }
  return p;
}

uint8_t* PageFile::modify(uint32_t n) {
  requireUsable(true);
  if (n >= pageCount_) throw damagedAt(path_, "页 " + std::to_string(n) + " 超出文件末尾");
  return dirty(n).image.get();
}

uint32_t PageFile::append() {
  requireUsable(true);
  if (!inTransaction()) txStart_ = std::chrono::steady_clock::now();
  const uint32_t n = pageCount_++;
  auto& slot = images_[n];
  if (!slot) {
    slot = std::make_unique<Page>();
    slot->image = std::make_unique<uint8_t[]>(pageSize_);
  }
  std::memset(slot->image.get(), 0, pageSize_);
  slot->dirty = true;
  slot->hasOriginal = false;
  slot->original.clear();
  slot->savepointGen = savepointGen_;
  dirty_.insert(n);
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

// Back to the last committed bytes (an appended page has none: it is zeroed and leaves).
void PageFile::restoreOriginal(uint32_t n, Page& p) {
  if (p.hasOriginal)
    std::memcpy(p.image.get(), p.original.data(), pageSize_);
  else
    std::memset(p.image.get(), 0, pageSize_);
  p.dirty = false;
  p.hasOriginal = false;
  p.original.clear();
  p.original.shrink_to_fit();
  dirty_.erase(n);
}

void PageFile::rollbackToSavepoint() {
  if (!inSavepoint_) return;
  for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
    Page& p = *images_[it->page];
    if (it->wasDirty)
      std::memcpy(p.image.get(), it->image.data(), pageSize_);
    else
      restoreOriginal(it->page, p);
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
  std::vector<PageImage> images;
  images.reserve(dirty_.size());
  for (uint32_t n : dirty_) {
    const Page& p = *images_[n];
    images.push_back(PageImage{n, p.hasOriginal ? p.original.data() : nullptr, p.image.get()});
  }
  bool touched = false;  // the database file has been written to
  try {
    if (!journal_) journal_ = std::make_unique<Journal>(env_, path_, syncs_);
    journal_->write(pageSize_, uint64_t(originalPageCount_) * pageSize_,
                    uint64_t(pageCount_) * pageSize_, images);
    for (uint32_t n : dirty_) {
      touched = true;
      file_->writeAt(uint64_t(n) * pageSize_, images_[n]->image.get(), pageSize_);
      ++stats_.pagesWritten;
    }
    syncDb();
  } catch (const os::IoError& e) {
    broken_ = true;
    throw failedCommit(e, touched);
  } catch (...) {
    broken_ = true;
    throw;
  }
  // The commit point is passed: a journal that cannot be cleared is one of a finished
  // transaction, which the next open recognises and discards.
  try {
    journal_->clear();
  } catch (const os::IoError&) {
  }
  ++stats_.commits;
  for (uint32_t n : dirty_) {
    Page& p = *images_[n];
    p.dirty = false;
    p.hasOriginal = false;
    p.original.clear();
    p.original.shrink_to_fit();
  }
  dirty_.clear();
  originalPageCount_ = pageCount_;
}

Error PageFile::failedCommit(const os::IoError& e, bool touched) {
  const std::string journal = journalPath(path_);
  const std::string role = e.path() == journal ? "日志文件" : "数据库文件";
  if (!touched) return e.restated(role, "数据库文件 '" + path_ + "' 没有改动");
  // Some pages reached the file: the journal, complete and synced, puts them back now.
  try {
    recover(env_, path_, *file_, /*evenIfFinished=*/true);
  } catch (const std::exception&) {
    return e.restated(role, "数据库文件 '" + path_ + "' 的修改没有完成，下次打开时将被撤销");
  }
  return e.restated(role, "数据库文件 '" + path_ + "' 已恢复为修改前的内容");
}

void PageFile::rollback() {
  releaseSavepoint();
  while (!dirty_.empty()) {
    uint32_t n = *dirty_.begin();
    restoreOriginal(n, *images_[n]);
  }
  pageCount_ = originalPageCount_;
}

PageFile::Stats PageFile::stats() const {
  Stats s = stats_;
  s.syncs = dbSyncs_ + (journal_ ? journal_->syncCount() : 0);
  return s;
}

}  // namespace jet::journal
