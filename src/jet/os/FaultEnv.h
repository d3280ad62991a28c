#pragma once
// An Env that "crashes": a test seam for the crash matrix, in every build.
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

  explicit FaultEnv(Env& base = Env::posix());
  ~FaultEnv() override;

  // Crash on the n-th disk-changing call from now (1 = the next one); 0 = never.
  void crashAt(uint64_t n);
  uint64_t events() const { return events_; }
  bool crashed() const { return crashed_; }
  // Applies the chosen loss to the disk and comes back to life (the crash point is off).
  void settle(Loss loss);

  std::unique_ptr<File> open(const std::string& path, Access access) override;
  bool exists(const std::string& path) override;
  void remove(const std::string& path) override;
  void syncDirectoryOf(const std::string& path) override;

  // Internal: the tracked state of one path, shared by its open files.
  struct Track {
    bool durableExists = true;  // the directory entry as the last directory sync left it
    uint64_t syncedSize = 0;
    // Undo records for unsynced changes, oldest first: bytes at offset before the change.
    std::vector<std::pair<uint64_t, std::vector<uint8_t>>> undo;
    std::optional<std::vector<uint8_t>> removedContent;  // durable content of a removed file
  };
  void event();  // counts one disk-changing call; throws when it is the crash point
  void checkAlive() const;
  Track& track(const std::string& path);
  Env& base() { return base_; }

 private:
  Env& base_;
  uint64_t events_ = 0;
  uint64_t crashAt_ = 0;
  bool crashed_ = false;
  std::map<std::string, Track> tracks_;
};

}  // namespace jet::os
