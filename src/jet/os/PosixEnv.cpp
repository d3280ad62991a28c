#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "Env.h"

namespace jet::os {
namespace {

[[noreturn]] void fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

class PosixMapping final : public Mapping {
 public:
  PosixMapping(void* p, uint64_t n) : p_(p), n_(n) {}
  ~PosixMapping() override { ::munmap(p_, n_); }
  const uint8_t* data() const override { return static_cast<const uint8_t*>(p_); }
  uint64_t length() const override { return n_; }

 private:
  void* p_;
  uint64_t n_;
};

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
        fail("read " + path_);
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
        fail("write " + path_);
      }
      done += static_cast<size_t>(r);
    }
  }

  void sync() override {
    if (::fdatasync(fd_) != 0) fail("sync " + path_);
  }

  uint64_t size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) fail("stat " + path_);
    return static_cast<uint64_t>(st.st_size);
  }

  void truncate(uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) fail("truncate " + path_);
  }

  bool tryLockExclusive() override { return lock(F_WRLCK); }
  bool tryLockShared() override { return lock(F_RDLCK); }

  std::unique_ptr<Mapping> mapReadOnly(uint64_t length) override {
    if (length == 0) return nullptr;
    void* p = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd_, 0);
    if (p == MAP_FAILED) return nullptr;
    return std::make_unique<PosixMapping>(p, length);
  }

 private:
  bool lock(short type) {
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    if (::fcntl(fd_, F_OFD_SETLK, &fl) == 0) return true;
    if (errno == EAGAIN || errno == EACCES) return false;
    fail("lock " + path_);
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
      case Access::ReadWrite: flags |= O_RDWR; break;
      case Access::CreateReadWrite: flags |= O_RDWR | O_CREAT; break;
    }
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) fail("open " + path);
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      errno = EISDIR;
      fail("open " + path);
    }
    return std::make_unique<PosixFile>(fd, path);
  }

  bool exists(const std::string& path) override { return ::access(path.c_str(), F_OK) == 0; }

  void remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) fail("remove " + path);
  }

  void syncDirectoryOf(const std::string& path) override {
    auto slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
  }
};

}  // namespace

Env& Env::posix() {
  static PosixEnv env;
  return env;
}

}  // namespace jet::os
