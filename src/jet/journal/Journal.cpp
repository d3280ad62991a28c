#include "Journal.h"

#include "jet/Error.h"
#include "jet/os/Path.h"

#include <chrono>
#include <cstring>
#include <random>

namespace jet::journal {
namespace {

// Layout: a 512-byte header, then one record per page the transaction writes.
//   header: magic[8] pageSize:u32 records:u32 originalLength:u64 newLength:u64 nonce:u64
//           checksum:u64
//   record: page:u32 hasOriginal:u32 newSum:u64 [original image] checksum:u64 (nonce-seeded)
constexpr char kMagic[8] = {'M', 'D', 'B', 'C', 'J', 'R', 'N', '2'};
constexpr size_t kHeaderSize = 512;
constexpr size_t kHeaderUsed = 48;
constexpr uint64_t kContentSeed = 0x6A6F75726E616Cull;

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

struct Record {
  uint32_t page;
  bool hasOriginal;
  uint64_t newSum;
  size_t original;  // offset of the original image in the journal's bytes
};

struct Parsed {
  bool valid = false;     // the header checks out
  bool complete = false;  // and so does every record
  uint32_t pageSize = 0;
  uint64_t originalLength = 0, newLength = 0;
  std::vector<uint8_t> bytes;
  std::vector<Record> records;
};

Parsed parse(os::File& f) {
  Parsed j;
  j.bytes.resize(f.size());
  j.bytes.resize(f.readAt(0, j.bytes.data(), j.bytes.size()));
  const uint8_t* b = j.bytes.data();
  if (j.bytes.size() < kHeaderSize || std::memcmp(b, kMagic, 8) != 0) return j;
  if (get64(b + 40) != checksum(0, b, 40)) return j;
  j.pageSize = get32(b + 8);
  const uint32_t count = get32(b + 12);
  j.originalLength = get64(b + 16);
  j.newLength = get64(b + 24);
  const uint64_t nonce = get64(b + 32);
  if (j.pageSize != 2048 && j.pageSize != 4096) return j;
  j.valid = true;
  size_t at = kHeaderSize;
  for (uint32_t i = 0; i < count; ++i) {
    if (at + 16 > j.bytes.size()) return j;
    Record r{get32(b + at), get32(b + at + 4) != 0, get64(b + at + 8), at + 16};
    const size_t end = r.original + (r.hasOriginal ? j.pageSize : 0);
    if (end + 8 > j.bytes.size() || get64(b + end) != checksum(nonce, b + at, end - at)) return j;
    j.records.push_back(r);
    at = end + 8;
  }
  j.complete = true;
  return j;
}

// Whether the database already holds everything the journal's transaction wrote.
// A page recorded more than once (written early, then again at commit) must hold what its
// last record says.
bool finished(const Parsed& j, os::File& db) {
  if (db.size() != j.newLength) return false;
  std::unordered_map<uint32_t, uint64_t> last;
  for (const Record& r : j.records) last[r.page] = r.newSum;
  std::vector<uint8_t> page(j.pageSize);
  for (const auto& [n, sum] : last) {
    if (db.readAt(uint64_t(n) * j.pageSize, page.data(), page.size()) != page.size())
      return false;
    if (checksum(kContentSeed, page.data(), page.size()) != sum) return false;
  }
  return true;
}

uint64_t drawNonce() {
  static std::mt19937_64 rng(std::random_device{}() ^
                             static_cast<uint64_t>(
                                 std::chrono::steady_clock::now().time_since_epoch().count()));
  return rng();
}

}  // namespace

std::string journalPath(const std::string& dbPath) { return dbPath + "-journal"; }

bool isHot(os::Env& env, const std::string& dbPath, os::File& db) {
  const std::string path = journalPath(dbPath);
  if (!env.exists(path)) return false;
  auto f = env.open(path, os::Env::Access::Read);
  const Parsed j = parse(*f);
  return j.valid && j.complete && !finished(j, db);
}

std::optional<RolledBack> rolledBack(os::Env& env, const std::string& dbPath, os::File& db) {
  const std::string path = journalPath(dbPath);
  if (!env.exists(path)) return std::nullopt;
  auto f = env.open(path, os::Env::Access::Read);
  const Parsed j = parse(*f);
  if (!(j.valid && j.complete && !finished(j, db))) return std::nullopt;
  RolledBack r;
  r.pageSize = j.pageSize;
  r.length = j.originalLength;
  for (const Record& rec : j.records)
    if (rec.hasOriginal && !r.pages.count(rec.page))
      r.pages[rec.page].assign(j.bytes.begin() + static_cast<ptrdiff_t>(rec.original),
                               j.bytes.begin() + static_cast<ptrdiff_t>(rec.original + j.pageSize));
  return r;
}

namespace {

// A journal the open cannot get rid of: what is wrong, what state the file is in, and
// what to do.
Error stuckJournal(const std::string& path, bool rolledBack, const os::IoError& e) {
  std::string text = "不能删除日志文件 '" + path + "'（" + e.description() + "）。";
  text += rolledBack ? "上次未完成的修改已经撤销，数据库文件处于上次提交后的状态。"
                     : "数据库文件处于上次提交后的状态。";
  text += "请给文件夹 '" + os::folderOf(path) + "' 写入权限后再打开；在此之前只能以只读方式打开。";
  return Error(err::kNoPermission, text);
}

}  // namespace

bool recover(os::Env& env, const std::string& dbPath, os::File& db, bool evenIfFinished) {
  const std::string path = journalPath(dbPath);
  if (!env.exists(path)) return false;
  bool hot = false;
  try {
    auto f = env.open(path, os::Env::Access::ReadWrite);
    const Parsed j = parse(*f);
    hot = j.valid && j.complete && (evenIfFinished || !finished(j, db));
    if (hot) {
      // Last to first: should a page carry two originals, its first one stands.
      for (auto r = j.records.rbegin(); r != j.records.rend(); ++r)
        if (r->hasOriginal)
          db.writeAt(uint64_t(r->page) * j.pageSize, j.bytes.data() + r->original, j.pageSize);
      if (db.size() > j.originalLength) db.truncate(j.originalLength);
      db.sync();
      // Only now may the journal stop being hot.
      uint8_t zero[kHeaderUsed] = {};
      f->writeAt(0, zero, sizeof zero);
      f->sync();
    }
    f.reset();
    env.remove(path);
  } catch (const os::IoError& e) {
    if (e.op() == os::IoError::Op::Remove) throw stuckJournal(path, hot, e);
    throw;
  }
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

namespace {

// The records of images, each checked with the transaction's nonce.
std::vector<uint8_t> encodeRecords(uint32_t pageSize, uint64_t nonce,
                                   const std::vector<PageImage>& images) {
  size_t size = 0;
  for (const auto& img : images) size += 16 + (img.original ? pageSize : 0) + 8;
  std::vector<uint8_t> out(size, 0);
  uint8_t* r = out.data();
  for (const auto& img : images) {
    put32(r, img.page);
    put32(r + 4, img.original ? 1 : 0);
    put64(r + 8, checksum(kContentSeed, img.current, pageSize));
    size_t n = 16;
    if (img.original) {
      std::memcpy(r + 16, img.original, pageSize);
      n += pageSize;
    }
    put64(r + n, checksum(nonce, r, n));
    r += n + 8;
  }
  return out;
}

void encodeHeader(uint8_t* p, uint32_t pageSize, uint32_t records, uint64_t originalLength,
                  uint64_t newLength, uint64_t nonce) {
  std::memcpy(p, kMagic, 8);
  put32(p + 8, pageSize);
  put32(p + 12, records);
  put64(p + 16, originalLength);
  put64(p + 24, newLength);
  put64(p + 32, nonce);
  put64(p + 40, checksum(0, p, 40));
}

}  // namespace

void Journal::write(uint32_t pageSize, uint64_t originalLength, uint64_t newLength,
                    const std::vector<PageImage>& images) {
  bool created = false;
  if (!file_) {
    created = !env_.exists(path_);
    file_ = env_.open(path_, os::Env::Access::CreateReadWrite);
  }
  pageSize_ = pageSize;
  originalLength_ = originalLength;
  nonce_ = drawNonce();
  records_ = static_cast<uint32_t>(images.size());
  std::vector<uint8_t> buffer(kHeaderSize, 0);
  encodeHeader(buffer.data(), pageSize, records_, originalLength, newLength, nonce_);
  const std::vector<uint8_t> records = encodeRecords(pageSize, nonce_, images);
  buffer.insert(buffer.end(), records.begin(), records.end());
  end_ = buffer.size();
  open_ = true;
  file_->writeAt(0, buffer.data(), buffer.size());
  sync();
  if (created && syncEnabled_) {
    env_.syncDirectoryOf(path_);
    ++syncs_;
  }
}

void Journal::append(uint64_t newLength, const std::vector<PageImage>& images) {
  const std::vector<uint8_t> records = encodeRecords(pageSize_, nonce_, images);
  file_->writeAt(end_, records.data(), records.size());
  sync();
  end_ += records.size();
  records_ += static_cast<uint32_t>(images.size());
  uint8_t header[kHeaderUsed] = {};
  encodeHeader(header, pageSize_, records_, originalLength_, newLength, nonce_);
  file_->writeAt(0, header, sizeof header);
  sync();
}

void Journal::clear() {
  if (!file_ || !open_) return;
  open_ = false;  // called after the commit point: the transaction is finished either way
  uint8_t zero[kHeaderUsed] = {};
  file_->writeAt(0, zero, sizeof zero);
}

void Journal::remove() {
  if (!file_ || open_) return;
  file_.reset();
  env_.remove(path_);
}

}  // namespace jet::journal
