#include "jet/Recovery.h"

#include <cerrno>

#include "jet/Error.h"

namespace jet {

std::string journalPathFor(const std::string& databasePath) {
  return journal::journalPath(databasePath);
}

std::unique_ptr<os::File> openLocked(os::Env& env, const std::string& path, bool writable) {
  std::unique_ptr<os::File> file;
  try {
    file = env.open(path, writable ? os::Env::Access::Exclusive : os::Env::Access::Read);
  } catch (const os::IoError& e) {
    if (e.code() == ENOENT) throw fileNotFound(path);
    if (e.code() == EROFS) throw noPermission(path);
    if (e.code() == EISDIR) throw unrecognizedFormat(path);
    throw;
  }
  if (!(writable ? file->tryLockExclusive() : file->tryLockShared())) throw fileInUse(path);
  return file;
}

std::optional<journal::RolledBack> recoverInterruptedWrite(os::Env& env, const std::string& path,
                                                           os::File& file, bool writable) {
  if (!env.exists(journalPathFor(path))) return std::nullopt;
  if (writable) {
    journal::recover(env, path, file);
    return std::nullopt;
  }
  // A cleared journal is a leftover of a finished write; a hot one is read around.
  return journal::rolledBack(env, path, file);
}

}  // namespace jet
