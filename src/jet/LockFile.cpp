#include "jet/LockFile.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "jet/os/Path.h"

namespace jet {
namespace {

constexpr size_t kRecord = 64;
constexpr size_t kMarkerAt = 56;
constexpr char kMarker[8] = {'M', 'D', 'B', 'C', 'W', 'R', 'I', 'T'};

std::vector<uint8_t> contentOf(os::File& f) {
  std::vector<uint8_t> b(static_cast<size_t>(std::min<uint64_t>(f.size(), 1u << 20)));
  b.resize(f.readAt(0, b.data(), b.size()));
  return b;
}

// Offsets of the records holding the marker.
std::vector<uint64_t> markedRecords(const std::vector<uint8_t>& b) {
  std::vector<uint64_t> out;
  for (size_t at = 0; at + kRecord <= b.size(); at += kRecord)
    if (std::memcmp(b.data() + at + kMarkerAt, kMarker, sizeof kMarker) == 0) out.push_back(at);
  return out;
}

}  // namespace

std::string LockFile::pathFor(const std::string& db, bool ace) {
  const std::string ext = ace ? ".laccdb" : ".ldb";
  const auto slash = os::lastSeparator(db);
  const auto dot = db.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    return db.substr(0, dot) + ext;
  return db + ext;
}

bool LockFile::showsInterruptedWrite(os::Env& env, const std::string& db, bool ace) {
  const std::string path = pathFor(db, ace);
  try {
    if (!env.exists(path)) return false;
    auto f = env.open(path, os::Env::Access::Read);
    return !markedRecords(contentOf(*f)).empty();
  } catch (const std::exception&) {
    return false;
  }
}

LockFile::LockFile(os::Env& env, const std::string& db, bool ace)
    : env_(env), path_(pathFor(db, ace)) {
  try {
    char record[kRecord];
    std::memset(record, 0, sizeof record);
    const std::string host = os::computerName();
    std::memcpy(record, host.data(), std::min<size_t>(host.size(), 31));
    std::memcpy(record + 32, "Admin", 5);
    if (env_.exists(path_)) {
      // Left by another program or by a session of ours that crashed.
      file_ = env_.open(path_, os::Env::Access::ReadWrite);
      const std::vector<uint8_t> b = contentOf(*file_);
      const char none[sizeof kMarker] = {};
      for (uint64_t at : markedRecords(b)) {
        foundMarker_ = true;
        file_->writeAt(at + kMarkerAt, none, sizeof none);
      }
      originalSize_ = b.size();
      record_ = (originalSize_ + kRecord - 1) / kRecord * kRecord;
    } else {
      file_ = env_.open(path_, os::Env::Access::CreateReadWrite);
      created_ = true;
    }
    file_->writeAt(record_, record, sizeof record);
  } catch (const os::IoError& e) {
    failure_ = e;
    file_.reset();
    if (created_) {
      try {
        env_.remove(path_);
      } catch (const std::exception&) {
      }
    }
    created_ = false;
  }
}

void LockFile::markWriting(bool writing) {
  if (!file_ || writing == marked_) return;
  const char none[sizeof kMarker] = {};
  file_->writeAt(record_ + kMarkerAt, writing ? kMarker : none, sizeof kMarker);
  marked_ = writing;
}

LockFile::~LockFile() {
  try {
    if (created_) {
      file_.reset();
      env_.remove(path_);
    } else if (file_) {
      file_->truncate(originalSize_);
    }
  } catch (const std::exception&) {
  }
}

}  // namespace jet
