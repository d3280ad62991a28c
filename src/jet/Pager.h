#pragma once
// The engine's view of the file as numbered pages.
//
// REQUIRES: an open File whose first page is a decoded Jet header (format/HeaderPage.h, a
// layer above, decodes it).
// GUARANTEES: page(n) returns ps readable bytes or throws format::Corrupt naming n; a
// pointer it returns stays valid while the Pager lives (the file is mapped once, with room
// to grow, so pages written or appended later through the File show through). Without a
// mapping, pages are read once into memory on first use and kept.
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "jet/format/Types.h"
#include "jet/os/Env.h"

namespace jet {

namespace journal {
class PageFile;
}

class Pager {
 public:
  Pager(os::File& file, const format::Version& version);

  uint32_t pageSize() const { return pageSize_; }
  // With the write path's overlay: the pages its transaction sees, appended ones included.
  uint32_t pageCount() const;
  const format::Version& version() const { return version_; }
  os::File& file() { return file_; }

  // The bytes of page n (0 < n, or 0 for the raw header page). Pages past the file's end
  // are damage unless the file has grown since the last look.
  const uint8_t* page(uint32_t n) {
    if (overlay_ != nullptr)
      if (const uint8_t* p = overlayPage(n)) return p;
    if (n >= pageCount_ && !grew(n)) outOfRange(n);
    if (map_) return map_->data() + static_cast<uint64_t>(n) * pageSize_;
    return readPage(n);
  }

  // Re-reads the file's size and forgets pages read without a mapping (after the file was
  // written through another path). Pointers from a mapping stay valid.
  void refresh();

  // Pages the write path has changed (committed or not) are read from its images, which
  // keep their address for the write path's life. REQUIRES: overlay outlives the Pager's use.
  void setOverlay(const journal::PageFile* overlay) { overlay_ = overlay; }

 private:
  bool grew(uint32_t n);
  [[noreturn]] void outOfRange(uint32_t n) const;
  const uint8_t* readPage(uint32_t n);
  const uint8_t* overlayPage(uint32_t n) const;

  os::File& file_;
  format::Version version_;
  uint32_t pageSize_;
  uint32_t pageCount_ = 0;
  std::unique_ptr<os::Mapping> map_;
  const journal::PageFile* overlay_ = nullptr;
  std::unordered_map<uint32_t, std::unique_ptr<uint8_t[]>> cache_;
};

}  // namespace jet
