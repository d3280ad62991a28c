#pragma once
// The engine's view of the file as numbered pages, and the one owner of them: every read
// (scans, row writer, index writer, usage maps) takes a pinned handle from get(n), and
// every change goes through modify()/append() inside the pager's transaction.
//
// Pages live in frames of a cache with a bound. A frame holds one page; a PageRef pins it
// while the handle lives, and a pinned frame is never evicted or reused. Clean unpinned
// frames are evicted least recently used first once the cache holds more than its bound
// (the open transaction's changed pages count against it, so a large batch leaves fewer
// clean ones and its memory stays within the bound plus its originals);
// their buffers are reused rather than freed, so a long scan costs no fresh memory. Pages
// are read with pread(2) in runs that grow while a walk goes on in file order (one
// scattered read fills several frames); the file is never mapped, so a disk that fails
// under a page is an error, not SIGBUS.
//
// Writing (after beginWriting): a changed page is a dirty frame, never evicted until it
// is written. commit() runs the journal protocol (journal/Journal.h); afterwards the
// frames are clean cache entries like any other. A transaction whose dirty pages pass the
// spill bound writes part of itself early (spill): the originals of those pages go to the
// journal and are synced, then the pages go to the database file and leave memory. That
// happens only between savepoints and never to a pinned page; the journal keeps the file
// restorable, so a rollback or a crash still leaves the state of the last commit.
//
// Pages an encoded file stores encrypted pass through the pager's PageCodec at its boundary
// with the file, and there alone: decoded after every read, encoded before every write.
// The journal keeps each original as the file held it (encoded), so that recovering a hot
// journal, which runs before the header is read and without a password, writes raw bytes
// back and needs no key; the rolled-back images given to setRolledBack() are such raw
// bytes too, and the pager decodes them.
//
// REQUIRES: an open File whose first page is a decoded Jet header (format/HeaderPage.h, a
// layer above, decodes it, and names the codec); one thread; every PageRef is dropped before the Pager (one
// that outlives it keeps its frame alive, nothing more: it may not be read from).
// GUARANTEES: get(n) returns a handle to ps readable bytes or throws format::Corrupt
// naming n (an I/O error of the system leaves as the jet::Error the Env reports). The bytes
// of a handle stay at their address while it lives; they show the transaction's changes
// made in place to a page already dirty when the handle was taken, while a clean page
// changed under a handle is copied first, so the handle keeps the bytes it was given.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "jet/PageCodec.h"
#include "jet/Types.h"
#include "jet/journal/Journal.h"
#include "jet/os/Env.h"
#include "jet/os/Memory.h"

namespace jet {

class Pager;

// One cached page. Internal to the pager; PageRef reaches it inline for speed.
struct PageFrame {
  static constexpr uint32_t kNoPage = UINT32_MAX;
  struct Bytes {
    uint8_t* p = nullptr;  // page-aligned
    std::shared_ptr<os::PrefaultedBuffer> block;  // what p lies in, kept while any of its frames lives
    uint8_t* get() const { return p; }
  } data;
  Pager* owner = nullptr;  // null once the pager is gone (an orphan kept by its handles)
  uint32_t page = kNoPage;
  uint32_t pins = 0;
  bool dirty = false;
  bool detached = false;  // replaced by a copy while pinned: freed at the last unpin
  PageFrame* prev = nullptr;  // the list of evictable frames (clean, unpinned)
  PageFrame* next = nullptr;
  bool listed = false;
  bool once = false;  // read ahead by a walk in file order: evicted first unless used again
  size_t slot = 0;  // its place among the pager's frames
};

// A pinned page: its bytes stay put and in the cache while the handle lives. Copying pins
// again; moving hands the pin over.
class PageRef {
 public:
  PageRef() noexcept = default;
  PageRef(const PageRef& o) noexcept : f_(o.f_) { if (f_) pin(f_); }
  PageRef(PageRef&& o) noexcept : f_(o.f_) { o.f_ = nullptr; }
  PageRef& operator=(PageRef o) noexcept {
    std::swap(f_, o.f_);
    return *this;
  }
  ~PageRef() { reset(); }

  const uint8_t* data() const { return f_->data.get(); }
  explicit operator bool() const { return f_ != nullptr; }
  inline void reset() noexcept;

