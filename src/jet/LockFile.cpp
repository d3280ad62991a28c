#include "jet/LockFile.h"

#include <unistd.h>

#include <cstring>

namespace jet {

std::string LockFile::pathFor(const std::string& db, bool ace) {
  const std::string ext = ace ? ".laccdb" : ".ldb";
  const auto slash = db.find_last_of('/');
  const auto dot = db.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    return db.substr(0, dot) + ext;
  return db + ext;
}

LockFile::LockFile(os::Env& env, const std::string& db, bool ace)
    : env_(env), path_(pathFor(db, ace)) {
  if (env_.exists(path_)) return;
  try {
    auto f = env_.open(path_, os::Env::Access::CreateReadWrite);
    char record[64];
    std::memset(record, 0, sizeof record);
    char host[33] = {};
    if (::gethostname(host, 32) != 0) std::strcpy(host, "localhost");
    std::memcpy(record, host, std::strlen(host));
    std::memcpy(record + 32, "Admin", 5);
    f->writeAt(0, record, sizeof record);
    created_ = true;
  } catch (const std::exception&) {
    created_ = false;
  }
}

LockFile::~LockFile() {
  if (!created_) return;
  try {
    env_.remove(path_);
  } catch (const std::exception&) {
  }
}

}  // namespace jet
