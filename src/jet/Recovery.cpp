#include "jet/Recovery.h"

#include "jet/Error.h"

namespace jet {

std::string journalPathFor(const std::string& databasePath) {
  return journal::journalPath(databasePath);
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
