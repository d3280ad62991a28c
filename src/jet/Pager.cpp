#include "jet/Pager.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "jet/Error.h"
#include "jet/Bytes.h"

namespace jet {
namespace {
// The largest file a Jet 4 / ACE engine writes is 2 GB (Jet 3: 1 GB).
constexpr uint64_t kMaxFileBytes = uint64_t{2} << 30;
// Pages read by one call: few for a page on its own (a lookup), doubling while a walk goes
// on in file order (a scan), so a large file costs few system calls.
constexpr uint32_t kFirstRun = 4;
constexpr uint32_t kLongestRun = 64;
// Page buffers taken from memory at a time; one each under AddressSanitizer, which then
// sees a buffer overrun.
constexpr size_t kFramesPerBlock = os::kAddressSanitizer ? 1 : 64;
}  // namespace

void Pager::Table::growTo(size_t n) {
  if (n <= size_) return;
  const size_t have = bytes_.size() / sizeof(PageFrame*);
  if (n > have) {
    os::PrefaultedBuffer more(std::max(n, 2 * have) * sizeof(PageFrame*), os::PrefaultedBuffer::Fill::Zeroed);
    if (size_ != 0) std::memcpy(more.data(), bytes_.data(), size_ * sizeof(PageFrame*));
    bytes_ = std::move(more);
  }
  size_ = n;
}

Pager::Pager(os::File& file, const format::Version& version, PageCodec codec)
    : file_(file), version_(version), pageSize_(version.pageSize()), codec_(codec) {
  grew(0);
}

Pager::~Pager() {
  endWriting();
  // A handle that outlives the pager keeps its frame; the last unpin frees it.
  for (auto& f : frames_)
    if (f->pins > 0) {
      f->owner = nullptr;
      f->detached = true;
      f.release();
    }
}

void Pager::setRolledBack(journal::RolledBack rolledBack) {
  for (auto& [n, image] : rolledBack.pages) codec_.apply(n, image.data(), image.size());
  pageCount_ = static_cast<uint32_t>(std::min(rolledBack.length, kMaxFileBytes) / pageSize_);
  rolledBack_ = std::move(rolledBack);
}

bool Pager::grew(uint32_t n) {
  // Nobody writes while the journal is hot, and a writer's own count is the truth.
  if (rolledBack_ || writing()) return n < pageCount_;
  pageCount_ = static_cast<uint32_t>(std::min(file_.size(), kMaxFileBytes) / pageSize_);
  return n < pageCount_;
}

void Pager::outOfRange(uint32_t n) const {
  format::corrupt("页号 " + std::to_string(n) + " 超出文件范围（文件共 " +
                  std::to_string(pageCount_) + " 页）");
}

// ---- the cache ----

// Links f into the list of evictable frames just before `next` (null: at the end).
void Pager::listBefore(PageFrame* f, PageFrame* next) noexcept {
  f->next = next;
  f->prev = next != nullptr ? next->prev : tail_;
  (f->prev != nullptr ? f->prev->next : head_) = f;
  (next != nullptr ? next->prev : tail_) = f;
  f->listed = true;
}

void Pager::unlist(PageFrame* f) noexcept {
  if (f->prev != nullptr)
    f->prev->next = f->next;
  else
    head_ = f->next;
  if (f->next != nullptr)
    f->next->prev = f->prev;
  else
    tail_ = f->prev;
  f->prev = f->next = nullptr;
  f->listed = false;
}

void Pager::unpinned(PageFrame* f) noexcept {
  Pager* p = f->owner;
  if (f->detached) {
    if (p == nullptr) {
      delete f;  // an orphan: its pager is gone
      return;
    }
    f->detached = false;
    --p->detached_;
    p->free_.push_back(f);
    return;
  }
  if (f->dirty) return;
  // A page a walk in file order read and used once is the first to go: a long scan
  // cycles through a few buffers that stay in the processor's cache, and leaves the pages
  // used more than once alone.
  p->listBefore(f, f->once ? p->head_ : nullptr);
  f->once = false;
}

PageFrame* Pager::takeFrame() {
  if (!free_.empty()) {
    PageFrame* f = free_.back();
    free_.pop_back();
    return f;
  }
  if (frames_.size() - detached_ >= cacheBound_ && head_ != nullptr) {
    PageFrame* f = head_;
    unlist(f);
    table_[f->page] = nullptr;
    f->page = PageFrame::kNoPage;
    return f;
  }
  if (!block_ || blockUsed_ == kFramesPerBlock) {
    block_ = std::make_shared<os::PrefaultedBuffer>(kFramesPerBlock * pageSize_);
    blockUsed_ = 0;
  }
  auto f = std::make_unique<PageFrame>();
  f->data.p = block_->data() + blockUsed_++ * pageSize_;  // 4 KiB blocks: page-aligned
  f->data.block = block_;
  f->owner = this;
  f->slot = frames_.size();
  frames_.push_back(std::move(f));
  return frames_.back().get();
}

void Pager::install(PageFrame* f, uint32_t n) {
  if (table_.size() <= n) table_.growTo(std::max<size_t>(size_t(n) + 1, pageCount_));
  table_[n] = f;
  f->page = n;
}

void Pager::forget(PageFrame* f) {
  if (f->page != PageFrame::kNoPage && f->page < table_.size() && table_[f->page] == f)
    table_[f->page] = nullptr;
  if (f->listed) unlist(f);
  f->page = PageFrame::kNoPage;
  f->dirty = false;
  if (f->pins == 0) {
    free_.push_back(f);
  } else {
    f->detached = true;
    ++detached_;
  }
}

// Gives buffers back until the cache is within its bound (or holds nothing it may drop).
void Pager::trim() {
  size_t held = frames_.size() - detached_;
  while (held > cacheBound_ && (!free_.empty() || head_ != nullptr)) {
    PageFrame* f;
    if (!free_.empty()) {
      f = free_.back();
      free_.pop_back();
    } else {
      f = head_;
      unlist(f);
      table_[f->page] = nullptr;
    }
    const size_t slot = f->slot;
    std::swap(frames_[slot], frames_.back());
    frames_[slot]->slot = slot;
    frames_.pop_back();
    --held;
  }
}

void Pager::setCacheBound(size_t pages) {
  cacheBound_ = std::max<size_t>(pages, 1);
  trim();
}

Pager::CacheStats Pager::cacheStats() const {
  CacheStats s;
  s.frames = frames_.size();
  s.dirty = dirty_.size();
  for (const auto& f : frames_) s.pinned += f->pins > 0;
  s.reads = reads_;
  return s;
}

PageFrame* Pager::load(uint32_t n) {
  if (n >= pageCount_ && !grew(n)) outOfRange(n);
  if (const uint8_t* original = rolledBackImage(n)) {  // the journal's takes the page's place
    PageFrame* f = takeFrame();
    std::memcpy(f->data.get(), original, pageSize_);
    install(f, n);
    listBefore(f, nullptr);
    return f;
  }
  const uint32_t longest = static_cast<uint32_t>(std::clamp<size_t>(cacheBound_ / 4, 1, kLongestRun));
  run_ = n == nextInRun_ && run_ != 0 ? std::min(run_ * 2, longest) : std::min(kFirstRun, longest);
  uint32_t run = 1;
  while (run < run_ && n + run < pageCount_ && (n + run >= table_.size() || table_[n + run] == nullptr) &&
         rolledBackImage(n + run) == nullptr)
    ++run;
  PageFrame* frames[kLongestRun];
  uint8_t* bufs[kLongestRun];
  uint32_t taken = 0;
  size_t got = 0;
  try {
    for (; taken < run; ++taken) {
      frames[taken] = takeFrame();
      bufs[taken] = frames[taken]->data.get();
    }
    ++reads_;
    got = file_.readScattered(uint64_t(n) * pageSize_, bufs, run, pageSize_);
    if (got < pageSize_) format::corrupt("第 " + std::to_string(n) + " 页读取不完整，文件可能被截断");
  } catch (const os::IoError& e) {
    for (uint32_t i = 0; i < taken; ++i) free_.push_back(frames[i]);
    if (spilled_) abandonSpilled(e);
    throw;
  } catch (...) {
    for (uint32_t i = 0; i < taken; ++i) free_.push_back(frames[i]);
    throw;
  }
  const uint32_t whole = static_cast<uint32_t>(got / pageSize_);
  const bool walk = run_ > kFirstRun;
  for (uint32_t i = 0; i < run; ++i) {
    if (i < whole) {
      codec_.apply(n + i, frames[i]->data.get(), pageSize_);
      install(frames[i], n + i);
      frames[i]->once = walk;
      listBefore(frames[i], nullptr);
    } else {
      free_.push_back(frames[i]);
    }
  }
  nextInRun_ = n + whole;
  return frames[0];
}

// ---- the transaction ----

void Pager::beginWriting(os::Env& env, std::string path, bool syncs) {
  grew(0);
  env_ = &env;
  path_ = std::move(path);
  syncs_ = syncs;
  originalPageCount_ = pageCount_;
}

void Pager::requireWritable() {
  if (broken_)
    throw damagedAt(path_, "一次写入中途失败；请关闭后重新打开数据库，未完成的写入将被撤销");
  if (!writing()) throw readOnly("数据库以只读方式打开");
}

std::chrono::steady_clock::duration Pager::transactionAge() const {
  if (!inTransaction()) return {};
  return std::chrono::steady_clock::now() - txStart_;
}

// The first change of page n in this transaction. A handle holding the clean frame keeps
// it (detached, with the bytes it was given); the transaction changes a copy.
PageFrame* Pager::makeDirty(uint32_t n, PageFrame* f) {
  if (!inTransaction()) txStart_ = std::chrono::steady_clock::now();
  Change c;
  c.journalled = n < journalled_.size() && journalled_[n];
  if (!c.journalled && n < originalPageCount_) {
    c.original.reset(new uint8_t[pageSize_]);
    std::memcpy(c.original.get(), f->data.get(), pageSize_);
  }
  if (f->pins > 0) {
    PageFrame* copy = takeFrame();
    std::memcpy(copy->data.get(), f->data.get(), pageSize_);
    forget(f);
    install(copy, n);
    f = copy;
  } else if (f->listed) {
    unlist(f);
  }
  f->dirty = true;
  c.savepointGen = savepointGen_;
  if (inSavepoint_) undo_.push_back(Undo{n, false, nullptr});
  dirty_.emplace(n, std::move(c));
  return f;
}

uint8_t* Pager::modify(uint32_t n) {
  requireWritable();
  if (n >= pageCount_) throw damagedAt(path_, "页 " + std::to_string(n) + " 超出文件末尾");
  PageFrame* f = n < table_.size() ? table_[n] : nullptr;
  if (f == nullptr) f = load(n);
  auto it = dirty_.find(n);
  if (it == dirty_.end()) return makeDirty(n, f)->data.get();
  if (inSavepoint_ && it->second.savepointGen != savepointGen_) {
    Undo u{n, true, std::unique_ptr<uint8_t[]>(new uint8_t[pageSize_])};
    std::memcpy(u.image.get(), f->data.get(), pageSize_);
    undo_.push_back(std::move(u));
    it->second.savepointGen = savepointGen_;
  }
  return f->data.get();
}

uint32_t Pager::append() {
  requireWritable();
  if (!inTransaction()) txStart_ = std::chrono::steady_clock::now();
  const uint32_t n = pageCount_;
  if (n < table_.size() && table_[n] != nullptr) forget(table_[n]);
  PageFrame* f = takeFrame();
  ++pageCount_;
  std::memset(f->data.get(), 0, pageSize_);
  install(f, n);
  f->dirty = true;
  Change c;
  c.savepointGen = savepointGen_;
  dirty_.emplace(n, std::move(c));
  if (inSavepoint_) undo_.push_back(Undo{n, false, nullptr});
  return n;
}

void Pager::markClean(PageFrame* f) {
  f->dirty = false;
  if (f->pins == 0 && !f->listed) listBefore(f, nullptr);
}

// Back to the bytes the page had before the transaction: its original in memory, the
// file's (what an earlier spill wrote there, which the transaction still stands by), or
// none for an appended page, which leaves.
void Pager::restoreOriginal(uint32_t n) {
  auto it = dirty_.find(n);
  PageFrame* f = table_[n];
  if (it->second.original) {
    std::memcpy(f->data.get(), it->second.original.get(), pageSize_);
    markClean(f);
  } else {
    forget(f);
  }
  dirty_.erase(it);
}

void Pager::beginSavepoint() {
  maybeSpill();
  inSavepoint_ = true;
  ++savepointGen_;
  savepointPageCount_ = pageCount_;
  undo_.clear();
}

void Pager::releaseSavepoint() {
  inSavepoint_ = false;
  undo_.clear();
}

void Pager::rollbackToSavepoint() {
  if (!inSavepoint_) return;
  for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
    if (it->wasDirty)
      std::memcpy(table_[it->page]->data.get(), it->image.get(), pageSize_);
    else
      restoreOriginal(it->page);
  }
  pageCount_ = savepointPageCount_;
  releaseSavepoint();
}

