#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "Env.h"
#include "Path.h"

namespace jet::os {
namespace {

[[noreturn]] void fail(IoError::Op op, const std::string& path) {
  throw IoError(errno, op, path);
}

// Whether the permission bits of st let this process write, the superuser included.
bool bitsPermitWriting(const struct stat& st) {
  const uid_t uid = ::geteuid();
  if (uid == 0) return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
  if (st.st_uid == uid) return (st.st_mode & S_IWUSR) != 0;
  if (st.st_gid == ::getegid()) return (st.st_mode & S_IWGRP) != 0;
  return (st.st_mode & S_IWOTH) != 0;
}

// Open file descriptions with fcntl "OFD" locks: they conflict between two opens of the
// same file in one process as well as between processes, unlike classic POSIX locks.
class PosixFile final : public File {
 public:
  PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixFile() override { ::close(fd_); }

  size_t readAt(uint64_t offset, void* buf, size_t n) override {
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::pread(fd_, static_cast<char*>(buf) + done, n - done,
                          static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        fail(IoError::Op::Read, path_);
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    return done;
  }

  size_t readScattered(uint64_t offset, uint8_t* const* bufs, size_t count, size_t each) override {
    constexpr size_t kMaxVec = 64;
    const size_t total = count * each;
    size_t done = 0;
    while (done < total) {
      iovec iov[kMaxVec];
      const size_t first = done / each;
      int used = 0;
      for (size_t i = first; i < count && used < int(kMaxVec); ++i, ++used) {
        const size_t skip = i == first ? done % each : 0;
        iov[used].iov_base = bufs[i] + skip;
        iov[used].iov_len = each - skip;
      }
      const ssize_t r = ::preadv(fd_, iov, used, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        fail(IoError::Op::Read, path_);
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    return done;
  }

  void writeAt(uint64_t offset, const void* buf, size_t n) override {
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::pwrite(fd_, static_cast<const char*>(buf) + done, n - done,
                           static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        fail(IoError::Op::Write, path_);
      }
      done += static_cast<size_t>(r);
    }
  }

  void sync() override {
    if (::fdatasync(fd_) != 0) fail(IoError::Op::Sync, path_);
  }

  uint64_t size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) fail(IoError::Op::Size, path_);
    return static_cast<uint64_t>(st.st_size);
  }

  void truncate(uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) fail(IoError::Op::Truncate, path_);
  }

  bool tryLockExclusive() override { return lock(F_WRLCK, LOCK_EX); }
  bool tryLockShared() override { return lock(F_RDLCK, LOCK_SH); }

 private:
  // Programs lock with either call and each sees only its own kind, so both are taken:
  // flock(2) first, then the fcntl lock; a refusal of the second gives the first back.
  bool lock(short type, int flockType) {
    while (::flock(fd_, flockType | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      if (errno == EWOULDBLOCK) return false;
      if (errno == ENOLCK || errno == EINVAL) break;  // a file system without flock(2)
      fail(IoError::Op::Lock, path_);
    }
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    if (::fcntl(fd_, F_OFD_SETLK, &fl) == 0) return true;
    const int code = errno;
    if (code == EAGAIN || code == EACCES) {
      // Where flock(2) is carried out as a process's fcntl lock (NFS), the lock in the
      // way is our own flock: this process takes no other fcntl lock of that kind.
      struct flock in = fl;
      if (::fcntl(fd_, F_OFD_GETLK, &in) == 0 && in.l_type != F_UNLCK && in.l_pid == ::getpid())
        return true;
    }
    ::flock(fd_, LOCK_UN);
    if (code == EAGAIN || code == EACCES) return false;
    errno = code;
    fail(IoError::Op::Lock, path_);
  }

  int fd_;
  std::string path_;
};

class PosixEnv final : public Env {
 public:
  std::unique_ptr<File> open(const std::string& path, Access access) override {
    int flags = O_CLOEXEC;
    switch (access) {
      case Access::Read: flags |= O_RDONLY; break;
      case Access::ReadWrite:
      case Access::Exclusive: flags |= O_RDWR; break;
      case Access::CreateReadWrite: flags |= O_RDWR | O_CREAT; break;
    }
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) fail(IoError::Op::Open, path);
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      errno = EISDIR;
      fail(IoError::Op::Open, path);
    }
    return std::make_unique<PosixFile>(fd, path);
  }

  bool exists(const std::string& path) override { return ::access(path.c_str(), F_OK) == 0; }

  bool permitsWriting(const std::string& path) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !bitsPermitWriting(st)) return false;
    const std::string dir = folderOf(path);
    if (::stat(dir.c_str(), &st) != 0 || !bitsPermitWriting(st)) return false;
    // A read-only mount refuses even where the bits allow.
    return ::access(path.c_str(), W_OK) == 0 && ::access(dir.c_str(), W_OK) == 0;
  }

  void remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) fail(IoError::Op::Remove, path);
  }

  void rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) fail(IoError::Op::Rename, from);
  }

  void syncDirectoryOf(const std::string& path) override {
    const std::string dir = folderOf(path);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) fail(IoError::Op::Sync, dir);
    // A file system that cannot sync a folder (EINVAL) keeps its entries another way.
    if (::fsync(fd) != 0 && errno != EINVAL) {
      const int code = errno;
      ::close(fd);
      errno = code;
      fail(IoError::Op::Sync, dir);
    }
    ::close(fd);
  }
};

}  // namespace

Env& Env::system() {
  static PosixEnv env;
  return env;
}

std::string computerName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0 || host[0] == 0) return "localhost";
  return std::string(host).substr(0, 31);
}

}  // namespace jet::os
