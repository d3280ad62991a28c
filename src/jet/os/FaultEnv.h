#pragma once
// An Env that "crashes" or fails: a test seam for the crash and I/O-error matrices, in
// every build.
//
// It passes everything to a real Env and counts the calls that change the disk (writes,
// truncations, syncs, removals, directory syncs). When the count reaches the crash point,
// the call is carried out and then throws SimulatedCrash; from then on every call throws
// (the process is "dead") until settle() decides what the disk kept:
//   Loss::None      every write issued reached the disk (the process died, the machine
//                   did not);
//   Loss::Unsynced  only what was synced survives: file contents revert to their last
//                   sync, files created or removed since their directory was last synced
//                   are removed or come back (the power failed).
// It can also make a chosen call fail the way the system fails it (failAt): the call does
// nothing and throws IoError with the given error number (EIO, ENOSPC, EACCES...), once or
// from then on (a disk that stays full); the process lives on.
// REQUIRES: the files it tracks are touched through this Env only, and fit in memory.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "jet/os/Env.h"

namespace jet::os {

struct SimulatedCrash : std::runtime_error {
  SimulatedCrash() : std::runtime_error("simulated crash") {}
};

class FaultEnv final : public Env {
 public:
  enum class Loss { None, Unsynced };
  // The calls an injected error can hit. Writes include truncations; syncs, those of a
  // folder.
  enum class Call { Read, Write, Sync, Remove, Rename };

  explicit FaultEnv(Env& base = Env::system());
  ~FaultEnv() override;

  // Crash on the n-th disk-changing call from now (1 = the next one); 0 = never.
  void crashAt(uint64_t n);
  uint64_t events() const { return events_; }
  bool crashed() const { return crashed_; }
  // The n-th call of `kind` from now (1 = the next) fails with system error `code`;
  // sticky: so does every later call of that kind. n = 0 turns injection off.
  void failAt(Call kind, uint64_t n, int code, bool sticky = false);
  uint64_t calls(Call kind) const { return calls_[static_cast<int>(kind)]; }
  bool failed() const { return failed_; }  // an injected error has been thrown
  // Applies the chosen loss to the disk and comes back to life (the crash point is off).
  void settle(Loss loss);

  std::unique_ptr<File> open(const std::string& path, Access access) override;
  bool exists(const std::string& path) override;
  bool permitsWriting(const std::string& path) override { return base_.permitsWriting(path); }
  void remove(const std::string& path) override;
  void rename(const std::string& from, const std::string& to) override;
  void syncDirectoryOf(const std::string& path) override;

  // Internal: the tracked state of one path, shared by its open files.
  struct Track {
    bool durableExists = true;  // the directory entry as the last directory sync left it
    uint64_t syncedSize = 0;
    // Undo records for unsynced changes, oldest first: bytes at offset before the change.
    std::vector<std::pair<uint64_t, std::vector<uint8_t>>> undo;
    std::optional<std::vector<uint8_t>> removedContent;  // durable content of a removed file
  };
  // What a power failure leaves of path now: its content minus the unsynced changes.
  std::vector<uint8_t> durableContent(const std::string& path, const Track& t);
  void event();  // counts one disk-changing call; throws when it is the crash point
  void checkAlive() const;
  // Counts one call of `kind` on path; throws IoError when it is the one to fail.
  void call(Call kind, const std::string& path);
  Track& track(const std::string& path);
  Env& base() { return base_; }

 private:
  Env& base_;
  uint64_t events_ = 0;
  uint64_t crashAt_ = 0;
  bool crashed_ = false;
  uint64_t calls_[5] = {};
  Call failKind_ = Call::Read;
  uint64_t failAt_ = 0;  // 0: none
  int failCode_ = 0;
  bool failSticky_ = false;
  bool failed_ = false;
  std::map<std::string, Track> tracks_;
};

}  // namespace jet::os