void Pager::syncDb() {
  if (!syncs_) return;
  file_.sync();
  ++dbSyncs_;
}

namespace {

// The file a failed call was about, as the user knows it.
std::string roleOf(const os::IoError& e, const std::string& path) {
  if (e.path() == journal::journalPath(path)) return "日志文件";
  if (e.path() == path) return "数据库文件";
  return e.op() == os::IoError::Op::Sync ? "文件夹" : "文件";
}

// The error a write that failed on the system reports, after putting back the file when
// pages of it were already written.
Error failedWrite(os::Env& env, const std::string& path, os::File& file, const os::IoError& e,
                  bool touched) {
  const std::string role = roleOf(e, path);
  if (!touched) return e.restated(role, "数据库文件 '" + path + "' 没有改动");
  // Some pages reached the file: the journal, complete and synced, puts them back now.
  try {
    journal::recover(env, path, file, /*evenIfFinished=*/true);
  } catch (const std::exception&) {
    return e.restated(role, "数据库文件 '" + path + "' 的修改没有完成，下次打开时将被撤销");
  }
  return e.restated(role, "数据库文件 '" + path + "' 已恢复为修改前的内容");
}

}  // namespace

journal::PageImage Pager::fileImage(uint32_t n, const Change& c) {
  const uint8_t* current = table_[n]->data.get();
  if (codec_.plain()) return journal::PageImage{n, c.original.get(), current};
  std::unique_ptr<uint8_t[]>& copy = encoded_[n];
  if (!copy) copy.reset(new uint8_t[2 * size_t(pageSize_)]);
  std::memcpy(copy.get(), current, pageSize_);
  codec_.apply(n, copy.get(), pageSize_);
  uint8_t* original = nullptr;
  if (c.original) {
    original = copy.get() + pageSize_;
    std::memcpy(original, c.original.get(), pageSize_);
    codec_.apply(n, original, pageSize_);
  }
  return journal::PageImage{n, original, copy.get()};
}

