#pragma once
// Splits Jet SQL text into tokens. Keywords are not told apart here: a bare word is an
// Ident and the parser decides, letter case ignored. A malformed token (an unterminated
// string, bracket or date) becomes a Bad token carrying its detail, so the parser can
// report it with the clause it belongs to.
#include <cstddef>
#include <string>
#include <string_view>

namespace jet::sql {

enum class Tok {
  End, Ident, Bracketed, String, Number, Date,
  LParen, RParen, Comma, Star, Dot, Semicolon, Minus, Plus,
  Eq, Ne, Lt, Gt, Le, Ge,
  Bad,
};

struct Token {
  Tok kind = Tok::End;
  std::string text;  // Ident/Bracketed: the name; String: the value; Date: between the #s;
                     // Number: the digits; Bad: the detail
  size_t begin = 0, end = 0;  // byte range in the statement
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : s_(text) {}
  Token next();

 private:
  std::string_view s_;
  size_t pos_ = 0;
};

// True for a word the parser reserves, so it cannot name a table or column unbracketed.
bool isReserved(std::string_view word);

// Letter case ignored, ASCII only (keywords are ASCII).
bool keywordEquals(std::string_view word, std::string_view keyword);

}  // namespace jet::sql
