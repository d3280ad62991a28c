#include "jet/ScanFilter.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "jet/Bytes.h"

namespace jet {

using namespace format;

// ---- text ---------------------------------------------------------------------------

AsciiSearch::AsciiSearch(const bool (&ascii)[128]) {
  nul_ = ascii[0];
  for (int c = 1; c < 128; ++c) {
    if (!ascii[c]) continue;
    hit_[c] = true;
    if (count_ < kMaxWide) wide_[count_] = static_cast<uint8_t>(c);
    ++count_;
  }
#ifdef __SSE2__
  for (int k = 0; k < kMaxWide; ++k) needles_[k] = _mm_set1_epi8(static_cast<char>(wide_[k]));
#endif
}

#ifdef __SSE2__
namespace {
// Bit i set when byte i of the sixteen at p is one of the needles.
inline unsigned hits16(const uint8_t* p, const __m128i* needles, int count) {
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i m = _mm_cmpeq_epi8(b, needles[0]);
  for (int k = 1; k < count; ++k) m = _mm_or_si128(m, _mm_cmpeq_epi8(b, needles[k]));
  return static_cast<unsigned>(_mm_movemask_epi8(m));
}
inline unsigned zeros16(const uint8_t* p) {
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(b, _mm_setzero_si128())));
}
}  // namespace
#endif

namespace {
// The bits of a sixteen-byte block at offset i that lie inside n bytes.
inline unsigned within(uint32_t i, uint32_t n) { return n - i >= 16 ? 0xFFFFu : (1u << (n - i)) - 1; }
}  // namespace

bool AsciiSearch::anyByte(const uint8_t* p, uint32_t n, bool padded) const {
  uint32_t i = 0;
#ifdef __SSE2__
  if (count_ > 0 && count_ <= kMaxWide) {
    if (padded) {
      for (; i < n; i += 16)
        if (hits16(p + i, needles_, count_) & within(i, n)) return true;
      return false;
    }
    for (; i + 16 <= n; i += 16)
      if (hits16(p + i, needles_, count_) != 0) return true;
  }
#endif
  for (; i < n; ++i)
    if (hit_[p[i]]) return true;
  return false;
}

bool AsciiSearch::ucs2(const uint8_t* p, uint32_t n, bool padded) const {
  // The decoding reads whole pairs; an odd last byte is no character.
  n &= ~1u;
  uint32_t i = 0;
#ifdef __SSE2__
  if (count_ > 0 && count_ <= kMaxWide && !nul_) {
    // A low byte of the set at an even offset whose high byte is zero.
    if (padded) {
      for (; i < n; i += 16) {
        const unsigned h = hits16(p + i, needles_, count_) & within(i, n);
        if (h != 0 && (h & (zeros16(p + i) >> 1) & 0x5555u)) return true;
      }
      return false;
    }
    for (; i + 16 <= n; i += 16) {
      const unsigned h = hits16(p + i, needles_, count_);
      if (h != 0 && (h & (zeros16(p + i) >> 1) & 0x5555u)) return true;
    }
  }
#endif
  for (; i + 1 < n; i += 2) {
    if (p[i + 1] != 0) continue;
    if (p[i] == 0 ? nul_ : hit_[p[i]]) return true;
  }
  return false;
}

bool AsciiSearch::compressedRuns(const uint8_t* p, uint32_t n) const {
  // As the decoding walks it: single bytes until a 0x00, then pairs until a pair whose
  // first byte is 0x00, which switches back (consuming that one byte).
  uint32_t i = 2;
  bool compressed = true;
  while (i < n) {
    if (compressed) {
      const uint8_t b = p[i++];
      if (b == 0)
        compressed = false;
      else if (b < 0x80 && hit_[b])
        return true;
    } else {
      if (i + 1 >= n) break;  // an odd byte left over
      if (p[i] == 0) {
        compressed = true;
        ++i;
        continue;
      }
      if (p[i + 1] == 0 && hit_[p[i]]) return true;
      i += 2;
    }
  }
  return false;
}

bool AsciiSearch::jet4(const uint8_t* p, uint32_t n, bool padded) const {
  if (n < 2 || p[0] != 0xFF || p[1] != 0xFE) return ucs2(p, n, padded);
  if (count_ == 0) return false;  // compressed text never decodes to U+0000
  // Without a 0x00 every byte after the marker is one character.
  const uint8_t* body = p + 2;
  const uint32_t m = n - 2;
  uint32_t i = 0;
  bool found = false;
#ifdef __SSE2__
  if (padded && count_ <= kMaxWide) {
    for (; i < m; i += 16) {
      const unsigned in = within(i, m);
      if (zeros16(body + i) & in) return compressedRuns(p, n);
      found = found || (hits16(body + i, needles_, count_) & in) != 0;
    }
    return found;
  }
  for (; i + 16 <= m; i += 16) {
    if (zeros16(body + i) != 0) return compressedRuns(p, n);
    if (found) continue;
    if (count_ <= kMaxWide) {
      found = hits16(body + i, needles_, count_) != 0;
    } else {
      for (uint32_t k = i; k < i + 16; ++k) found = found || hit_[body[k]];
    }
  }
#endif
  for (; i < m; ++i) {
    if (body[i] == 0) return compressedRuns(p, n);
    found = found || hit_[body[i]];
  }
  return found;
}