void Pager::writePages(const std::vector<uint32_t>& pages) {
  struct Forget {
    std::map<uint32_t, std::unique_ptr<uint8_t[]>>& copies;
    ~Forget() { copies.clear(); }
  } forget{encoded_};
  for (uint32_t n : pages) {
    const uint8_t* bytes = codec_.plain() ? table_[n]->data.get() : encoded_.at(n).get();
    file_.writeAt(uint64_t(n) * pageSize_, bytes, pageSize_);
    ++stats_.pagesWritten;
  }
}

void Pager::commit() {
  if (broken_) requireWritable();
  releaseSavepoint();
  if (!inTransaction()) return;
  requireWritable();
  std::vector<journal::PageImage> images;
  std::vector<uint32_t> pages;
  images.reserve(dirty_.size());
  pages.reserve(dirty_.size());
  for (const auto& [n, c] : dirty_) {
    images.push_back(fileImage(n, c));
    pages.push_back(n);
  }
  bool touched = spilled_;  // the database file has been written to
  try {
    if (!journal_) journal_ = std::make_unique<journal::Journal>(*env_, path_, syncs_);
    const uint64_t newLength = uint64_t(pageCount_) * pageSize_;
    if (spilled_)
      journal_->append(newLength, images);
    else
      journal_->write(pageSize_, uint64_t(originalPageCount_) * pageSize_, newLength, images);
    touched = touched || !pages.empty();
    writePages(pages);
    syncDb();
  } catch (const os::IoError& e) {
    broken_ = true;
    throw failedWrite(*env_, path_, file_, e, touched);
  } catch (...) {
    broken_ = true;
    throw;
  }
  // The commit point is passed: a journal that cannot be cleared is one of a finished
  // transaction, which the next open recognises and discards. The caller hears of it.
  std::optional<Error> late;
  try {
    journal_->clear();
  } catch (const os::IoError& e) {
    late = e.restated("日志文件", "修改已经写入数据库文件 '" + path_ + "'；下次打开时此日志文件将被清除");
  }
  ++stats_.commits;
  for (auto& [n, c] : dirty_) markClean(table_[n]);
  dirty_.clear();
  journalled_.clear();
  journalled_.shrink_to_fit();
  spilled_ = false;
  originalPageCount_ = pageCount_;
  trim();
  if (late) throw AfterCommit(*late);
}

