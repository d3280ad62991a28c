#include "Parser.h"

#include <charconv>
#include <cstdlib>

#include "DateLiteral.h"
#include "Lexer.h"
#include "SqlError.h"

namespace jet::sql {

namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text), lex_(text) { advance(); }

  Statement statement() {
    Statement st;
    if (!isKeyword("SELECT")) throw invalidStatement();
    advance();
    selectList(st);
    if (!isKeyword("FROM")) throw selectSyntax();
    advance();
    fromList(st);
    if (isKeyword("WHERE")) {
      advance();
      whereClause(st);
    }
    if (tok_.kind == Tok::Semicolon) advance();
    if (tok_.kind != Tok::End) throw fromSyntax();
    return st;
  }

 private:
  void advance() { tok_ = lex_.next(); }
  bool isKeyword(std::string_view k) const {
    return tok_.kind == Tok::Ident && keywordEquals(tok_.text, k);
  }
  bool isName() const {
    return tok_.kind == Tok::Bracketed || (tok_.kind == Tok::Ident && !isReserved(tok_.text));
  }

  // [qualifier.]name [AS alias]
  SelectItem selectItem() {
    SelectItem item;
    if (!isName()) throw selectSyntax();
    item.name = tok_.text;
    advance();
    if (tok_.kind == Tok::Dot) {
      advance();
      if (!isName()) throw selectSyntax();
      item.qualifier = std::move(item.name);
      item.name = tok_.text;
      advance();
    }
    item.alias = alias();
    return item;
  }

  std::string alias() {
    if (!isKeyword("AS")) return {};
    advance();
    if (!isName()) throw selectSyntax();
    std::string a = tok_.text;
    advance();
    return a;
  }

  void selectList(Statement& st) {
    if (tok_.kind == Tok::Star) {
      st.kind = Statement::Kind::Star;
      advance();
      return;
    }
    if (isKeyword("COUNT")) {
      Lexer probe = lex_;  // count( … ) is the aggregate; a column named count is not
      Token after = probe.next();
      if (after.kind == Tok::LParen) {
        advance();
        advance();
        st.kind = Statement::Kind::Count;
        if (tok_.kind == Tok::Star) {
          advance();
        } else {
          st.countColumn = true;
          st.items.push_back(selectItem());
        }
        if (tok_.kind != Tok::RParen) throw selectSyntax();
        advance();
        st.countAlias = alias();
        return;
      }
    }
    st.kind = Statement::Kind::Columns;
    st.items.push_back(selectItem());
    while (tok_.kind == Tok::Comma) {
      advance();
      st.items.push_back(selectItem());
    }
  }

  void fromList(Statement& st) {
    for (;;) {
      if (!isName()) throw fromSyntax();
      st.tables.push_back(tok_.text);
      advance();
      if (tok_.kind != Tok::Comma) break;
      advance();
    }
  }

  void whereClause(Statement& st) {
    size_t begin = tok_.begin;
    size_t end = text_.size();
    while (end > begin && (text_[end - 1] == ' ' || text_[end - 1] == ';' || text_[end - 1] == '\t' ||
                           text_[end - 1] == '\r' || text_[end - 1] == '\n'))
      --end;
    whereText_ = std::string(text_.substr(begin, end - begin));
    st.whereText = whereText_;
    if (tok_.kind == Tok::End) fail(kMissingOperator);
    st.where = orExpr();
    if (tok_.kind == Tok::Semicolon) advance();
    if (tok_.kind != Tok::End) fail(tok_.kind == Tok::Bad ? tok_.text.c_str() : kMissingOperator);
  }

  [[noreturn]] void fail(const char* detail) { throw syntaxInExpression(whereText_, detail); }

  static std::unique_ptr<Expr> node(Expr::Kind k) {
    auto e = std::make_unique<Expr>();
    e->kind = k;
    return e;
  }

  std::unique_ptr<Expr> orExpr() {
    auto left = andExpr();
    while (isKeyword("OR")) {
      advance();
      auto e = node(Expr::Kind::Or);
      e->lhs = std::move(left);
      e->rhs = andExpr();
      left = std::move(e);
    }
    return left;
  }

  std::unique_ptr<Expr> andExpr() {
    auto left = notExpr();
    while (isKeyword("AND")) {
      advance();
      auto e = node(Expr::Kind::And);
      e->lhs = std::move(left);
      e->rhs = notExpr();
      left = std::move(e);
    }
    return left;
  }

  std::unique_ptr<Expr> notExpr() {
    if (isKeyword("NOT")) {
      advance();
      auto e = node(Expr::Kind::Not);
      e->lhs = notExpr();
      return e;
    }
    return predicate();
  }

  std::unique_ptr<Expr> predicate() {
    auto left = operand();
    for (;;) {
      CompareOp op;
      switch (tok_.kind) {
        case Tok::Eq: op = CompareOp::Eq; break;
        case Tok::Ne: op = CompareOp::Ne; break;
        case Tok::Lt: op = CompareOp::Lt; break;
        case Tok::Gt: op = CompareOp::Gt; break;
        case Tok::Le: op = CompareOp::Le; break;
        case Tok::Ge: op = CompareOp::Ge; break;
        default:
          if (isKeyword("IS")) {
            advance();
            auto e = node(Expr::Kind::IsNull);
            if (isKeyword("NOT")) {
              e->negated = true;
              advance();
            }
            if (!isKeyword("NULL")) fail(kMissingOperator);
            advance();
            e->lhs = std::move(left);
            left = std::move(e);
            continue;
          }
          if (isKeyword("LIKE") || isKeyword("NOT")) {
            auto e = node(Expr::Kind::Like);
            if (isKeyword("NOT")) {
              e->negated = true;
              advance();
              if (!isKeyword("LIKE")) fail(kMissingOperator);
            }
            advance();
            e->lhs = std::move(left);
            e->rhs = operand();
            left = std::move(e);
            continue;
          }
          return left;
      }
      advance();
      auto e = node(Expr::Kind::Compare);
      e->op = op;
      e->lhs = std::move(left);
      e->rhs = operand();
      left = std::move(e);
    }
  }

  std::unique_ptr<Expr> operand() {
    switch (tok_.kind) {
      case Tok::LParen: {
        advance();
        auto e = orExpr();
        if (tok_.kind != Tok::RParen) fail(kMissingOperator);
        advance();
        return e;
      }
      case Tok::String: {
        auto e = node(Expr::Kind::Literal);
        e->literal = Value(tok_.text);
        advance();
        return e;
      }
      case Tok::Date: {
        auto d = parseDateLiteral(tok_.text);
        if (!d) fail(kBadDate);
        auto e = node(Expr::Kind::Literal);
        e->literal = Value(Date{*d});
        advance();
        return e;
      }
      case Tok::Minus:
      case Tok::Plus: {
        const bool negative = tok_.kind == Tok::Minus;
        advance();
        if (tok_.kind != Tok::Number) fail(kMissingOperator);
        auto e = number();
        if (negative) {
          e->literal = e->literal.kind() == Value::Kind::Int ? Value(-e->literal.asInt())
                                                             : Value(-e->literal.asDouble());
        }
        return e;
      }
      case Tok::Number: return number();
      case Tok::Bracketed: return column();
      case Tok::Ident: {
        if (isKeyword("NULL") || isKeyword("TRUE") || isKeyword("FALSE")) {
          auto e = node(Expr::Kind::Literal);
          if (isKeyword("TRUE")) e->literal = Value(true);
          if (isKeyword("FALSE")) e->literal = Value(false);
          advance();
          return e;
        }
        if (isReserved(tok_.text)) fail(kMissingOperator);
        return column();
      }
      case Tok::Bad: fail(tok_.text.c_str());
      default: fail(kMissingOperator);
    }
  }

  std::unique_ptr<Expr> number() {
    auto e = node(Expr::Kind::Literal);
    const std::string& t = tok_.text;
    int64_t i = 0;
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), i);
    if (ec == std::errc() && p == t.data() + t.size()) {
      e->literal = Value(i);
    } else {
      e->literal = Value(std::strtod(t.c_str(), nullptr));
    }
    advance();
    return e;
  }

  std::unique_ptr<Expr> column() {
    auto e = node(Expr::Kind::Column);
    e->name = tok_.text;
    advance();
    if (tok_.kind == Tok::Dot) {
      advance();
      if (!isName()) fail(kMissingOperator);
      e->qualifier = std::move(e->name);
      e->name = tok_.text;
      advance();
    }
    return e;
  }

  std::string_view text_;
  Lexer lex_;
  Token tok_;
  std::string whereText_;
};

}  // namespace

Statement parse(std::string_view text) { return Parser(text).statement(); }

}  // namespace jet::sql
