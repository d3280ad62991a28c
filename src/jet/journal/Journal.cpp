#include "Journal.h"

#include <chrono>
#include <cstring>
#include <random>

namespace jet::journal {
namespace {

// Layout: a 512-byte header, then one record per page.
//   header: magic[8] pageSize:u32 records:u32 originalLength:u64 nonce:u64 checksum:u64
//   record: page:u32 image[pageSize] checksum:u64 (seeded with the nonce)
constexpr char kMagic[8] = {'M', 'D', 'B', 'C', 'J', 'R', 'N', '1'};
constexpr size_t kHeaderSize = 512;
constexpr size_t kHeaderUsed = 40;

uint64_t mix(uint64_t h, uint64_t w) {
  h ^= w;
  h *= 0x9E3779B97F4A7C15ull;
  return h ^ (h >> 31);
}

uint64_t checksum(uint64_t seed, const uint8_t* p, size_t n) {
  uint64_t h = mix(seed, n);
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    h = mix(h, w);
  }
  uint64_t tail = 0;
  std::memcpy(&tail, p + i, n - i);
  return mix(h, tail ^ 0xA5);
}

void put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
void put64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }
uint32_t get32(const uint8_t* p) { uint32_t v; std::memcpy(&v, p, 4); return v; }
uint64_t get64(const uint8_t* p) { uint64_t v; std::memcpy(&v, p, 8); return v; }

struct Header {
  uint32_t pageSize = 0;
  uint32_t records = 0;
  uint64_t originalLength = 0;
  uint64_t nonce = 0;
};

// Reads and checks the header; false when the journal is not hot.
bool readHeader(os::File& f, Header& h) {
  uint8_t b[kHeaderUsed];
  if (f.readAt(0, b, sizeof b) != sizeof b) return false;
  if (std::memcmp(b, kMagic, 8) != 0) return false;
  if (get64(b + 32) != checksum(0, b, 32)) return false;
  h.pageSize = get32(b + 8);
  h.records = get32(b + 12);
  h.originalLength = get64(b + 16);
  h.nonce = get64(b + 24);
  return h.pageSize == 2048 || h.pageSize == 4096;
}

uint64_t drawNonce() {
  static std::mt19937_64 rng(std::random_device{}() ^
                             static_cast<uint64_t>(
                                 std::chrono::steady_clock::now().time_since_epoch().count()));
  return rng();
}

}  // namespace

std::string journalPath(const std::string& dbPath) { return dbPath + "-journal"; }

bool isHot(os::Env& env, const std::string& dbPath) {
  const std::string path = journalPath(dbPath);
  if (!env.exists(path)) return false;
  auto f = env.open(path, os::Env::Access::Read);
  Header h;
  return readHeader(*f, h);
}

bool recover(os::Env& env, const std::string& dbPath, os::File& db) {
  const std::string path = journalPath(dbPath);
  if (!env.exists(path)) return false;
  Header h;
  bool hot;
  {
    auto f = env.open(path, os::Env::Access::ReadWrite);
    hot = readHeader(*f, h);
    if (hot) {
      const size_t recordSize = 4 + h.pageSize + 8;
      std::vector<uint8_t> rec(recordSize);
      for (uint32_t i = 0; i < h.records; ++i) {
        if (f->readAt(kHeaderSize + uint64_t(i) * recordSize, rec.data(), recordSize) !=
            recordSize)
          break;
        if (get64(rec.data() + 4 + h.pageSize) != checksum(h.nonce, rec.data(), 4 + h.pageSize))
          break;
        db.writeAt(uint64_t(get32(rec.data())) * h.pageSize, rec.data() + 4, h.pageSize);
      }
      if (db.size() > h.originalLength) db.truncate(h.originalLength);
      db.sync();
      // Only now may the journal stop being hot.
      uint8_t zero[kHeaderUsed] = {};
      f->writeAt(0, zero, sizeof zero);
      f->sync();
    }
  }
  env.remove(path);
  env.syncDirectoryOf(path);
  return hot;
}

Journal::Journal(os::Env& env, std::string dbPath, bool syncs)
    : env_(env), dbPath_(std::move(dbPath)), path_(journalPath(dbPath_)), syncEnabled_(syncs) {}

Journal::~Journal() {
  try {
    remove();
  } catch (...) {
  }
}

void Journal::sync() {
  if (!syncEnabled_) return;
  file_->sync();
  ++syncs_;
}

void Journal::write(uint32_t pageSize, uint64_t originalLength,
                    const std::vector<PageImage>& images) {
  bool created = false;
  if (!file_) {
    created = !env_.exists(path_);
    file_ = env_.open(path_, os::Env::Access::CreateReadWrite);
  }
  const size_t recordSize = 4 + pageSize + 8;
  buffer_.assign(kHeaderSize + images.size() * recordSize, 0);
  Header h{pageSize, static_cast<uint32_t>(images.size()), originalLength, drawNonce()};
  uint8_t* p = buffer_.data();
  std::memcpy(p, kMagic, 8);
  put32(p + 8, h.pageSize);
  put32(p + 12, h.records);
  put64(p + 16, h.originalLength);
  put64(p + 24, h.nonce);
  put64(p + 32, checksum(0, p, 32));
  uint8_t* r = p + kHeaderSize;
  for (const auto& img : images) {
    put32(r, img.page);
    std::memcpy(r + 4, img.bytes, pageSize);
    put64(r + 4 + pageSize, checksum(h.nonce, r, 4 + pageSize));
    r += recordSize;
  }
  hot_ = true;
  file_->writeAt(0, buffer_.data(), buffer_.size());
  sync();
  if (created && syncEnabled_) {
    env_.syncDirectoryOf(path_);
    ++syncs_;
  }
}

void Journal::clear() {
  if (!file_ || !hot_) return;
  uint8_t zero[kHeaderUsed] = {};
  file_->writeAt(0, zero, sizeof zero);
  sync();
  hot_ = false;
}

void Journal::remove() {
  if (!file_ || hot_) return;
  file_.reset();
  env_.remove(path_);
  if (syncEnabled_) env_.syncDirectoryOf(path_);
}

}  // namespace jet::journal