void Pager::maybeSpill() {
  if (!inSavepoint_ && !broken_ && dirty_.size() > spillBound_) spill();
}

// Writes the unpinned dirty pages to the file early: their originals into the journal,
// synced, then the pages themselves; they leave memory. The journal names no final length
// yet, so until commit it is hot: a crash or a rollback puts every original back.
void Pager::spill() {
  std::vector<journal::PageImage> images;
  std::vector<uint32_t> pages;
  for (const auto& [n, c] : dirty_) {
    if (table_[n]->pins > 0) continue;
    images.push_back(fileImage(n, c));
    pages.push_back(n);
  }
  if (pages.empty()) return;
  bool touched = spilled_;
  if (!spilled_ && marker_) marker_(true);
  try {
    if (!journal_) journal_ = std::make_unique<journal::Journal>(*env_, path_, syncs_);
    if (spilled_)
      journal_->append(journal::Journal::kUnfinished, images);
    else
      journal_->write(pageSize_, uint64_t(originalPageCount_) * pageSize_,
                      journal::Journal::kUnfinished, images);
    touched = true;
    writePages(pages);
  } catch (const os::IoError& e) {
    broken_ = true;
    throw failedWrite(*env_, path_, file_, e, touched);
  } catch (...) {
    broken_ = true;
    throw;
  }
  spilled_ = true;
  ++stats_.spills;
  for (uint32_t n : pages) {
    if (journalled_.size() <= n) journalled_.resize(std::max<size_t>(pageCount_, size_t(n) + 1));
    journalled_[n] = true;
    forget(table_[n]);
    dirty_.erase(n);
  }
  trim();
}