 private:
  friend class Pager;
  explicit PageRef(PageFrame* f) noexcept : f_(f) { pin(f); }
  static inline void pin(PageFrame* f) noexcept;
  PageFrame* f_ = nullptr;
};

class Pager {
 public:
  struct CacheStats {
    size_t frames = 0;  // page buffers held, free ones included
    size_t dirty = 0;   // frames changed by the open transaction
    size_t pinned = 0;  // frames a handle holds
    uint64_t reads = 0; // read calls made to the file
  };
  struct WriteStats {
    uint64_t commits = 0;
    uint64_t syncs = 0;         // file and directory syncs, journal included
    uint64_t pagesWritten = 0;  // database pages written by commits and spills
    uint64_t spills = 0;
  };
  // Pages the cache keeps (16 MiB of 4 KiB pages), changed ones included, and the
  // changed pages a transaction keeps before it spills (8 MiB, and as much for their
  // originals). 64 and 32 MiB let a million-row rewrite reach 300 MB but made indexed
  // inserts up to a third faster (their index pages stay in memory).
  static constexpr size_t kDefaultCacheBound = 4096;
  static constexpr size_t kDefaultSpillBound = 2048;

  Pager(os::File& file, const format::Version& version, PageCodec codec = {});
  ~Pager();
  Pager(const Pager&) = delete;
  Pager& operator=(const Pager&) = delete;

  uint32_t pageSize() const { return pageSize_; }
  // The pages the open transaction sees, appended ones included.
  uint32_t pageCount() const { return pageCount_; }
  const format::Version& version() const { return version_; }
  const PageCodec& codec() const { return codec_; }
  os::File& file() { return file_; }

  // Page n (0 < n, or 0 for the raw header page), pinned and decoded. Pages past the file's end are
  // damage unless the file has grown since the last look.
  PageRef get(uint32_t n) {
    if (n < table_.size())
      if (PageFrame* f = table_[n]) return PageRef(f);
    return PageRef(load(n));
  }

  // Reads the file as a rollback of its hot journal would leave it, without writing: the
  // journal's original images (as the file held them) take the place of those pages, and
  // the file ends at the original length. REQUIRES: before any page is read; never writing.
  void setRolledBack(journal::RolledBack rolledBack);
  bool rolledBack() const { return rolledBack_.has_value(); }

  // ---- the cache ----
  // REQUIRES: bound >= 1. Takes effect at the next miss (and trims free buffers now).
  void setCacheBound(size_t pages);
  void setSpillBound(size_t pages) { spillBound_ = pages == 0 ? 1 : pages; }
  CacheStats cacheStats() const;

  // ---- the transaction ----
  // From now on the pager may change the file. REQUIRES: the file is open read-write and
  // held exclusively, any hot journal already rolled back. syncs = false skips every sync
  // (for measuring what they cost; never for users).
  void beginWriting(os::Env& env, std::string path, bool syncs);
  bool writing() const { return env_ != nullptr; }

  // Page n's bytes for changing, starting a transaction if none is open. The address stays
  // valid until the transaction ends or, outside a savepoint, the next beginSavepoint()
  // (which may spill). Fails with 3049 for a page past the end, 3051 when not writing.
  uint8_t* modify(uint32_t n);
  // Appends a zero page within the transaction and returns its number.
  uint32_t append();

  bool inTransaction() const { return !dirty_.empty() || spilled_ || pageCount_ != originalPageCount_; }
  std::chrono::steady_clock::duration transactionAge() const;

  // One level of savepoint: changes after beginSavepoint() can be undone alone. A
  // transaction over its spill bound spills here, before the savepoint opens.
  void beginSavepoint();
  void releaseSavepoint();
  void rollbackToSavepoint();

  void commit();
  void rollback() noexcept;
  // Rolls back and removes the journal: writing ends. Never throws.
  void endWriting() noexcept;

  // Told true before a transaction first writes the file early (a spill), false once a
  // rollback has put such a transaction's pages back (the lock file's marker of a write
  // under way). Commits are marked by their caller. A marker that throws when told true
  // stops the spill before anything is written; the failure leaves as it was thrown.
  void setWriteMarker(std::function<void(bool)> marker) { marker_ = std::move(marker); }

  WriteStats writeStats() const;
  // A commit or rollback failed half-way: only a new open (recovery) may go on.
  bool broken() const { return broken_; }

 private:
  friend class PageRef;
  struct Change {  // a page of the open transaction
    std::unique_ptr<uint8_t[]> original;  // its committed bytes when it has some to journal
    bool journalled = false;              // its original is in the journal already (spilled)
    uint64_t savepointGen = 0;
  };
  struct Undo {
    uint32_t page;
    bool wasDirty;
    std::unique_ptr<uint8_t[]> image;
  };

  PageFrame* load(uint32_t n);
  bool grew(uint32_t n);
  [[noreturn]] void outOfRange(uint32_t n) const;
  PageFrame* takeFrame();
  void install(PageFrame* f, uint32_t n);
  void forget(PageFrame* f);  // out of the table; freed now or at its last unpin
  void trim();
  static void unpinned(PageFrame* f) noexcept;
  void listBefore(PageFrame* f, PageFrame* next) noexcept;
  // The rolled-back journal's original of page n, when it holds one.
  const uint8_t* rolledBackImage(uint32_t n) const;
  // Page n's bytes when the file's are not the ones to read: the transaction's, or the
  // rolled-back journal's.
  const uint8_t* imageNotInFile(uint32_t n) const;
  void unlist(PageFrame* f) noexcept;

