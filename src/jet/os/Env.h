#pragma once
// The engine's only door to the operating system: files, locks and syncs. Everything that
// touches the disk goes through an Env, so tests can swap in one that fails or "crashes"
// after any write or sync without a special build.
//
// GUARANTEES (PosixEnv): readAt/writeAt transfer exactly the bytes asked or throw;
// sync() returns once the file's data is on stable storage.
#include <cstdint>
#include <memory>
#include <string>

namespace jet::os {

// A read-only view of a file's bytes. Later writes to the file through any File show
// through; bytes past the file's current end must not be touched (the view may be longer).
class Mapping {
 public:
  virtual ~Mapping() = default;
  virtual const uint8_t* data() const = 0;
  virtual uint64_t length() const = 0;
};

class File {
 public:
  virtual ~File() = default;
  // Reads n bytes at offset; fewer only at end of file (returns the count read).
  virtual size_t readAt(uint64_t offset, void* buf, size_t n) = 0;
  virtual void writeAt(uint64_t offset, const void* buf, size_t n) = 0;
  virtual void sync() = 0;
  virtual uint64_t size() = 0;
  virtual void truncate(uint64_t size) = 0;
  // An exclusive advisory lock over the whole file for the life of the File; false when
  // another holder (this process or another) has it.
  virtual bool tryLockExclusive() = 0;
  // A shared lock (readers); false when someone holds it exclusively.
  virtual bool tryLockShared() = 0;
  // Maps `length` bytes (which may exceed the file's size, so that the view survives the
  // file's growth); nullptr when this File cannot be mapped and must be read instead.
  virtual std::unique_ptr<Mapping> mapReadOnly(uint64_t length) { return nullptr; }
};

class Env {
 public:
  enum class Access { Read, ReadWrite, CreateReadWrite };
  virtual ~Env() = default;
  // Throws std::system_error (ENOENT when absent, EACCES when not permitted).
  virtual std::unique_ptr<File> open(const std::string& path, Access access) = 0;
  virtual bool exists(const std::string& path) = 0;
  virtual void remove(const std::string& path) = 0;
  // Makes a created or removed directory entry durable (fsync of the parent directory).
  virtual void syncDirectoryOf(const std::string& path) = 0;

  static Env& posix();
};

}  // namespace jet::os
