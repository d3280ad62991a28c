#pragma once
// The database file opened as numbered pages, changed only inside transactions: the
// opener (lock, recovery of a hot journal) in front of the Pager, which owns the pages and
// the transaction (Pager.h).
//
// A transaction collects changed pages in memory; nothing reaches the database file
// before commit(), which runs the journal protocol (Journal.h): originals to the journal
// and sync, pages to the file and sync, journal cleared and synced — unless it grows past
// the pager's spill bound, when part of it is written early behind a synced journal.
// rollback() forgets the collected pages, so an abandoned transaction that never spilled
// costs no I/O. A savepoint inside a transaction lets one failed row update be undone
// without losing the rows before it.
//
// REQUIRES: one thread; writes only on a file opened writable (held exclusively).
// GUARANTEES: read() sees the transaction's own changes; after commit() returns the
// changes are durable; a crash at any moment leaves either the state before or after the
// last commit once the file is opened again.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "jet/Error.h"
#include "jet/Pager.h"
#include "jet/journal/Journal.h"
#include "jet/os/Env.h"

namespace jet::journal {

class PageFile {
 public:
  enum class Mode { ReadOnly, Writable };
  struct Stats {
    uint64_t commits = 0;
    uint64_t syncs = 0;         // file and directory syncs, journal included
    uint64_t pagesWritten = 0;  // database pages written by commits and spills
    uint64_t spills = 0;
  };

  // Opens path. Writable: takes the exclusive lock (3045 when another holder has any
  // lock) and rolls back a hot journal before returning. ReadOnly: takes a shared lock
  // and refuses a hot journal (3049 with a description that says why).
  // syncs = false skips every sync (for measuring what they cost; never for users).
  static std::unique_ptr<PageFile> open(os::Env& env, const std::string& path, Mode mode,
                                        bool syncs = true);
  // Writes through a pager whose owner already opened, locked and recovered the file (see
  // Journal.h's recover()); the pager must outlive the PageFile.
  static std::unique_ptr<PageFile> attach(os::Env& env, const std::string& path, Pager& pager,
                                          bool syncs = true);
  ~PageFile();  // rolls back an open transaction; never throws

  const std::string& path() const { return path_; }
  bool writable() const { return mode_ == Mode::Writable; }
  bool recoveredOnOpen() const { return recovered_; }

  // Raw bytes at an offset of the committed file (for the header, before the page size
  // is known). Returns the count read.
  size_t readRaw(uint64_t offset, void* buf, size_t n);

  // REQUIRES: called once, before any page access, on a PageFile from open().
  void setPageSize(uint32_t pageSize);
  uint32_t pageSize() const { return pager_->pageSize(); }
  // Pages in the file, including those appended by the open transaction.
  uint32_t pageCount() const { return pager_->pageCount(); }
  Pager& pager() { return *pager_; }

  // Copies page n as the open transaction sees it into out (pageSize bytes). Fails with
  // 3049 when n lies beyond the end of the file.
  void read(uint32_t n, uint8_t* out);

  // Returns page n's bytes for changing, starting a transaction if none is open (see
  // Pager::modify for how long they stay put).
  uint8_t* modify(uint32_t n);
  // Appends a zero page to the file within the transaction and returns its number.
  uint32_t append();

  bool inTransaction() const { return pager_->inTransaction(); }
  // Time since the open transaction changed its first page.
  std::chrono::steady_clock::duration transactionAge() const { return pager_->transactionAge(); }

  // One level of savepoint: changes after beginSavepoint() can be undone alone.
  void beginSavepoint() { pager_->beginSavepoint(); }
  void releaseSavepoint() { pager_->releaseSavepoint(); }
  void rollbackToSavepoint() { pager_->rollbackToSavepoint(); }

  void commit();
  void rollback() { pager_->rollback(); }

  Stats stats() const;

 private:
  PageFile(os::Env& env, std::string path, Mode mode, bool syncs);
  void requireUsable(bool write);

  os::Env& env_;
  std::string path_;
  Mode mode_;
  bool syncs_;
  bool recovered_ = false;
  std::unique_ptr<os::File> owned_;
  os::File* file_ = nullptr;
  std::unique_ptr<Pager> ownedPager_;
  Pager* pager_ = nullptr;
};

}  // namespace jet::journal
