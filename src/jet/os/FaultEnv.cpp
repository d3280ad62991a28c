#include "FaultEnv.h"

#include <algorithm>

#include "jet/os/Path.h"

namespace jet::os {
namespace {

std::vector<uint8_t> readAll(File& f) {
  std::vector<uint8_t> b(f.size());
  b.resize(f.readAt(0, b.data(), b.size()));
  return b;
}

// Brings a file back to its last synced content, using the track's undo records.
void revert(File& f, FaultEnv::Track& t) {
  for (auto it = t.undo.rbegin(); it != t.undo.rend(); ++it)
    f.writeAt(it->first, it->second.data(), it->second.size());
  if (f.size() > t.syncedSize) f.truncate(t.syncedSize);
  t.undo.clear();
}

class FaultFile final : public File {
 public:
  FaultFile(FaultEnv& env, std::unique_ptr<File> base, std::string path)
      : env_(env), base_(std::move(base)), path_(std::move(path)) {}

  size_t readAt(uint64_t offset, void* buf, size_t n) override {
    env_.checkAlive();
    env_.call(FaultEnv::Call::Read, path_);
    return base_->readAt(offset, buf, n);
  }

  size_t readScattered(uint64_t offset, uint8_t* const* bufs, size_t count, size_t each) override {
    env_.checkAlive();
    env_.call(FaultEnv::Call::Read, path_);
    return base_->readScattered(offset, bufs, count, each);
  }

  void writeAt(uint64_t offset, const void* buf, size_t n) override {
    env_.checkAlive();
    env_.call(FaultEnv::Call::Write, path_);
    remember(offset, n);
    base_->writeAt(offset, buf, n);
    env_.event();
  }

  void sync() override {
    env_.checkAlive();
    env_.call(FaultEnv::Call::Sync, path_);
    base_->sync();
    auto& t = env_.track(path_);
    t.undo.clear();
    t.syncedSize = base_->size();
    env_.event();
  }

  uint64_t size() override {
    env_.checkAlive();
    return base_->size();
  }

  void truncate(uint64_t size) override {
    env_.checkAlive();
    env_.call(FaultEnv::Call::Write, path_);
    uint64_t cur = base_->size();
    if (size < cur) remember(size, cur - size);
    base_->truncate(size);
    env_.event();
  }

  bool tryLockExclusive() override {
    env_.checkAlive();
    return base_->tryLockExclusive();
  }
  bool tryLockShared() override {
    env_.checkAlive();
    return base_->tryLockShared();
  }

 private:
  // Keeps the bytes a change is about to overwrite, for a crash that loses it.
  void remember(uint64_t offset, uint64_t n) {
    uint64_t cur = base_->size();
    if (offset >= cur) return;
    uint64_t len = std::min<uint64_t>(n, cur - offset);
    std::vector<uint8_t> old(len);
    old.resize(base_->readAt(offset, old.data(), len));
    env_.track(path_).undo.emplace_back(offset, std::move(old));
  }

