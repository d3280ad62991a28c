#include "repair/Undo.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <sstream>

#include "check/Messages.h"
#include "check/Queries.h"
#include "check/Reporting.h"
#include "data/Dao.h"
#include "jet/Error.h"
#include "repair/Follow.h"
#include "repair/Guards.h"

namespace repair {
namespace {

constexpr const char* kMagic = "mdbcheck-undo";
constexpr int kVersion = 1;

constexpr const char* kNothingToUndo = "没有可撤销的修复。";
constexpr const char* kUndoneFirst = "已撤销上一次修复：恢复了 ";
constexpr const char* kUndoneLast = " 个值。";
constexpr const char* kNotUndone = "撤销未执行，数据库没有改动。";
// Written into the log's folder while the log is not complete.
constexpr size_t kFlushAt = size_t{1} << 16;

std::string hex(const void* data, size_t n) {
  static const char* digits = "0123456789abcdef";
  const auto* p = static_cast<const uint8_t*>(data);
  std::string out;
  out.reserve(n * 2 + 1);
  out.push_back('x');  // an empty text still makes a word
  for (size_t i = 0; i < n; ++i) {
    out.push_back(digits[p[i] >> 4]);
    out.push_back(digits[p[i] & 15]);
  }
  return out;
}
std::string hex(const std::string& s) { return hex(s.data(), s.size()); }

bool unhex(const std::string& word, std::string& out) {
  if (word.empty() || word[0] != 'x' || word.size() % 2 == 0) return false;
  out.clear();
  for (size_t i = 1; i < word.size(); i += 2) {
    int v = 0;
    for (size_t k = 0; k < 2; ++k) {
      const char c = word[i + k];
      v <<= 4;
      if (c >= '0' && c <= '9') v |= c - '0';
      else if (c >= 'a' && c <= 'f') v |= c - 'a' + 10;
      else return false;
    }
    out.push_back(static_cast<char>(v));
  }
  return true;
}

// A double as the exact bits it has, so that a date comes back to the very same value.
std::string bitsOf(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return std::to_string(bits);
}

template <typename T>
bool number(const std::string& word, T& out) {
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), out);
  return ec == std::errc() && end == word.data() + word.size();
}

// One value as two words: its kind and its contents.
std::string encode(const jet::Value& v) {
  using K = jet::Value::Kind;
  switch (v.kind()) {
    case K::Null: return "null -";
    case K::Bool: return std::string("bool ") + (v.asBool() ? "1" : "0");
    case K::Int: return "int " + std::to_string(v.asInt());
    case K::Double: return "double " + bitsOf(v.asDouble());
    case K::Date: return "date " + bitsOf(v.asDate().stored);
    case K::Currency: return "currency " + std::to_string(v.asCurrency().tenThousandths);
    case K::Decimal: return "decimal " + hex(v.asDecimal().text);
    case K::Text: return "text " + hex(v.asText());
    case K::Binary: return "binary " + hex(v.asBinary().data(), v.asBinary().size());
  }
  return "null -";
}

bool decode(const std::string& kind, const std::string& word, jet::Value& out) {
  std::string bytes;
  if (kind == "null") {
    out = jet::Value::null();
    return word == "-";
  }
  if (kind == "bool") {
    if (word != "0" && word != "1") return false;
    out = jet::Value(word == "1");
    return true;
  }
  if (kind == "int" || kind == "currency") {
    int64_t i = 0;
    if (!number(word, i)) return false;
    out = kind == "int" ? jet::Value(i) : jet::Value(jet::Currency{i});
    return true;
  }
  if (kind == "double" || kind == "date") {
    uint64_t bits = 0;
    if (!number(word, bits)) return false;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    out = kind == "double" ? jet::Value(d) : jet::Value(jet::Date{d});
    return true;
  }
  if (!unhex(word, bytes)) return false;
  if (kind == "text") out = jet::Value(bytes);
  else if (kind == "decimal") out = jet::Value(jet::Decimal{bytes});
  else if (kind == "binary") out = jet::Value(jet::Bytes(bytes.begin(), bytes.end()));
  else return false;
  return true;
}

jet::Error notAnUndoFile(const std::string& path, const std::string& why) {
  return jet::Error(jet::err::kUnrecognizedFormat, "'" + path + "' 不是撤销记录文件：" + why);
}