// ---- rows ---------------------------------------------------------------------------

RowTest::RowTest(const RowFilter& f, const TableDef& def, const Version& v, const bool* asciiAsItself) {
  if (f.kind == RowFilter::Kind::Any) {
    // One alternative that keeps every row makes the whole test keep every row.
    auto tests = std::make_shared<std::vector<RowTest>>();
    for (const RowFilter& g : f.any) {
      tests->emplace_back(g, def, v, asciiAsItself);
      if (tests->back().kind() == Kind::KeepAll) return;
    }
    if (tests->empty()) return;
    kind_ = Kind::Any;
    any_ = std::move(tests);
    return;
  }
  if (f.column < 0 || static_cast<size_t>(f.column) >= def.columns.size()) return;
  const ColumnDef& c = def.columns[f.column];
  number_ = c.number;
  fixedOffset_ = c.fixedOffset;
  varIndex_ = c.varIndex;
  if (f.kind == RowFilter::Kind::DateIn && c.type == coltype::kDateTime && c.fixed() &&
      !c.calculated() && c.length >= 8) {
    kind_ = Kind::Date;
    lo_ = f.lo;
    hi_ = f.hi;
    loOpen_ = f.loOpen;
    hiOpen_ = f.hiOpen;
    return;
  }
  if (f.kind != RowFilter::Kind::TextHasAscii || c.type != coltype::kText || c.fixed() || c.calculated())
    return;
  if (!v.jet3()) {
    kind_ = Kind::Jet4Text;
  } else {
    if (asciiAsItself == nullptr) return;
    for (int ch = 0; ch < 128; ++ch)
      if (f.ascii[ch] && !asciiAsItself[ch]) return;
    kind_ = Kind::CodePageText;
  }
  search_ = std::make_shared<const AsciiSearch>(f.ascii);
}

bool RowTest::keep(RowView& v, bool padded) const noexcept {
  switch (kind_) {
    case Kind::KeepAll: return true;
    case Kind::Date: {
      if (!v.present(number_)) return false;  // Null: no comparison holds
      const uint8_t* p = v.fixed(fixedOffset_, 8);
      if (p == nullptr) return true;  // too short: the full read reports it
      double d;
      std::memcpy(&d, p, 8);
      return (loOpen_ ? d > lo_ : d >= lo_) && (hiOpen_ ? d < hi_ : d <= hi_);
    }
    case Kind::Jet4Text:
    case Kind::CodePageText: {
      if (!v.present(number_)) return false;
      const uint8_t* p;
      uint32_t n;
      try {
        if (!v.variable(varIndex_, &p, &n)) return false;
      } catch (...) {
        return true;  // damaged offsets: the full read reports them
      }
      return kind_ == Kind::Jet4Text ? search_->jet4(p, n, padded) : search_->anyByte(p, n, padded);
    }
    case Kind::Any:
      for (const RowTest& t : *any_)
        if (t.keep(v, padded)) return true;
      return false;
  }
  return true;
}

PageRows filterPage(const uint8_t* p, const Version& v, uint32_t tdefPage, const RowTest& test,
                    RowView& view, std::vector<Candidate>& out, bool padded) {
  PageRows r;
  r.firstCandidate = r.endCandidate = static_cast<uint32_t>(out.size());
  r.kind = DataPage::kindFor(p, tdefPage, v);
  if (r.kind != PageKind::Rows) return r;
  int16_t live = -1;
  for (SlotCursor c = DataPage::slotsOf(p, v); c.next();) {
    const SlotKind kind = c.kind();
    if (!isLive(kind)) continue;
    const Candidate cand{c.slot(), live};
    live = static_cast<int16_t>(c.slot());
    if (kind == SlotKind::Pointer || !c.sound() || !view.tryReset(p + c.start(), c.length()) ||
        test.keep(view, padded))
      out.push_back(cand);
  }
  r.lastLive = live;
  r.endCandidate = static_cast<uint32_t>(out.size());
  return r;
}

// ---- the sweep ----------------------------------------------------------------------

int defaultScanThreads() {
  if (const char* s = std::getenv("MDBCHECK_SCAN_THREADS")) {
    const int n = std::atoi(s);
    if (n >= 1) return std::min(n, 64);
  }
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, 8u));
}

namespace {
// A few chunks in flight stay in the processor's caches; larger ones gained the threads
// nothing and cost a short-lived process its memory's first touch.
constexpr size_t kChunkBytes = 256 * 1024;
constexpr uint32_t kMinThreadedPages = 2048;
constexpr size_t kPadding = 16;  // past a chunk's last page, for the text search
}  // namespace