// Page n as the file holds it now: dropped from the cache, or read again in place when a
// handle holds it.
void Pager::reread(uint32_t n) {
  if (n >= table_.size() || table_[n] == nullptr) return;
  PageFrame* f = table_[n];
  if (f->pins == 0 || n >= originalPageCount_) {
    forget(f);
    return;
  }
  if (file_.readAt(uint64_t(n) * pageSize_, f->data.get(), pageSize_) != pageSize_)
    std::memset(f->data.get(), 0, pageSize_);
  else
    codec_.apply(n, f->data.get(), pageSize_);
  markClean(f);
}

// The journal puts back every page the spills wrote and cuts the file to its length;
// memory forgets the transaction's pages, and those of them it read back after a spill.
void Pager::rollbackSpilled() {
  releaseSavepoint();
  if (journal_) journalSyncs_ += journal_->syncCount();
  journal_.reset();
  journal::recover(*env_, path_, file_, /*evenIfFinished=*/true);
  std::vector<uint32_t> pages;
  for (const auto& [n, c] : dirty_) pages.push_back(n);
  for (uint32_t n = 0; n < journalled_.size(); ++n)
    if (journalled_[n]) pages.push_back(n);
  for (uint32_t n = originalPageCount_; n < table_.size(); ++n) pages.push_back(n);
  for (const auto& [n, c] : dirty_) table_[n]->dirty = false;
  dirty_.clear();
  for (uint32_t n : pages) reread(n);
  journalled_.clear();
  journalled_.shrink_to_fit();
  spilled_ = false;
  if (marker_) marker_(false);
}

