#pragma once
// The Jet lock-file convention: while a database is open for writing, a file named like
// it with the extension .ldb (Jet) or .laccdb (ACE) lies beside it, holding 64-byte
// records of computer and user name; other programs take its presence as "in use".
//
// GUARANTEES: a LockFile removes the file at destruction only if it created it (a file
// left behind by a crashed program is not ours to delete). Failure to create it (a
// read-only folder) is not an error: the OS lock on the database still protects it.
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

  static std::string pathFor(const std::string& databasePath, bool ace);

 private:
  os::Env& env_;
  std::string path_;
  bool created_ = false;
};

}  // namespace jet
