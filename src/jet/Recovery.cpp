#include "jet/Recovery.h"

#include "jet/Error.h"
#include "jet/journal/Journal.h"

namespace jet {

std::string journalPathFor(const std::string& databasePath) {
  return journal::journalPath(databasePath);
}

void recoverInterruptedWrite(os::Env& env, const std::string& path, os::File& file, bool writable) {
  const std::string journal = journalPathFor(path);
  if (!env.exists(journal)) return;
  if (writable) {
    journal::recover(env, path, file);
    return;
  }
  // A cleared journal is a leftover of a finished write; only a hot one means damage.
  if (journal::isHot(env, path, file))
    throw damagedAt(path, "上次的修改没有完成，存在回滚日志 '" + journal +
                              "'；请先以可写方式打开一次，撤销未完成的修改");
}

}  // namespace jet