jet::Error changedSince(const UndoLog& log, size_t changed) {
  return jet::Error(jet::err::kReadOnly, "表 '" + log.table + "' 字段 '" + log.column + "' 中有 " +
                                             std::to_string(changed) +
                                             " 个值在修复之后又被改动或已不存在。");
}

jet::Error neverWritten(const UndoLog& log) {
  return jet::Error(jet::err::kReadOnly, "表 '" + log.table + "' 字段 '" + log.column + "' 中的 " +
                                             std::to_string(log.entries.size()) +
                                             " 个值都还是修复之前的值：这次修复已经撤销，或者没有写入数据库。");
}

std::string headerOf(const std::string& table, const std::string& column) {
  return std::string(kMagic) + " " + std::to_string(kVersion) + "\ncolumn " + hex(table) + " " +
         hex(column) + "\n";
}

std::string lineOf(const UndoEntry& e) {
  return "row " + hex(e.bookmark) + " " + encode(e.before) + " " + encode(e.after) + "\n";
}

}  // namespace

size_t restore(dao::Database& db, const UndoLog& log, check::ProgressMeter* meter) {
  if (log.entries.empty()) return 0;
  ClosingRecordset rs(db.OpenRecordset(check::columnQuery(log.table, log.column)));
  // Every row is checked before the first one is written: a refusal changes nothing.
  const auto field = rs->Fields(0);
  size_t changed = 0, asBefore = 0;
  for (const UndoEntry& e : log.entries) {
    try {
      rs->SetBookmark(e.bookmark);
      const jet::Value now = field->Value();
      if (!(now == e.after)) {
        ++changed;
        if (now == e.before) ++asBefore;
      }
    } catch (const jet::Error&) {
      ++changed;
    }
  }
  if (asBefore == log.entries.size()) throw neverWritten(log);
  if (changed > 0) throw changedSince(log, changed);
  BatchGuard batch(db);
  // The last written first: every state on the way back is one the repair went through.
  for (auto it = log.entries.rbegin(); it != log.entries.rend(); ++it) {
    rs->SetBookmark(it->bookmark);
    writeValue(*rs.rs, *field, it->before);
    if (meter && !meter->step()) return 0;  // the batch goes back as it leaves
  }
  if (meter) meter->finish();
  batch.commit();
  return log.entries.size();
}

check::Result Undo(RepairState& state, check::Controls& ui) {
  return check::reporting([&](check::Result& result) {
    const std::shared_ptr<UndoLog> log = state.undo();
    if (!log) {
      result.refuse(kNothingToUndo);
      return;
    }
    check::BusyScope busy(ui.events);
    check::ProgressMeter meter(ui.events, "撤销对字段 '" + log->column + "' 的修复",
                               static_cast<int64_t>(log->entries.size()));
    size_t restored = 0;
    bool landed = false;
    try {
      restored = restore(*state.database, *log, &meter);
      landed = !meter.cancelled();
    } catch (const jet::AfterCommit& e) {
      restored = log->entries.size();
      landed = true;
      result.refuse(e.description(), e.number());
    } catch (const jet::Error& e) {
      result.refuse(e.description() + "\n" + kNotUndone, e.number());
      return;
    }
    if (!landed) {
      result.notify(check::msg::kCancelled);
      return;
    }
    result.changed = static_cast<int64_t>(restored);
    state.forgetUndo();
    followUndo(state, ui, log->table, log->column);
    result.notify(kUndoneFirst + std::to_string(restored) + kUndoneLast);
  });
}

// ---- the log as a file ----

UndoFile::UndoFile(jet::os::Env& env, std::string path)
    : env_(env), path_(std::move(path)), temp_(path_ + ".tmp") {}

UndoFile::~UndoFile() {
  file_.reset();
  if (tempMade_) removeQuietly(temp_);
}

void UndoFile::failed(const jet::os::IoError& e) const {
  throw e.restated("撤销记录文件", "修复没有进行，数据库没有改动");
}

void UndoFile::removeQuietly(const std::string& path) noexcept {
  try {
    env_.remove(path);
  } catch (...) {
  }
}

void UndoFile::begin(const std::string& table, const std::string& column) {
  file_.reset();
  prepared_ = false;
  written_ = 0;
  count_ = 0;
  buffer_ = headerOf(table, column);
  try {
    tempMade_ = true;
    file_ = env_.open(temp_, jet::os::Env::Access::CreateReadWrite);
    file_->truncate(0);
  } catch (const jet::os::IoError& e) {
    abandon();
    failed(e);
  }
}

