#pragma once
// The engine's only door to the operating system: files, locks and syncs. Everything that
// touches the disk goes through an Env, so tests can swap in one that fails or "crashes"
// after any write or sync without a special build.
//
// Env::system() is the build's own: PosixEnv on Linux, WinEnv on Windows. Paths are UTF-8
// on both; WinEnv turns them into UTF-16 for the system's wide calls.
//
// GUARANTEES (both): readAt/writeAt transfer exactly the bytes asked or throw; sync()
// returns once the file's data is on stable storage. Every failure of the system leaves as
// an IoError: a jet::Error with the DAO number and Chinese text that fit the system's error
// (disk full 3026, no permission 3027, file in use 3045, anything else 3043), which callers
// may inspect (code(), path()) to say more about where it happened. code() is an errno
// value on both systems (WinEnv maps Windows' errors onto them).
#include <cstdint>
#include <memory>
#include <string>

#include "jet/Error.h"

namespace jet::os {

// What went wrong with one system call on one file.
class IoError : public Error {
 public:
  // A system error with no errno of its own (WinEnv) is carried as this plus its number.
  static constexpr int kSystemErrorBase = 0x10000;
  enum class Op { Open, Read, Write, Sync, Size, Truncate, Lock, Remove, Rename };
  IoError(int code, Op op, std::string path);
  int code() const noexcept { return code_; }
  Op op() const noexcept { return op_; }
  const std::string& path() const noexcept { return path_; }
  bool diskFull() const noexcept;
  bool denied() const noexcept;  // permission or a read-only file system
  // The same failure told with more of the caller's knowledge: `role` names the file
  // ("日志文件"), `outcome` says what became of the data ("数据库文件没有改动").
  Error restated(const std::string& role, const std::string& outcome) const;

 private:
  int code_;
  Op op_;
  std::string path_;
};

class File {
 public:
  virtual ~File() = default;
  // Reads n bytes at offset; fewer only at end of file (returns the count read).
  virtual size_t readAt(uint64_t offset, void* buf, size_t n) = 0;
  // Reads count consecutive blocks of `each` bytes at offset, block i into bufs[i] (one
  // scattered read where the system has one); fewer only at end of file (returns the
  // count of bytes read).
  virtual size_t readScattered(uint64_t offset, uint8_t* const* bufs, size_t count, size_t each) {
    size_t done = 0;
    for (size_t i = 0; i < count; ++i) {
      const size_t got = readAt(offset + done, bufs[i], each);
      done += got;
      if (got < each) break;
    }
    return done;
  }
  virtual void writeAt(uint64_t offset, const void* buf, size_t n) = 0;
  virtual void sync() = 0;
  virtual uint64_t size() = 0;
  virtual void truncate(uint64_t size) = 0;
  // An exclusive advisory lock over the whole file for the life of the File; false when
  // another holder (this process or another) has it.
  virtual bool tryLockExclusive() = 0;
  // A shared lock (readers); false when someone holds it exclusively.
  // PosixEnv: both kinds of advisory lock a Unix program may hold, fcntl(2) and flock(2),
  // are taken and honoured: a holder of either kind keeps the other out.
  // WinEnv: a byte-range lock past any Jet file's end (which wine also sets as a Unix
  // fcntl lock, so a Linux process and a Windows one keep each other out); the share
  // mode of a writable open already keeps every other writer out.
  virtual bool tryLockShared() = 0;
};

class Env {
 public:
  // Exclusive: read and write a database as Jet holds it: WinEnv opens it without write
  // sharing, so that while it is open no other program (nor another open of ours) can
  // open it for writing, and a file that another program holds open for writing cannot
  // be opened. PosixEnv opens it as ReadWrite: there the locks do that work. The other
  // kinds share the file (the engine's journal and lock file may be opened twice).
  enum class Access { Read, ReadWrite, CreateReadWrite, Exclusive };
  virtual ~Env() = default;
  // Throws IoError (code() ENOENT when absent, EACCES when not permitted, EBUSY when
  // another program holds the file open in a way that excludes this open: Windows only).
  virtual std::unique_ptr<File> open(const std::string& path, Access access) = 0;
  virtual bool exists(const std::string& path) = 0;
  // Whether the permission bits let this process change the file and create or remove
  // files in its folder. The bits decide even for the superuser, who may write anything:
  // a file marked read-only is kept read-only, as Jet keeps a file with the read-only
  // attribute (which is what WinEnv tests).
  virtual bool permitsWriting(const std::string& path) = 0;
  virtual void remove(const std::string& path) = 0;
  // Gives file `from` the name `to` in one step, replacing a file of that name: whoever
  // opens `to` finds the old file or the new one, never a mix. Both lie in one folder.
  virtual void rename(const std::string& from, const std::string& to) = 0;
  // Makes a created, renamed or removed directory entry durable (fsync of the parent
  // directory; nothing on Windows, whose file systems journal their directory entries).
  // Fails as a sync fails.
  virtual void syncDirectoryOf(const std::string& path) = 0;

  // The system's own Env (PosixEnv or WinEnv).
  static Env& system();
};

// The computer's name as the lock file's record holds it (at most 31 bytes).
std::string computerName();

}  // namespace jet::os