PageSweep::PageSweep(const Pager& pager, const std::vector<uint32_t>& pages, uint32_t tdefPage,
                     RowTest test, SweepTuning tuning)
    : pager_(pager), pages_(pages), tdefPage_(tdefPage), test_(std::move(test)), view_(pager.version()) {
  const uint32_t ps = pager_.pageSize();
  int threads = tuning.threads != 0 ? tuning.threads : defaultScanThreads();
  const uint32_t minPages = tuning.minPages != 0 ? tuning.minPages : kMinThreadedPages;
  if (pages_.size() < minPages) threads = 1;
  chunkPages_ = tuning.chunkPages != 0 ? tuning.chunkPages : std::max<size_t>(1, kChunkBytes / ps);
  chunks_ = (pages_.size() + chunkPages_ - 1) / chunkPages_;
  threads = chunks_ < 2 ? 1 : static_cast<int>(std::min<size_t>(threads, chunks_));
  // Two chunks per worker: one being filled while the caller reads the other.
  const size_t slots = threads > 1 ? 2 * size_t(threads) : 1;
  slots_.resize(slots);
  filled_.assign(slots, 0);
  if (threads > 1) {
    try {
      workers_.reserve(threads);
      for (int i = 1; i <= threads; ++i) {
        if (i == tuning.refusedWorker) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        workers_.emplace_back([this] { work(); });
      }
    } catch (...) {
      // The system gave no more threads (or no memory to keep them): those started stop,
      // and the calling thread sweeps alone from the first chunk, as on one core.
      stopWorkers();
      stop_ = false;
      nextToFill_ = 0;
      slots_.resize(1);
      filled_.assign(1, 0);
    }
  }
}

PageSweep::~PageSweep() { stopWorkers(); }

void PageSweep::stopWorkers() noexcept {
  {
    std::lock_guard lock(mu_);
    stop_ = true;
  }
  wake_.notify_all();
  for (auto& t : workers_) t.join();
  workers_.clear();
}

void PageSweep::fill(Chunk& c, size_t k, RowView& view) const {
  const uint32_t ps = pager_.pageSize();
  c.first = k * chunkPages_;
  c.count = std::min(chunkPages_, pages_.size() - c.first);
  if (c.bytes.size() < chunkPages_ * ps + kPadding) {
    c.bytes = os::PrefaultedBuffer(chunkPages_ * ps + kPadding);  // what is used is read into
    std::memset(c.bytes.data() + chunkPages_ * ps, 0, kPadding);
  }
  c.pages.clear();
  c.candidates.clear();
  // Runs of consecutive page numbers, one read each; a run that fails ends what the
  // chunk holds, and the caller reads the rest through the pager.
  size_t i = 0;
  try {
    while (i < c.count) {
      size_t j = i + 1;
      while (j < c.count && pages_[c.first + j] == pages_[c.first + j - 1] + 1) ++j;
      pager_.readRun(pages_[c.first + i], static_cast<uint32_t>(j - i), c.bytes.data() + i * ps);
      i = j;
    }
  } catch (...) {
  }
  c.readable = i;
  for (size_t p = 0; p < c.readable; ++p)
    c.pages.push_back(filterPage(c.bytes.data() + p * ps, pager_.version(), tdefPage_, test_, view, c.candidates, true));
}

void PageSweep::work() {
  RowView view(pager_.version());
  for (;;) {
    size_t k;
    {
      std::unique_lock lock(mu_);
      wake_.wait(lock, [&] { return stop_ || nextToFill_ >= chunks_ || nextToFill_ < released_ + slots_.size(); });
      if (stop_ || nextToFill_ >= chunks_) return;
      k = nextToFill_++;
    }
    Chunk& c = slots_[k % slots_.size()];
    try {
      fill(c, k, view);
    } catch (...) {
      // Out of memory for a chunk's lists: the caller reads those pages itself.
      c.pages.clear();
      c.candidates.clear();
      c.readable = 0;
    }
    {
      std::lock_guard lock(mu_);
      filled_[k % slots_.size()] = k + 1;
    }
    ready_.notify_all();
  }
}

const PageSweep::Chunk* PageSweep::next() {
  if (holding_) {
    holding_ = false;
    if (!workers_.empty()) {
      {
        std::lock_guard lock(mu_);
        filled_[(nextToTake_ - 1) % slots_.size()] = 0;
        ++released_;
      }
      wake_.notify_all();
    }
  }
  if (nextToTake_ >= chunks_) return nullptr;
  const size_t k = nextToTake_++;
  Chunk& c = slots_[k % slots_.size()];
  if (workers_.empty()) {
    fill(c, k, view_);
  } else {
    std::unique_lock lock(mu_);
    ready_.wait(lock, [&] { return filled_[k % slots_.size()] == k + 1; });
  }
  holding_ = true;
  return &c;
}

}  // namespace jet