void UndoFile::add(const UndoEntry& entry) {
  buffer_ += lineOf(entry);
  ++count_;
  if (buffer_.size() >= kFlushAt) flush();
}

void UndoFile::flush() {
  if (buffer_.empty()) return;
  try {
    file_->writeAt(written_, buffer_.data(), buffer_.size());
  } catch (const jet::os::IoError& e) {
    failed(e);
  }
  written_ += buffer_.size();
  buffer_.clear();
}

void UndoFile::prepare() {
  buffer_ += "end " + std::to_string(count_) + "\n";
  flush();
  try {
    file_->sync();
    file_.reset();
    env_.rename(temp_, path_);
    tempMade_ = false;
    prepared_ = true;
    env_.syncDirectoryOf(path_);
  } catch (const jet::os::IoError& e) {
    failed(e);
  }
}

bool UndoFile::abandon() noexcept {
  file_.reset();
  if (tempMade_) {
    removeQuietly(temp_);
    tempMade_ = false;
  }
  if (!prepared_) return true;
  try {
    env_.remove(path_);
    env_.syncDirectoryOf(path_);
    prepared_ = false;
    return true;
  } catch (...) {
    return false;
  }
}

void UndoFile::writeEmpty(const std::string& table, const std::string& column) {
  begin(table, column);
  prepare();
}

void writeUndoFile(const std::string& path, const UndoLog& log, jet::os::Env& env) {
  UndoFile file(env, path);
  file.begin(log.table, log.column);
  for (const UndoEntry& e : log.entries) file.add(e);
  file.prepare();
}

UndoLog readUndoFile(const std::string& path, jet::os::Env& env) {
  std::unique_ptr<jet::os::File> f;
  try {
    f = env.open(path, jet::os::Env::Access::Read);
  } catch (const jet::os::IoError& e) {
    if (e.code() == ENOENT) throw jet::fileNotFound(path);
    throw e.restated("撤销记录文件", "撤销没有进行");
  }
  UndoLog log;
  size_t lineNo = 0;
  bool ended = false;
  const auto bad = [&](const std::string& why) {
    return notAnUndoFile(path, "第 " + std::to_string(lineNo) + " 行" + why);
  };
  const auto take = [&](const std::string& line) {
    ++lineNo;
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (lineNo == 1) {
      if (w.size() != 2 || w[0] != kMagic) throw notAnUndoFile(path, "缺少文件头");
      if (w[1] != std::to_string(kVersion)) throw bad("的版本不受支持");
      return;
    }
    if (ended) throw bad("在结束标记之后");
    if (lineNo == 2) {
      if (w.size() != 3 || w[0] != "column" || !unhex(w[1], log.table) || !unhex(w[2], log.column))
        throw bad("不是表和字段");
      return;
    }
    if (w.size() == 2 && w[0] == "end") {
      size_t count = 0;
      if (!number(w[1], count) || count != log.entries.size()) throw bad("的行数不符");
      ended = true;
      return;
    }
    UndoEntry e;
    if (w.size() != 6 || w[0] != "row" || !unhex(w[1], e.bookmark) || !decode(w[2], w[3], e.before) ||
        !decode(w[4], w[5], e.after))
      throw bad("无法识别");
    log.entries.push_back(std::move(e));
  };
  // In pieces: a log of a large repair is read without holding its text whole.
  std::string pending;
  std::vector<char> chunk(kFlushAt);
  uint64_t at = 0;
  try {
    for (;;) {
      const size_t got = f->readAt(at, chunk.data(), chunk.size());
      at += got;
      pending.append(chunk.data(), got);
      size_t from = 0;
      for (size_t nl; (nl = pending.find('\n', from)) != std::string::npos; from = nl + 1)
        take(pending.substr(from, nl - from));
      pending.erase(0, from);
      if (got < chunk.size()) break;
    }
  } catch (const jet::os::IoError& e) {
    throw e.restated("撤销记录文件", "撤销没有进行");
  }
  if (!pending.empty()) take(pending);
  if (lineNo < 2) throw notAnUndoFile(path, "缺少文件头");
  // A log cut short (a crash while it was written elsewhere) is not trusted.
  if (!ended) throw notAnUndoFile(path, "没有结束标记，文件不完整");
  return log;
}

}  // namespace repair
