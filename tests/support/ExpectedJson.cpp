#include "ExpectedJson.h"

#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace expected {

namespace {

// Just enough JSON for a file we write ourselves: objects, arrays, strings, numbers,
// true/false/null.
struct Json {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  double number = 0;
  std::string string;
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;
  const Json& operator[](const std::string& key) const {
    for (const auto& [k, v] : members)
      if (k == key) return v;
    throw std::runtime_error("expected.json: no member " + key);
  }
};

class Reader {
 public:
  explicit Reader(std::string text) : s_(std::move(text)) {}
  Json value() {
    skip();
    Json j;
    const char c = s_.at(i_);
    if (c == '{') {
      j.kind = Json::Object;
      ++i_;
      skip();
      if (s_[i_] == '}') return ++i_, j;
      for (;;) {
        skip();
        std::string key = string();
        skip();
        expect(':');
        j.members.emplace_back(std::move(key), value());
        skip();
        if (s_[i_] == ',') { ++i_; continue; }
        expect('}');
        return j;
      }
    }
    if (c == '[') {
      j.kind = Json::Array;
      ++i_;
      skip();
      if (s_[i_] == ']') return ++i_, j;
      for (;;) {
        j.items.push_back(value());
        skip();
        if (s_[i_] == ',') { ++i_; continue; }
        expect(']');
        return j;
      }
    }
    if (c == '"') {
      j.kind = Json::String;
      j.string = string();
      return j;
    }
    if (s_.compare(i_, 4, "true") == 0) { i_ += 4; j.kind = Json::Bool; j.number = 1; return j; }
    if (s_.compare(i_, 5, "false") == 0) { i_ += 5; j.kind = Json::Bool; return j; }
    if (s_.compare(i_, 4, "null") == 0) { i_ += 4; return j; }
    size_t used = 0;
    j.kind = Json::Number;
    j.number = std::stod(s_.substr(i_, 40), &used);
    i_ += used;
    return j;
  }

 private:
  void skip() { while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_; }
  void expect(char c) {
    if (s_.at(i_) != c) throw std::runtime_error(std::string("expected.json: expected ") + c);
    ++i_;
  }
  std::string string() {
    expect('"');
    std::string out;
    while (s_.at(i_) != '"') {
      char c = s_[i_++];
      if (c != '\\') { out += c; continue; }
      char e = s_.at(i_++);
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'u': {
          unsigned cp = std::stoul(s_.substr(i_, 4), nullptr, 16);
          i_ += 4;
          if (cp < 0x80) out += static_cast<char>(cp);
          else if (cp < 0x800) out += static_cast<char>(0xC0 | (cp >> 6)), out += static_cast<char>(0x80 | (cp & 0x3F));
          else out += static_cast<char>(0xE0 | (cp >> 12)), out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), out += static_cast<char>(0x80 | (cp & 0x3F));
          break;
        }
        default: out += e;
      }
    }
    ++i_;
    return out;
  }
  std::string s_;
  size_t i_ = 0;
};

std::vector<ColumnCount> columns(const Json& mode) {
  std::vector<ColumnCount> out;
  for (const auto& c : mode["columns"].items)
    out.push_back({c["table"].string, c["column"].string, static_cast<long>(c["count"].number)});
  return out;
}

std::vector<ColumnCount> tree(const Json& mode) {
  std::vector<ColumnCount> out;
  for (const auto& t : mode["tree"].items)
    for (const auto& c : t["columns"].items)
      out.push_back({t["table"].string, c["column"].string, static_cast<long>(c["count"].number)});
  return out;
}

}  // namespace

std::map<std::string, FileCounts> load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  Json root = Reader(ss.str()).value();
  std::map<std::string, FileCounts> out;
  for (const auto& [name, file] : root["files"].members) {
    FileCounts f;
    f.dates = columns(file["dates"]);
    f.chars = columns(file["chars"]);
    f.checkChars = file["chars"]["chars"].string;
    f.datesTree = tree(file["dates"]);
    f.charsTree = tree(file["chars"]);
    for (const auto& e : file["catalog_order"].items) f.catalogOrder.push_back(e["name"].string);
    out[name] = std::move(f);
  }
  return out;
}

}  // namespace expected
