#include "repair/Undo.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "check/Queries.h"
#include "check/Reporting.h"
#include "data/Dao.h"
#include "jet/Error.h"
#include "repair/Commands.h"
#include "repair/Follow.h"

namespace repair {
namespace {

constexpr const char* kMagic = "mdbcheck-undo";
constexpr int kVersion = 1;

constexpr const char* kNothingToUndo = "没有可撤销的修复。";
constexpr const char* kUndoneFirst = "已撤销上一次修复：恢复了 ";
constexpr const char* kUndoneLast = " 个值。";
constexpr const char* kNotUndone = "撤销未执行，数据库没有改动。";

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

void closeQuietly(dao::Recordset& rs) {
  try {
    rs.Close();
  } catch (...) {
  }
}

}  // namespace

size_t restore(dao::Database& db, const UndoLog& log) {
  if (log.entries.empty()) return 0;
  auto rs = db.OpenRecordset(check::columnQuery(log.table, log.column));
  try {
    // Every row is checked before the first one is written: a refusal changes nothing.
    const auto field = rs->Fields(0);
    size_t changed = 0;
    for (const UndoEntry& e : log.entries) {
      try {
        rs->SetBookmark(e.bookmark);
        if (!(field->Value() == e.after)) ++changed;
      } catch (const jet::Error&) {
        ++changed;
      }
    }
    if (changed > 0) throw changedSince(log, changed);
    db.BeginWholeBatch();
    try {
      // The last written first: every state on the way back is one the repair went through.
      for (auto it = log.entries.rbegin(); it != log.entries.rend(); ++it) {
        rs->SetBookmark(it->bookmark);
        rs->Edit();
        try {
          field->SetValue(it->before);
          rs->Update(dao::dbUpdateRegular, false);
        } catch (...) {
          try {
            rs->CancelUpdate();
          } catch (...) {
          }
          throw;
        }
      }
      db.CommitBatch();
    } catch (...) {
      try {
        db.RollbackBatch();
      } catch (...) {
      }
      throw;
    }
  } catch (...) {
    closeQuietly(*rs);
    throw;
  }
  closeQuietly(*rs);
  return log.entries.size();
}

check::Result Undo(check::CheckState& state, check::Controls& ui) {
  return check::reporting([&](check::Result& result) {
    if (!state.undo) {
      result.refuse(kNothingToUndo);
      return;
    }
    if (!state.database) throw jet::invalidObject();
    const std::shared_ptr<UndoLog> log = state.undo;
    check::BusyScope busy(ui.events);
    size_t restored = 0;
    try {
      restored = restore(*state.database, *log);
    } catch (const jet::Error& e) {
      result.refuse(e.description() + "\n" + kNotUndone, e.number());
      return;
    }
    result.changed = static_cast<int64_t>(restored);
    state.undo.reset();
    followUndo(state, ui, *log);
    result.notify(kUndoneFirst + std::to_string(restored) + kUndoneLast);
  });
}

void writeUndoFile(const std::string& path, const UndoLog& log) {
  std::ostringstream out;
  out << kMagic << " " << kVersion << "\n";
  out << "column " << hex(log.table) << " " << hex(log.column) << "\n";
  for (const UndoEntry& e : log.entries)
    out << "row " << hex(e.bookmark) << " " << encode(e.before) << " " << encode(e.after) << "\n";
  out << "end " << log.entries.size() << "\n";
  const std::string text = out.str();

  const std::string temp = path + ".tmp";
  const auto failed = [&](const char* what) {
    return jet::Error(jet::err::kNoPermission,
                      "无法写入撤销记录文件 '" + path + "'（" + what + "：" + std::strerror(errno) + "）");
  };
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw failed("打开");
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const jet::Error e = failed("写入");
      ::close(fd);
      ::unlink(temp.c_str());
      throw e;
    }
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0) {
    const jet::Error e = failed("同步");
    ::close(fd);
    ::unlink(temp.c_str());
    throw e;
  }
  ::close(fd);
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    const jet::Error e = failed("改名");
    ::unlink(temp.c_str());
    throw e;
  }
}

UndoLog readUndoFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw jet::fileNotFound(path);
  UndoLog log;
  std::string line;
  size_t lineNo = 0;
  bool ended = false;
  const auto bad = [&](const std::string& why) {
    return notAnUndoFile(path, "第 " + std::to_string(lineNo) + " 行" + why);
  };
  while (std::getline(in, line)) {
    ++lineNo;
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (lineNo == 1) {
      if (w.size() != 2 || w[0] != kMagic) throw notAnUndoFile(path, "缺少文件头");
      if (w[1] != std::to_string(kVersion)) throw bad("的版本不受支持");
      continue;
    }
    if (ended) throw bad("在结束标记之后");
    if (lineNo == 2) {
      if (w.size() != 3 || w[0] != "column" || !unhex(w[1], log.table) ||
          !unhex(w[2], log.column))
        throw bad("不是表和字段");
      continue;
    }
    if (w.size() == 2 && w[0] == "end") {
      size_t count = 0;
      if (!number(w[1], count) || count != log.entries.size()) throw bad("的行数不符");
      ended = true;
      continue;
    }
    UndoEntry e;
    if (w.size() != 6 || w[0] != "row" || !unhex(w[1], e.bookmark) ||
        !decode(w[2], w[3], e.before) || !decode(w[4], w[5], e.after))
      throw bad("无法识别");
    log.entries.push_back(std::move(e));
  }
  if (lineNo < 2) throw notAnUndoFile(path, "缺少文件头");
  // A log cut short (a crash while it was written elsewhere) is not trusted.
  if (!ended) throw notAnUndoFile(path, "没有结束标记，文件不完整");
  return log;
}

}  // namespace repair
