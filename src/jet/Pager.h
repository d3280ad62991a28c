#pragma once
// The engine's view of the file as numbered pages, and the one road to a page: the scans,
// the row writer, the index writer and the usage-map code read every page through page(n).
// Once the write path starts, its PageFile is the overlay: a page the transaction changed
// (committed or not) is read from the PageFile's image, every other page from the file.
// Pages change only through the PageFile (modify/append), never through these bytes.
//
// REQUIRES: an open File whose first page is a decoded Jet header (format/HeaderPage.h, a
// layer above, decodes it).
// GUARANTEES: page(n) returns ps readable bytes or throws format::Corrupt naming n (an
// I/O error of the system leaves as the jet::Error the Env reports); a pointer it returns
// stays valid while the Pager lives. Pages are read with pread(2) in runs, once, and kept:
// the file is never mapped, so a disk that fails under a page is an error, not SIGBUS.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "jet/format/Types.h"
#include "jet/journal/Journal.h"
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
    if (n < pages_.size() && pages_[n] != nullptr) return pages_[n];
    return readPage(n);
  }

  // Pages the write path has changed (committed or not) are read from its images, which
  // keep their address for the write path's life. REQUIRES: overlay outlives the Pager's use.
  void setOverlay(const journal::PageFile* overlay) { overlay_ = overlay; }

  // Reads the file as a rollback of its hot journal would leave it, without writing: the
  // journal's original images take the place of those pages, and the file ends at the
  // original length. REQUIRES: before any page is read.
  void setRolledBack(journal::RolledBack rolledBack);
  bool rolledBack() const { return rolledBack_.has_value(); }

 private:
  bool grew(uint32_t n);
  [[noreturn]] void outOfRange(uint32_t n) const;
  const uint8_t* readPage(uint32_t n);
  const uint8_t* overlayPage(uint32_t n) const;

  os::File& file_;
  format::Version version_;
  uint32_t pageSize_;
  uint32_t pageCount_ = 0;
  const journal::PageFile* overlay_ = nullptr;
  std::optional<journal::RolledBack> rolledBack_;
  struct Block {  // anonymous memory holding one run of pages
    void* data;
    size_t length;
    Block(void* d, size_t n) : data(d), length(n) {}
    Block(Block&& o) noexcept : data(o.data), length(o.length) { o.data = nullptr; }
    Block& operator=(Block&&) = delete;
    ~Block();
  };
  std::vector<const uint8_t*> pages_;  // by page number; null: not read yet
  std::vector<Block> blocks_;          // the runs read, which pages_ points into
  uint32_t nextInRun_ = 0;             // the page after the last run: a walk in file order
  uint32_t run_ = 0;                   // pages the next sequential read takes

 public:
  // Pages first .. first + count - 1 copied into out (count * pageSize() bytes) as page(n)
  // would give them: the write path's images and the rolled-back images in place of those
  // pages, the rest read from the file in as few calls as they allow. Nothing is kept, so a
  // large scan costs no memory of its own; the failures are those of page(n).
  // Safe to call from several threads at once, and alongside page(n) on another, while
  // nothing changes the overlay.
  void readRun(uint32_t first, uint32_t count, uint8_t* out) const;
};

}  // namespace jet
