#pragma once
// The rollback journal: what makes every change of a database file all-or-nothing.
//
// INVARIANTS
// 1. What is journalled. Before a transaction overwrites any page of the database file,
//    the journal `<database>-journal` holds the original image of every page the
//    transaction will overwrite that lies inside the file's original length, the original
//    length, and a checksum of the new content of every page it writes (appended pages
//    included) with the new length. Appended pages need no original: cutting the file back
//    to the original length removes them.
// 2. When syncs happen. (a) The journal is written whole and synced (and its directory
//    entry, when the file was just created) before the first database page is
//    overwritten. (b) The database file is synced after its last page is written.
//    (c) The journal's header is then cleared; that write needs no sync of its own.
// 3. The commit point is the sync of (b). From then on the file holds the new content of
//    every page the journal names, which is how a later open recognises a finished
//    transaction whose journal outlived it (because (c) did not reach the disk).
// 4. A hot journal is one whose header and every record check out while the database
//    does not hold the transaction's new content and length. It can exist only between
//    (a) and (b), while the file may hold any mix of old and new pages. The next
//    read-write open rolls it back before anything reads the file: every original image is
//    written back, the file is cut to its original length and synced, and only then is the
//    journal cleared and synced. A crash during that rollback leaves the journal hot (a
//    rollback never turns every page new), so it simply runs again. A read-only open that
//    finds a hot journal may not write: it reads the file as the rollback would leave it
//    (the journal's original images over the file's pages, cut to the original length)
//    and leaves the journal where it is.
// 5. Every record carries a checksum seeded with a nonce drawn for its transaction, so
//    neither records left from an earlier transaction nor a torn tail pass as part of this
//    one. A journal whose records do not all check out never completed step (a)'s sync,
//    so the database was never touched by its transaction: it is discarded unapplied.
// 6. The journal file stays in place between transactions of one session (no create,
//    delete or directory sync per commit) and is removed when the database closes. A
//    cleared journal, or one whose transaction finished, is not hot and is removed by the
//    next open.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "jet/os/Env.h"

namespace jet::journal {

// The journal's path for a database file.
std::string journalPath(const std::string& dbPath);

// True when a hot journal lies beside dbPath (db: that file, open). Never writes.
bool isHot(os::Env& env, const std::string& dbPath, os::File& db);

// Rolls a hot journal back into db (open read-write, exclusively locked) and syncs db; a
// journal that is not hot is discarded. Either way the journal file is removed. Returns
// true when pages were rolled back. A journal that cannot be removed (the folder is not
// writable) fails with 3051 saying so and what to do; the rollback before it stands.
// evenIfFinished: roll back a complete journal whose pages all reached the file as well
// (for the writer whose commit failed before its commit point: the file's sync may not
// have made them durable, and the caller reports the commit as not done).
bool recover(os::Env& env, const std::string& dbPath, os::File& db, bool evenIfFinished = false);

// What a rollback of a hot journal would leave, for a reader that may not write: the
// original image of each page it restores, and the length it cuts the file to.
struct RolledBack {
  uint32_t pageSize = 0;
  uint64_t length = 0;
  std::unordered_map<uint32_t, std::vector<uint8_t>> pages;
};
// Empty when no hot journal lies beside dbPath. Never writes.
std::optional<RolledBack> rolledBack(os::Env& env, const std::string& dbPath, os::File& db);

struct PageImage {
  uint32_t page = 0;
  const uint8_t* original = nullptr;  // pageSize bytes; nullptr for a page appended
  const uint8_t* current = nullptr;   // pageSize bytes: what the transaction writes
};

// The journal of one open database. REQUIRES: the database file is held exclusively.
class Journal {
 public:
  Journal(os::Env& env, std::string dbPath, bool syncs = true);
  ~Journal();  // removes the journal file unless a transaction is still open; never throws
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // The new length a journal names while its transaction is still going on (it spilled
  // pages early): no file has it, so such a journal is always hot.
  static constexpr uint64_t kUnfinished = UINT64_MAX;

  // Step (a): writes the lengths, original images and new-content checksums, and syncs.
  void write(uint32_t pageSize, uint64_t originalLength, uint64_t newLength,
             const std::vector<PageImage>& images);
  // More records for the transaction write() started (pages it spills, then the rest at
  // commit), and the new length: the records are synced before the header counts them,
  // and the header is synced in turn, so a journal never names a record that is not on
  // disk. A page may appear again (without its original): its last record tells its new
  // content, its first its original. REQUIRES: write() of this transaction came first.
  void append(uint64_t newLength, const std::vector<PageImage>& images);
  // Step (c), after the database's sync: clears the header.
  void clear();
  // Removes the journal file. Called at close.
  void remove();

  uint64_t syncCount() const { return syncs_; }

 private:
  void sync();

  os::Env& env_;
  std::string dbPath_;
  std::string path_;
  std::unique_ptr<os::File> file_;
  bool syncEnabled_;
  bool open_ = false;  // between write() and clear()
  uint64_t syncs_ = 0;
  // The open transaction's journal: what append() continues.
  uint32_t pageSize_ = 0;
  uint64_t originalLength_ = 0;
  uint64_t nonce_ = 0;
  uint32_t records_ = 0;
  uint64_t end_ = 0;
};

}  // namespace jet::journal
