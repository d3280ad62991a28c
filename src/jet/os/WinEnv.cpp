// The Env of the Windows build: UTF-16 paths, offset I/O on one handle, and Jet's way of
// holding a database: a writable open shares reading only, so no other program can open
// the file for writing while we hold it and a file another program holds open for writing
// cannot be opened (ERROR_SHARING_VIOLATION, reported as "in use"). A byte-range lock far
// past the end of any Jet file tells readers and writers of our own kind apart, as the
// advisory locks do on Linux; wine carries it to the Unix side as an fcntl lock.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "Env.h"
#include "Path.h"
#include "Unicode.h"

namespace jet::os {
namespace {

// The range our locks take: past the end of any Jet file (they end at 2 GiB) and within
// the range a Unix fcntl lock can name.
constexpr uint64_t kLockOffset = uint64_t{1} << 62;

// A Windows error as the errno the rest of the engine (and IoError's texts) know.
int errnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD: return EACCES;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EBUSY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case 1295:  // ERROR_DISK_QUOTA_EXCEEDED, which MinGW's headers lack
      return ENOSPC;
    case ERROR_FILE_TOO_LARGE: return EFBIG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_UNRECOGNIZED_MEDIA: return ENODEV;
    case ERROR_CRC:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR: return EIO;
    case ERROR_SEM_TIMEOUT: return ETIMEDOUT;
    case ERROR_DIRECTORY: return EISDIR;
    default: return IoError::kSystemErrorBase + static_cast<int>(error);
  }
}

[[noreturn]] void fail(IoError::Op op, const std::string& path, DWORD error = GetLastError()) {
  throw IoError(errnoOf(error), op, path);
}

// ReadFile and WriteFile move at most 4 GiB less one byte per call.
constexpr size_t kMaxChunk = 1u << 30;

OVERLAPPED at(uint64_t offset) {
  OVERLAPPED o = {};
  o.Offset = static_cast<DWORD>(offset);
  o.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return o;
}

class WinFile final : public File {
 public:
  WinFile(HANDLE h, std::string path) : h_(h), path_(std::move(path)) {}
  ~WinFile() override {
    if (locked_) {
      OVERLAPPED o = at(kLockOffset);
      UnlockFileEx(h_, 0, 1, 0, &o);
    }
    CloseHandle(h_);
  }

  size_t readAt(uint64_t offset, void* buf, size_t n) override {
    size_t done = 0;
    while (done < n) {
      OVERLAPPED o = at(offset + done);
      DWORD got = 0;
      const DWORD want = static_cast<DWORD>(std::min(n - done, kMaxChunk));
      if (!ReadFile(h_, static_cast<char*>(buf) + done, want, &got, &o)) {
        const DWORD e = GetLastError();
        if (e == ERROR_HANDLE_EOF) break;
        fail(IoError::Op::Read, path_, e);
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }

  void writeAt(uint64_t offset, const void* buf, size_t n) override {
    size_t done = 0;
    while (done < n) {
      OVERLAPPED o = at(offset + done);
      DWORD put = 0;
      const DWORD want = static_cast<DWORD>(std::min(n - done, kMaxChunk));
      if (!WriteFile(h_, static_cast<const char*>(buf) + done, want, &put, &o))
        fail(IoError::Op::Write, path_);
      if (put == 0) fail(IoError::Op::Write, path_, ERROR_WRITE_FAULT);
      done += put;
    }
  }

  void sync() override {
    if (!FlushFileBuffers(h_)) fail(IoError::Op::Sync, path_);
  }

  uint64_t size() override {
    LARGE_INTEGER s;
    if (!GetFileSizeEx(h_, &s)) fail(IoError::Op::Size, path_);
    return static_cast<uint64_t>(s.QuadPart);
  }

  void truncate(uint64_t size) override {
    FILE_END_OF_FILE_INFO eof = {};
    eof.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFileInformationByHandle(h_, FileEndOfFileInfo, &eof, sizeof eof))
      fail(IoError::Op::Truncate, path_);
  }

  bool tryLockExclusive() override { return lock(LOCKFILE_EXCLUSIVE_LOCK); }
  bool tryLockShared() override { return lock(0); }

 private:
  bool lock(DWORD kind) {
    if (locked_) return true;
    OVERLAPPED o = at(kLockOffset);
    if (LockFileEx(h_, kind | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &o)) {
      locked_ = true;
      return true;
    }
    const DWORD e = GetLastError();
    if (e == ERROR_LOCK_VIOLATION || e == ERROR_SHARING_VIOLATION || e == ERROR_IO_PENDING)
      return false;
    fail(IoError::Op::Lock, path_, e);
  }

  HANDLE h_;
  std::string path_;
  bool locked_ = false;
};

class WinEnv final : public Env {
 public:
  std::unique_ptr<File> open(const std::string& path, Access access) override {
    const std::wstring wide = widen(path);
    DWORD rights = GENERIC_READ;
    // A database held for writing lets others read only; every other open shares (the
    // range lock keeps readers of our kind from a writer, as on Linux).
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    DWORD disposition = OPEN_EXISTING;
    if (access != Access::Read) rights |= GENERIC_WRITE;
    if (access == Access::Exclusive) share = FILE_SHARE_READ;
    if (access == Access::CreateReadWrite) disposition = OPEN_ALWAYS;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      fail(IoError::Op::Open, path, ERROR_DIRECTORY);
    // Wine lets an administrator write a file marked read-only; Windows does not.
    if (access != Access::Read && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY))
      fail(IoError::Op::Open, path, ERROR_ACCESS_DENIED);
    HANDLE h = CreateFileW(wide.c_str(), rights, share, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) fail(IoError::Op::Open, path);
    return std::make_unique<WinFile>(h, path);
  }

  bool exists(const std::string& path) override {
    return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  bool permitsWriting(const std::string& path) override {
    const DWORD file = GetFileAttributesW(widen(path).c_str());
    if (file == INVALID_FILE_ATTRIBUTES || (file & FILE_ATTRIBUTE_READONLY)) return false;
    // A folder's read-only attribute only marks it as customised; whether files can be
    // made in it shows when the journal is made.
    return GetFileAttributesW(widen(folderOf(path)).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  void remove(const std::string& path) override {
    if (!DeleteFileW(widen(path).c_str())) {
      const DWORD e = GetLastError();
      if (e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND) fail(IoError::Op::Remove, path, e);
    }
  }

  void rename(const std::string& from, const std::string& to) override {
    // Write-through: the call returns once the new name is on the disk, which is what a
    // folder sync gives on Linux.
    if (!MoveFileExW(widen(from).c_str(), widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      fail(IoError::Op::Rename, from);
  }

  void syncDirectoryOf(const std::string&) override {
    // NTFS and FAT keep a created or removed name in their own journal or write it
    // through; Windows offers no call that syncs a folder to an ordinary program.
  }
};

}  // namespace

Env& Env::system() {
  static WinEnv env;
  return env;
}

std::string computerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &n) || n == 0) return "localhost";
  return narrow(std::wstring_view(name, n)).substr(0, 31);
}

}  // namespace jet::os