  FaultEnv& env_;
  std::unique_ptr<File> base_;
  std::string path_;
};

}  // namespace

FaultEnv::FaultEnv(Env& base) : base_(base) {}
FaultEnv::~FaultEnv() = default;

void FaultEnv::crashAt(uint64_t n) { crashAt_ = n == 0 ? 0 : events_ + n; }

void FaultEnv::failAt(Call kind, uint64_t n, int code, bool sticky) {
  failKind_ = kind;
  failAt_ = n == 0 ? 0 : calls(kind) + n;
  failCode_ = code;
  failSticky_ = sticky;
  failed_ = false;
}

void FaultEnv::call(Call kind, const std::string& path) {
  const uint64_t n = ++calls_[static_cast<int>(kind)];
  if (failAt_ == 0 || kind != failKind_) return;
  if (n == failAt_ || (failSticky_ && n > failAt_)) {
    failed_ = true;
    static constexpr IoError::Op ops[] = {IoError::Op::Read, IoError::Op::Write, IoError::Op::Sync,
                                          IoError::Op::Remove, IoError::Op::Rename};
    throw IoError(failCode_, ops[static_cast<int>(kind)], path);
  }
}

void FaultEnv::checkAlive() const {
  if (crashed_) throw SimulatedCrash();
}

void FaultEnv::event() {
  ++events_;
  if (crashAt_ != 0 && events_ == crashAt_) {
    crashed_ = true;
    throw SimulatedCrash();
  }
}

FaultEnv::Track& FaultEnv::track(const std::string& path) {
  auto it = tracks_.find(path);
  if (it != tracks_.end()) return it->second;
  Track t;
  t.durableExists = base_.exists(path);
  if (t.durableExists) {
    auto f = base_.open(path, Access::Read);
    t.syncedSize = f->size();
  }
  return tracks_.emplace(path, std::move(t)).first->second;
}

std::unique_ptr<File> FaultEnv::open(const std::string& path, Access access) {
  checkAlive();
  const bool existed = base_.exists(path);
  Track& t = track(path);
  auto f = base_.open(path, access);
  if (!existed && access == Access::CreateReadWrite) {
    // A new file: its content counts from nothing; its name survives only a directory sync.
    t.undo.clear();
    t.syncedSize = 0;
    event();
  }
  return std::make_unique<FaultFile>(*this, std::move(f), path);
}

bool FaultEnv::exists(const std::string& path) {
  checkAlive();
  return base_.exists(path);
}

std::vector<uint8_t> FaultEnv::durableContent(const std::string& path, const Track& t) {
  auto f = base_.open(path, Access::Read);
  auto now = readAll(*f);
  for (auto it = t.undo.rbegin(); it != t.undo.rend(); ++it) {
    if (now.size() < it->first + it->second.size()) now.resize(it->first + it->second.size());
    std::copy(it->second.begin(), it->second.end(), now.begin() + static_cast<ptrdiff_t>(it->first));
  }
  now.resize(std::min<uint64_t>(now.size(), t.syncedSize));
  return now;
}

void FaultEnv::remove(const std::string& path) {
  checkAlive();
  if (!base_.exists(path)) return;
  call(Call::Remove, path);
  Track& t = track(path);
  if (t.durableExists && !t.removedContent) t.removedContent = durableContent(path, t);
  t.undo.clear();
  t.syncedSize = 0;
  base_.remove(path);
  event();
}

// Until the folder is synced, a power failure brings back both names as the disk last
// held them: `from` with its durable content, `to` with its old one or not at all.
void FaultEnv::rename(const std::string& from, const std::string& to) {
  checkAlive();
  call(Call::Rename, from);
  Track& source = track(from);
  Track& target = track(to);
  if (target.durableExists && !target.removedContent && base_.exists(to))
    target.removedContent = durableContent(to, target);
  std::vector<std::pair<uint64_t, std::vector<uint8_t>>> undo = std::move(source.undo);
  const uint64_t syncedSize = source.syncedSize;
  if (source.durableExists && !source.removedContent)
    source.removedContent = durableContent(from, Track{true, syncedSize, undo, {}});
  source.undo.clear();
  source.syncedSize = 0;
  base_.rename(from, to);
  target.undo = std::move(undo);
  target.syncedSize = syncedSize;
  event();
}

void FaultEnv::syncDirectoryOf(const std::string& path) {
  checkAlive();
  const std::string dir = folderOf(path);
  call(Call::Sync, dir);
  base_.syncDirectoryOf(path);
  for (auto& [p, t] : tracks_) {
    if (folderOf(p) != dir) continue;
    t.durableExists = base_.exists(p);
    t.removedContent.reset();
    if (!t.durableExists) {
      t.undo.clear();
      t.syncedSize = 0;
    }
  }
  event();
}

void FaultEnv::settle(Loss loss) {
  crashed_ = false;
  crashAt_ = 0;
  failAt_ = 0;
  for (auto& [p, t] : tracks_) {
    const bool exists = base_.exists(p);
    if (loss == Loss::Unsynced) {
      if (t.removedContent) {
        auto f = base_.open(p, Access::CreateReadWrite);
        f->truncate(0);
        f->writeAt(0, t.removedContent->data(), t.removedContent->size());
        f->sync();
      } else if (!t.durableExists) {
        if (exists) base_.remove(p);
      } else if (exists) {
        auto f = base_.open(p, Access::ReadWrite);
        revert(*f, t);
        f->sync();
      }
    }
  }
  tracks_.clear();
}

}  // namespace jet::os