// A system error while pages of the transaction are in the file ends the transaction at
// once: the journal puts the file back now (or, when the disk refuses that too, at the
// next open), and nothing more is written before the database is opened again.
void Pager::abandonSpilled(const os::IoError& e) {
  broken_ = true;
  const std::string role = roleOf(e, path_);
  try {
    rollbackSpilled();
  } catch (const std::exception&) {
    throw e.restated(role, "数据库文件 '" + path_ + "' 的修改没有完成，下次打开时将被撤销");
  }
  throw e.restated(role, "数据库文件 '" + path_ + "' 已恢复为修改前的内容");
}

void Pager::rollback() noexcept {
  releaseSavepoint();
  try {
    if (spilled_) {
      rollbackSpilled();
    } else {
      while (!dirty_.empty()) restoreOriginal(dirty_.begin()->first);
    }
  } catch (...) {
    broken_ = true;  // the journal stays hot: the next open rolls it back
  }
  pageCount_ = originalPageCount_;
  trim();
}

void Pager::endWriting() noexcept {
  if (!writing()) return;
  rollback();
  try {
    if (journal_) journalSyncs_ += journal_->syncCount();
    journal_.reset();
  } catch (...) {
  }
}

Pager::WriteStats Pager::writeStats() const {
  WriteStats s = stats_;
  s.syncs = dbSyncs_ + journalSyncs_ + (journal_ ? journal_->syncCount() : 0);
  return s;
}

const uint8_t* Pager::rolledBackImage(uint32_t n) const {
  if (!rolledBack_ || n >= pageCount_) return nullptr;
  auto it = rolledBack_->pages.find(n);
  return it != rolledBack_->pages.end() && it->second.size() == pageSize_ ? it->second.data() : nullptr;
}

// A dirty page is never evicted and its table entry never changes while no page does, so
// another thread's get() leaves this lookup alone.
const uint8_t* Pager::imageNotInFile(uint32_t n) const {
  if (!dirty_.empty() && dirty_.count(n) != 0) return table_[n]->data.get();
  return rolledBackImage(n);
}

void Pager::readRun(uint32_t first, uint32_t count, uint8_t* out) const {
  const uint64_t end = uint64_t(first) + count;
  uint32_t filePages = writing() ? originalPageCount_ : pageCount_;
  uint32_t n = first;
  while (n < end) {
    uint8_t* dst = out + size_t(n - first) * pageSize_;
    if (const uint8_t* image = imageNotInFile(n)) {
      std::memcpy(dst, image, pageSize_);
      ++n;
      continue;
    }
    // The run the file alone gives.
    uint32_t stop = n + 1;
    while (stop < end && imageNotInFile(stop) == nullptr) ++stop;
    if (stop > filePages && !rolledBack_)  // the file may have grown since the last look
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
    codec_.applyRun(n, dst, last - n, pageSize_);
    n = last;
  }
}

}  // namespace jet
