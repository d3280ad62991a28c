#pragma once
// The database file as numbered pages, changed only inside transactions.
//
// A transaction collects changed page images in memory; nothing reaches the database file
// before commit(), which runs the journal protocol (Journal.h): originals to the journal
// and sync, pages to the file and sync, journal cleared and synced. rollback() forgets the
// collected images, so an abandoned transaction costs no I/O. A savepoint inside a
// transaction lets one failed row update be undone without losing the rows before it.
//
// REQUIRES: one thread; writes only on a file opened writable (held exclusively).
// GUARANTEES: read() sees the transaction's own changes; after commit() returns the
// changes are durable; a crash at any moment leaves either the state before or after the
// last commit once the file is opened again.
#include <chrono>
#include <cstdint>
#include <set>
#include <unordered_map>
#include <memory>
#include <string>
#include <vector>

#include "jet/Error.h"
#include "jet/journal/Journal.h"
#include "jet/os/Env.h"

namespace jet::journal {

class PageFile {
 public:
  enum class Mode { ReadOnly, Writable };
  struct Stats {
    uint64_t commits = 0;
    uint64_t syncs = 0;         // file and directory syncs, journal included
    uint64_t pagesWritten = 0;  // database pages written by commits
  };

  // Opens path. Writable: takes the exclusive lock (3045 when another holder has any
  // lock) and rolls back a hot journal before returning. ReadOnly: takes a shared lock
  // and refuses a hot journal (3049 with a description that says why).
  // syncs = false skips every sync (for measuring what they cost; never for users).
  static std::unique_ptr<PageFile> open(os::Env& env, const std::string& path, Mode mode,
                                        bool syncs = true);
  // Works on a file its owner already opened, locked and recovered (see Journal.h's
  // recover()); the file must outlive the PageFile.
  static std::unique_ptr<PageFile> attach(os::Env& env, const std::string& path,
                                          os::File& file, Mode mode, bool syncs = true);
  ~PageFile();  // rolls back an open transaction; never throws

  const std::string& path() const { return path_; }
  bool writable() const { return mode_ == Mode::Writable; }
  bool recoveredOnOpen() const { return recovered_; }

  // Raw bytes at an offset of the committed file (for the header, before the page size
  // is known). Returns the count read.
  size_t readRaw(uint64_t offset, void* buf, size_t n);

  // REQUIRES: called once, before any page access.
  void setPageSize(uint32_t pageSize);
  uint32_t pageSize() const { return pageSize_; }
  // Pages in the file, including those appended by the open transaction.
  uint32_t pageCount() const { return pageCount_; }

  // Copies page n as the open transaction sees it into out (pageSize bytes). Fails with
  // 3049 when n lies beyond the end of the file.
  void read(uint32_t n, uint8_t* out);
  // The in-memory image of page n when this session has changed it (its current content,
  // committed or not), else nullptr. The address stays the same while the PageFile lives:
  // commits and rollbacks change the bytes, never the place.
  const uint8_t* image(uint32_t n) const {
    if (images_.empty()) return nullptr;
    auto it = images_.find(n);
    return it == images_.end() ? nullptr : it->second->image.get();
  }

  // Returns page n's image for changing, starting a transaction if none is open.
  uint8_t* modify(uint32_t n);
  // Appends a zero page to the file within the transaction and returns its number.
  uint32_t append();

  bool inTransaction() const { return !dirty_.empty() || pageCount_ != originalPageCount_; }
  // Time since the open transaction changed its first page.
  std::chrono::steady_clock::duration transactionAge() const;

  // One level of savepoint: changes after beginSavepoint() can be undone alone.
  void beginSavepoint();
  void releaseSavepoint();
  void rollbackToSavepoint();

  void commit();
  void rollback();

  Stats stats() const;

 private:
  struct Page {
    std::unique_ptr<uint8_t[]> image;  // never moves
    bool dirty = false;
    bool hasOriginal = false;  // inside the original length: journalled at commit
    std::vector<uint8_t> original;
    uint64_t savepointGen = 0;
  };
  struct Undo {
    uint32_t page;
    bool wasDirty;
    std::vector<uint8_t> image;
  };

  PageFile(os::Env& env, std::string path, Mode mode, bool syncs);
  void syncDb();
  // The error a commit that failed on the system reports, after putting back the file
  // when pages of it were already written.
  Error failedCommit(const os::IoError& e, bool touched);
  void requireUsable(bool write);
  Page& dirty(uint32_t n);
  void restoreOriginal(uint32_t n, Page& p);

  os::Env& env_;
  std::string path_;
  Mode mode_;
  bool syncs_;
  bool recovered_ = false;
  bool broken_ = false;  // a commit failed half-way: only a new open (recovery) may go on
  std::unique_ptr<os::File> owned_;
  os::File* file_ = nullptr;
  std::unique_ptr<Journal> journal_;
  uint32_t pageSize_ = 0;
  uint32_t pageCount_ = 0;
  uint32_t originalPageCount_ = 0;
  std::unordered_map<uint32_t, std::unique_ptr<Page>> images_;
  std::set<uint32_t> dirty_;  // the open transaction's pages, in file order
  std::chrono::steady_clock::time_point txStart_{};
  // Savepoint state.
  bool inSavepoint_ = false;
  uint64_t savepointGen_ = 0;
  uint32_t savepointPageCount_ = 0;
  std::vector<Undo> undo_;
  Stats stats_;
  uint64_t dbSyncs_ = 0;
};

}  // namespace jet::journal
