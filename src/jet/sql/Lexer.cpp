#include "Lexer.h"

#include <array>

#include "SqlError.h"

namespace jet::sql {

namespace {

bool isSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
// Bare names: letters, digits, underscore and every non-ASCII character (Chinese names).
bool isWordChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c) || c == '_' || c >= 0x80;
}

}  // namespace

bool keywordEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return false;
  }
  return true;
}

bool isReserved(std::string_view w) {
  static constexpr std::array<std::string_view, 33> kWords = {
      "SELECT", "FROM",   "WHERE",  "AND",      "OR",    "NOT",   "LIKE",  "IS",    "NULL",
      "ORDER",  "BY",     "GROUP",  "HAVING",   "AS",    "IN",    "BETWEEN", "DISTINCT",
      "TOP",    "UNION",  "JOIN",   "ON",       "INSERT", "UPDATE", "DELETE", "INTO",
      "VALUES", "SET",    "TRUE",   "FALSE",    "INNER", "LEFT",  "RIGHT", "XOR"};
  for (auto k : kWords)
    if (keywordEquals(w, k)) return true;
  return false;
}

Token Lexer::next() {
  while (pos_ < s_.size() && isSpace(s_[pos_])) ++pos_;
  Token t;
  t.begin = pos_;
  if (pos_ >= s_.size()) {
    t.end = pos_;
    return t;
  }
  const unsigned char c = s_[pos_];
  auto single = [&](Tok k) {
    t.kind = k;
    t.text = std::string(1, static_cast<char>(c));
    t.end = ++pos_;
    return t;
  };
  switch (c) {
    case '(': return single(Tok::LParen);
    case ')': return single(Tok::RParen);
    case ',': return single(Tok::Comma);
    case '*': return single(Tok::Star);
    case ';': return single(Tok::Semicolon);
    case '-': return single(Tok::Minus);
    case '+': return single(Tok::Plus);
    case '=': return single(Tok::Eq);
    case '.':
      if (pos_ + 1 < s_.size() && isDigit(s_[pos_ + 1])) break;  // .5
      return single(Tok::Dot);
    case '<':
      if (pos_ + 1 < s_.size() && (s_[pos_ + 1] == '>' || s_[pos_ + 1] == '=')) {
        t.kind = s_[pos_ + 1] == '>' ? Tok::Ne : Tok::Le;
        pos_ += 2;
        t.end = pos_;
        return t;
      }
      return single(Tok::Lt);
    case '>':
      if (pos_ + 1 < s_.size() && s_[pos_ + 1] == '=') {
        t.kind = Tok::Ge;
        pos_ += 2;
        t.end = pos_;
        return t;
      }
      return single(Tok::Gt);
    case '\'':
    case '"': {
      // A quote inside is written twice.
      const char q = static_cast<char>(c);
      size_t i = pos_ + 1;
      for (;;) {
        if (i >= s_.size()) {
          t.kind = Tok::Bad;
          t.text = kBadString;
          pos_ = t.end = s_.size();
          return t;
        }
        if (s_[i] == q) {
          if (i + 1 < s_.size() && s_[i + 1] == q) {
            t.text += q;
            i += 2;
            continue;
          }
          break;
        }
        t.text += s_[i++];
      }
      t.kind = Tok::String;
      pos_ = t.end = i + 1;
      return t;
    }
    case '[': {
      size_t close = s_.find(']', pos_ + 1);
      size_t open = s_.find('[', pos_ + 1);
      if (close == std::string_view::npos || (open != std::string_view::npos && open < close) ||
          close == pos_ + 1) {
        t.kind = Tok::Bad;
        t.text = kBadBracket;
        pos_ = t.end = s_.size();
        return t;
      }
      t.kind = Tok::Bracketed;
      t.text = std::string(s_.substr(pos_ + 1, close - pos_ - 1));
      pos_ = t.end = close + 1;
      return t;
    }
    case '#': {
      size_t close = s_.find('#', pos_ + 1);
      if (close == std::string_view::npos) {
        t.kind = Tok::Bad;
        t.text = kBadDate;
        pos_ = t.end = s_.size();
        return t;
      }
      t.kind = Tok::Date;
      t.text = std::string(s_.substr(pos_ + 1, close - pos_ - 1));
      pos_ = t.end = close + 1;
      return t;
    }
    default: break;
  }
  if (isDigit(c) || c == '.') {
    size_t i = pos_;
    while (i < s_.size() && isDigit(s_[i])) ++i;
    if (i < s_.size() && s_[i] == '.') {
      ++i;
      while (i < s_.size() && isDigit(s_[i])) ++i;
    }
    if (i < s_.size() && (s_[i] == 'e' || s_[i] == 'E')) {
      size_t j = i + 1;
      if (j < s_.size() && (s_[j] == '+' || s_[j] == '-')) ++j;
      if (j < s_.size() && isDigit(s_[j])) {
        while (j < s_.size() && isDigit(s_[j])) ++j;
        i = j;
      }
    }
    t.kind = Tok::Number;
    t.text = std::string(s_.substr(pos_, i - pos_));
    pos_ = t.end = i;
    return t;
  }
  if (isWordChar(c)) {
    size_t i = pos_;
    while (i < s_.size() && isWordChar(s_[i])) ++i;
    t.kind = Tok::Ident;
    t.text = std::string(s_.substr(pos_, i - pos_));
    pos_ = t.end = i;
    return t;
  }
  // Any other character: the parser reports it in the clause where it stands.
  t.kind = Tok::Bad;
  t.text = kMissingOperator;
  t.end = ++pos_;
  return t;
}

}  // namespace jet::sql
