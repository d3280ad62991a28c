#include "jet/Recovery.h"

#include "jet/Error.h"

namespace jet {

std::string journalPathFor(const std::string& databasePath) { return databasePath + "-journal"; }

void recoverInterruptedWrite(os::Env& env, const std::string& path, os::File& file, bool writable) {
  const std::string journal = journalPathFor(path);
  if (!env.exists(journal)) return;
  throw damagedAt(path, "上次的修改没有完成，存在回滚日志 '" + journal + "'");
}

}  // namespace jet
