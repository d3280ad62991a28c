#pragma once
// A filtered walk over a table's data pages at the speed of reading them: the pages are
// read in chunks through Pager::readRun into buffers that are reused, each page's rows are
// tested on their stored bytes (RowTest), and only the rows the test keeps reach the
// calling thread, which decides them with the full condition. On a machine with more
// than one core a large table's chunks are read and tested on worker threads, several at
// a time; the calling thread takes them in page order, so the rows come in the order of
// the plain walk.
//
// REQUIRES: nothing changes the Pager's overlay while a sweep lives (the walk reads to
// its end, or is dropped, before the next write).
// GUARANTEES: workers call nothing of the Pager but readRun and never throw; whatever
// they cannot judge from a page alone (an overflow pointer, a slot or row that looks
// wrong, a page that failed to read) goes to the calling thread, which meets it where
// the plain walk meets it. A worker the system refuses to start leaves the whole sweep to
// the calling thread, the workers started before it stopped again.
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "jet/Database.h"
#include "jet/Pager.h"
#include "jet/format/DataPage.h"
#include "jet/format/Row.h"
#include "jet/format/TableDef.h"
#include "jet/os/Memory.h"

namespace jet {

// Whether stored text holds one of a set of ASCII characters, as each stored form
// writes it.
class AsciiSearch {
 public:
  explicit AsciiSearch(const bool (&ascii)[128]);

  // `padded`: the 15 bytes after the value may be read (its buffer goes on), so that a
  // short value is searched sixteen bytes at a time too.
  //
  // Any byte of the set: exact for code-page text that stores those characters as
  // themselves and for compressed Unicode without a two-byte run.
  bool anyByte(const uint8_t* p, uint32_t n, bool padded = false) const;
  // Jet 4 text exactly as its decoding reads it: compressed (FF FE, single bytes, a 0x00
  // switching to and from two-byte runs) or two-byte Unicode (a pair (c, 0) at an even
  // offset is the character c).
  bool jet4(const uint8_t* p, uint32_t n, bool padded = false) const;

 private:
  bool ucs2(const uint8_t* p, uint32_t n, bool padded) const;
  bool compressedRuns(const uint8_t* p, uint32_t n) const;

  static constexpr int kMaxWide = 16;
#ifdef __SSE2__
  __m128i needles_[kMaxWide];  // each character of the set in all sixteen lanes
#endif
  bool hit_[256] = {};
  uint8_t wide_[kMaxWide] = {};
  int count_ = 0;   // characters in the set (without NUL)
  bool nul_ = false;  // the set holds U+0000
};

// A RowFilter made ready for one table's rows. keep() is const and may run on several
// threads at once, each with its own RowView.
class RowTest {
 public:
  enum class Kind : uint8_t { KeepAll, Date, Jet4Text, CodePageText, Any };

  RowTest() = default;
  // `asciiAsItself[c]`: the code page stores character c as the byte c and no other
  // byte sequence decodes to it (Jet 3 text only; nullptr: unknown).
  RowTest(const RowFilter& f, const format::TableDef& def, const format::Version& v,
          const bool* asciiAsItself);

  Kind kind() const { return kind_; }
  // False only for a row the filter rules out; a row it cannot judge is kept. `padded`:
  // 15 bytes past the row may be read.
  bool keep(format::RowView& v, bool padded = false) const noexcept;

 private:
  Kind kind_ = Kind::KeepAll;
  uint16_t number_ = 0, fixedOffset_ = 0, varIndex_ = 0;
  double lo_ = 0, hi_ = 0;
  bool loOpen_ = false, hiOpen_ = false;
  std::shared_ptr<const AsciiSearch> search_;
  std::shared_ptr<const std::vector<RowTest>> any_;  // for Any: keeps what one of them keeps
};

// A row the calling thread must see: kept by the test, or not judged.
struct Candidate {
  uint16_t slot;
  int16_t prevLive;   // the last live slot before it on its page; -1 for none
};

using format::PageKind;  // Rows: the candidates follow; Bad: the plain walk fails here

struct PageRows {
  PageKind kind = PageKind::Skip;
  int16_t lastLive = -1;  // the last live slot of the page
  uint32_t firstCandidate = 0, endCandidate = 0;
};

// One page's rows as the plain walk meets them, keeping those the test keeps (and those
// it cannot judge) in `out`. `padded`: 15 bytes past the page may be read.
PageRows filterPage(const uint8_t* page, const format::Version& v, uint32_t tdefPage,
                    const RowTest& test, format::RowView& view, std::vector<Candidate>& out,
                    bool padded = false);

// How a sweep divides its work; zero fields take the defaults.
struct SweepTuning {
  int threads = 0;          // 1: the calling thread alone
  uint32_t chunkPages = 0;  // pages read and tested as one piece of work
  uint32_t minPages = 0;    // smaller tables are swept by the calling thread alone
  int refusedWorker = 0;    // test seam: starting worker N (from 1) fails as the system's would
};

// The threads a sweep uses when the tuning does not say: MDBCHECK_SCAN_THREADS when set
// (1 or more), else the machine's cores (at most 8).
int defaultScanThreads();

class PageSweep {
 public:
  struct Chunk {
    size_t first = 0;     // index into the page list
    size_t count = 0;
    size_t readable = 0;  // pages read; the rest failed and are read again by the caller
    os::PrefaultedBuffer bytes;  // left as it is between chunks: the reads fill what is used
    std::vector<PageRows> pages;
    std::vector<Candidate> candidates;
  };

  PageSweep(const Pager& pager, const std::vector<uint32_t>& pages, uint32_t tdefPage,
            RowTest test, SweepTuning tuning);
  ~PageSweep();
  PageSweep(const PageSweep&) = delete;
  PageSweep& operator=(const PageSweep&) = delete;

  // The next chunk in page order, read and tested; nullptr past the last. The chunk
  // returned before is given back.
  const Chunk* next();

  const RowTest& test() const { return test_; }
  int threads() const { return static_cast<int>(workers_.size()); }

 private:
  void fill(Chunk& c, size_t k, format::RowView& view) const;
  void work();
  void stopWorkers() noexcept;

  const Pager& pager_;
  const std::vector<uint32_t>& pages_;
  uint32_t tdefPage_;
  RowTest test_;
  size_t chunkPages_;
  size_t chunks_;
  std::vector<Chunk> slots_;
  format::RowView view_;  // the calling thread's, when it fills chunks itself

  std::mutex mu_;
  std::condition_variable wake_;   // workers: a slot came free, or stop
  std::condition_variable ready_;  // the caller: a chunk was filled
  std::vector<size_t> filled_;     // per slot: 1 + the chunk it holds, 0 while empty
  size_t nextToFill_ = 0;
  size_t nextToTake_ = 0;
  size_t released_ = 0;
  bool holding_ = false;
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace jet
