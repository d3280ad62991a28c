#pragma once
// The Jet lock-file convention: while a database is open for writing, a file named like
// it with the extension .ldb (Jet) or .laccdb (ACE) lies beside it, holding 64-byte
// records of computer and user name; other programs take its presence as "in use".
//
// Our own record also says whether a commit is running: its last 8 bytes (the tail of
// the user-name field, after the name's terminating zero) hold a marker from just before
// the first byte of a commit is written until the commit is done. A crash leaves the lock
// file behind with the marker in it; the next open that finds the marker but no journal
// beside the database knows the journal of an interrupted commit was taken away.
//
// GUARANTEES: a LockFile removes the file at destruction only if it created it (a file
// left behind by a crashed program is not ours to delete: our record, appended to it, is
// cut off again). Failure to create or write it does not fail the open (reading needs no
// lock file; the OS lock on the database protects it): failure() keeps it, and a writer
// refuses its first change with it. The marker is a hint, never synced.
#include <cstdint>
#include <optional>
#include <string>

#include "jet/os/Env.h"

namespace jet {

class LockFile {
 public:
  LockFile(os::Env& env, const std::string& databasePath, bool ace);
  ~LockFile();
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;

  const std::string& path() const { return path_; }
  bool created() const { return created_; }
  // A record of the file as found held the marker (it is cleared now).
  bool foundInterruptedWrite() const { return foundMarker_; }
  // Sets or clears the marker in our record; throws the IoError of a write that fails.
  void markWriting(bool writing);
  // Why the file could not be created or our record written, when it could not.
  const std::optional<os::IoError>& failure() const { return failure_; }

  static std::string pathFor(const std::string& databasePath, bool ace);
  // Whether the lock file beside the database holds a marker, without changing anything.
  static bool showsInterruptedWrite(os::Env& env, const std::string& databasePath, bool ace);

 private:
  os::Env& env_;
  std::string path_;
  std::unique_ptr<os::File> file_;
  bool created_ = false;
  bool foundMarker_ = false;
  bool marked_ = false;
  std::optional<os::IoError> failure_;
  uint64_t record_ = 0;        // offset of our record
  uint64_t originalSize_ = 0;  // the size of a file found in place
};

}  // namespace jet
