// Fuzzes the whole read side on one input taken as a database file: header, catalog,
// table definitions, usage maps, data pages, rows and long values. Every input must end
// in data or a jet::Error; anything else (a crash, a sanitizer report, another exception,
// a hang, an allocation beyond the limit) is a bug.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "jet/Error.h"
#include "jet/JetDatabase.h"
#include "jet/os/Env.h"

namespace {

// The input as a read-only file; locks always succeed, nothing is ever written.
class MemoryFile final : public jet::os::File {
 public:
  MemoryFile(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t readAt(uint64_t offset, void* buf, size_t n) override {
    if (offset >= size_) return 0;
    const size_t take = std::min<uint64_t>(n, size_ - offset);
    std::memcpy(buf, data_ + offset, take);
    return take;
  }
  void writeAt(uint64_t, const void*, size_t) override { throw jet::readOnly("fuzz"); }
  void sync() override {}
  uint64_t size() override { return size_; }
  void truncate(uint64_t) override {}
  bool tryLockExclusive() override { return true; }
  bool tryLockShared() override { return true; }

 private:
  const uint8_t* data_;
  size_t size_;
};

class MemoryEnv final : public jet::os::Env {
 public:
  MemoryEnv(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  std::unique_ptr<jet::os::File> open(const std::string&, Access) override {
    return std::make_unique<MemoryFile>(data_, size_);
  }
  bool exists(const std::string& path) override { return path == kPath; }
  bool permitsWriting(const std::string&) override { return false; }
  void remove(const std::string&) override {}
  void rename(const std::string&, const std::string&) override {}
  void syncDirectoryOf(const std::string&) override {}
  static constexpr const char* kPath = "/fuzz/input.mdb";

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryEnv env(data, size);
  try {
    auto db = jet::JetDatabase::open(env, MemoryEnv::kPath, jet::Database::Mode::ReadOnly);
    std::string text;
    double d;
    for (const auto& t : db->tables()) {
      if (t.linked) continue;
      try {
        auto cur = db->scan(t);
        for (int rows = 0; rows < 5000 && cur->next(); ++rows) {
          for (int c = 0; c < static_cast<int>(t.columns.size()); ++c) {
            (void)cur->value(c);
            (void)cur->date(c, d);
            (void)cur->text(c, text);
          }
          (void)db->read(t, cur->rowId(), 0);
        }
      } catch (const jet::Error&) {
        // A damaged table; the others may still read.
      }
    }
  } catch (const jet::Error&) {
  }
  return 0;
}