  void requireWritable();
  PageFrame* makeDirty(uint32_t n, PageFrame* f);
  void markClean(PageFrame* f);
  void restoreOriginal(uint32_t n);
  void maybeSpill();
  void spill();
  // A page of the transaction as the file holds it: the journal's record of it, with its
  // original and its new bytes encoded when the file is (the copies live until the next
  // writePages()).
  journal::PageImage fileImage(uint32_t n, const Change& c);
  void writePages(const std::vector<uint32_t>& pages);
  void syncDb();
  void rollbackSpilled();
  [[noreturn]] void abandonSpilled(const os::IoError& e);
  void reread(uint32_t n);

  os::File& file_;
  format::Version version_;
  uint32_t pageSize_;
  PageCodec codec_;
  // Encoded copies of the pages being written (new bytes, then the original): only for an
  // encoded file, between fileImage() and writePages().
  std::map<uint32_t, std::unique_ptr<uint8_t[]>> encoded_;
  uint32_t pageCount_ = 0;  // as the transaction sees it
  std::optional<journal::RolledBack> rolledBack_;

  // Cache.
  // By page number; null: not cached. Zeroed pages the kernel hands over at once: one
  // entry for each page of the file, most of them never set.
  class Table {
   public:
    size_t size() const { return size_; }
    PageFrame*& operator[](size_t n) { return entries()[n]; }
    PageFrame* operator[](size_t n) const { return entries()[n]; }
    void growTo(size_t n);  // new entries null
   private:
    PageFrame** entries() const { return reinterpret_cast<PageFrame**>(bytes_.data()); }
    os::PrefaultedBuffer bytes_;
    size_t size_ = 0;
  } table_;
  // Page buffers are cut from blocks of kFramesPerBlock pages, whose memory is taken in
  // one call.
  std::shared_ptr<os::PrefaultedBuffer> block_;
  size_t blockUsed_ = 0;
  std::vector<std::unique_ptr<PageFrame>> frames_;  // every frame owned, detached ones too
  std::vector<PageFrame*> free_;   // frames holding no page
  size_t detached_ = 0;            // frames replaced while pinned, awaiting their last unpin
  PageFrame* head_ = nullptr;      // evictable frames, least recently used first
  PageFrame* tail_ = nullptr;
  size_t cacheBound_ = kDefaultCacheBound;
  size_t spillBound_ = kDefaultSpillBound;
  uint64_t reads_ = 0;
  uint32_t nextInRun_ = 0;  // the page after the last run: a walk in file order
  uint32_t run_ = 0;        // pages the next sequential read takes

  // Transaction.
  os::Env* env_ = nullptr;
  std::string path_;
  bool syncs_ = true;
  bool broken_ = false;
  std::unique_ptr<journal::Journal> journal_;
  uint32_t originalPageCount_ = 0;
  std::map<uint32_t, Change> dirty_;  // the open transaction's pages in memory, in file order
  std::vector<bool> journalled_;      // by page: its original is in the journal (spilled)
  bool spilled_ = false;              // pages of the open transaction reached the file
  std::chrono::steady_clock::time_point txStart_{};
  bool inSavepoint_ = false;
  uint64_t savepointGen_ = 0;
  uint32_t savepointPageCount_ = 0;
  std::vector<Undo> undo_;
  std::function<void(bool)> marker_;
  WriteStats stats_;
  uint64_t dbSyncs_ = 0;
  uint64_t journalSyncs_ = 0;  // of journals no longer held

 public:
  // Pages first .. first + count - 1 copied into out (count * pageSize() bytes) as get(n)
  // would give them: the open transaction's dirty pages and the rolled-back images in place
  // of those pages, the rest read from the file in as few calls as they allow. Nothing is
  // cached, so a large scan costs no memory of its own; the failures are those of get(n).
  // Safe to call from several threads at once, and alongside get(n) on another, while no
  // page is changed (it reads the dirty set, which only modify/commit/rollback change).
  void readRun(uint32_t first, uint32_t count, uint8_t* out) const;
};

inline void PageRef::pin(PageFrame* f) noexcept {
  if (f->pins++ == 0 && f->listed) f->owner->unlist(f);
}

inline void PageRef::reset() noexcept {
  if (f_ == nullptr) return;
  PageFrame* f = f_;
  f_ = nullptr;
  if (--f->pins == 0) Pager::unpinned(f);
}

}  // namespace jet
