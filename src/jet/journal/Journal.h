#pragma once
// The rollback journal: what makes every change of a database file all-or-nothing.
//
// INVARIANTS
// 1. What is journalled. Before a transaction overwrites any page of the database file,
//    the journal `<database>-journal` holds the original image of every page the
//    transaction will overwrite that lies inside the file's original length, and that
//    original length. Pages the transaction appends are not journalled: cutting the file
//    back to the original length removes them.
// 2. When syncs happen. (a) The journal is written whole and synced (and its directory
//    entry, when the file was just created) before the first database page is
//    overwritten. (b) The database file is synced after its last page is written.
//    (c) The journal's header is then cleared and the journal synced again.
// 3. The commit point is the sync of (c). A crash before it leaves a hot journal and the
//    transaction is rolled back; after it the transaction is durable.
// 4. A hot journal is a journal file whose header checks out (magic and checksum). It
//    exists only between (a) and (c), while the database may hold any mix of old and new
//    pages. The next read-write open rolls it back before anything reads the file: every
//    original image is written back, the file is cut to its original length and synced,
//    and only then is the journal cleared. A crash during a rollback leaves the journal
//    hot, so the rollback simply runs again. A read-only open that finds a hot journal
//    refuses: it may not write, and must not read a half-written file.
// 5. Every record carries a checksum seeded with a nonce drawn for its transaction, so
//    neither records left over from an earlier transaction nor a torn tail can pass as
//    part of this one. A record that fails its checksum proves the journal never reached
//    step (a)'s sync, so the database was never touched: rollback stops there.
// 6. The journal file stays in place, cleared, between transactions of one session (one
//    sync instead of a create, a delete and two directory syncs per commit) and is
//    removed when the database closes. A cleared journal is not hot and is removed by the
//    next open.
#include <cstdint>
#include <string>
#include <vector>

#include "jet/os/Env.h"

namespace jet::journal {

// The journal's path for a database file.
std::string journalPath(const std::string& dbPath);

// True when a hot journal lies beside dbPath. Never writes.
bool isHot(os::Env& env, const std::string& dbPath);

// Rolls a hot journal back into db (open read-write, exclusively locked), syncs db and
// clears and removes the journal. Returns false when there was nothing to roll back (a
// cleared or absent journal is removed all the same).
bool recover(os::Env& env, const std::string& dbPath, os::File& db);

struct PageImage {
  uint32_t page = 0;
  const uint8_t* bytes = nullptr;  // pageSize bytes
};

// The journal of one open database. REQUIRES: the database file is held exclusively.
class Journal {
 public:
  Journal(os::Env& env, std::string dbPath, bool syncs = true);
  ~Journal();  // removes the journal file if it is cleared; never throws
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Step (a): writes the original length and images and syncs. The journal is hot after.
  void write(uint32_t pageSize, uint64_t originalLength, const std::vector<PageImage>& images);
  // Step (c): clears the header and syncs. The commit point.
  void clear();
  // Removes a cleared journal file (durably). Called at close.
  void remove();

  uint64_t syncCount() const { return syncs_; }

 private:
  void sync();

  os::Env& env_;
  std::string dbPath_;
  std::string path_;
  std::unique_ptr<os::File> file_;
  bool syncEnabled_;
  bool hot_ = false;
  uint64_t syncs_ = 0;
  std::vector<uint8_t> buffer_;
};

}  // namespace jet::journal
