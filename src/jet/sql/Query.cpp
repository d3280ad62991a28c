#include "Query.h"

#include <cmath>
#include <limits>
#include <cstdlib>
#include <optional>

#include "DateLiteral.h"
#include "Like.h"
#include "Parser.h"
#include "SqlError.h"
#include "jet/DateTime.h"
#include "jet/Error.h"

namespace jet::sql {

// Three-valued logic: a comparison with Null is neither true nor false.
enum Tri : uint8_t { kFalse = 0, kTrue = 1, kNull = 2 };

class Predicate {
 public:
  virtual ~Predicate() = default;
  virtual Tri eval(TableCursor& c) = 0;
  // A test on stored bytes that every row meeting the condition passes; false when there
  // is none.
  virtual bool filter(RowFilter&) const { return false; }
};

namespace {

using PredPtr = std::unique_ptr<Predicate>;

template <typename T>
inline Tri compare(const T& a, const T& b, CompareOp op) {
  switch (op) {
    case CompareOp::Eq: return a == b ? kTrue : kFalse;
    case CompareOp::Ne: return a != b ? kTrue : kFalse;
    case CompareOp::Lt: return a < b ? kTrue : kFalse;
    case CompareOp::Gt: return a > b ? kTrue : kFalse;
    case CompareOp::Le: return a <= b ? kTrue : kFalse;
    case CompareOp::Ge: return a >= b ? kTrue : kFalse;
  }
  return kFalse;
}

CompareOp flip(CompareOp op) {
  switch (op) {
    case CompareOp::Lt: return CompareOp::Gt;
    case CompareOp::Gt: return CompareOp::Lt;
    case CompareOp::Le: return CompareOp::Ge;
    case CompareOp::Ge: return CompareOp::Le;
    default: return op;
  }
}

// ---- values -------------------------------------------------------------------------

enum class Class { Number, Text, Other };

Class classOf(int daoType) {
  switch (daoType) {
    case daotype::kText:
    case daotype::kMemo:
    case daotype::kGuid:
    case daotype::kDateTimeExtended: return Class::Text;
    case daotype::kBoolean:
    case daotype::kByte:
    case daotype::kInteger:
    case daotype::kLong:
    case daotype::kCurrency:
    case daotype::kSingle:
    case daotype::kDouble:
    case daotype::kDate:
    case daotype::kBigInt:
    case daotype::kDecimal: return Class::Number;
    default: return Class::Other;
  }
}

Class classOf(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Text: return Class::Text;
    case Value::Kind::Binary:
    case Value::Kind::Null: return Class::Other;
    default: return Class::Number;
  }
}

// Numbers, dates, currency and booleans all compare as doubles (dates by their stored
// value, so a negative date sorts before the zero date).
double toDouble(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Bool: return v.asBool() ? -1 : 0;
    case Value::Kind::Int: return static_cast<double>(v.asInt());
    case Value::Kind::Double: return v.asDouble();
    case Value::Kind::Date: return v.asDate().stored;
    case Value::Kind::Currency: return static_cast<double>(v.asCurrency().tenThousandths) / 10000.0;
    case Value::Kind::Decimal: return std::strtod(v.asDecimal().text.c_str(), nullptr);
    default: return 0;
  }
}

std::optional<double> textToNumber(const std::string& t, bool dateColumn) {
  if (dateColumn) {
    if (auto d = parseDateLiteral(t)) return d;
  }
  return parseNumber(t);
}

std::u32string folded(std::string_view utf8) {
  std::u32string out;
  size_t i = 0;
  // Reuse the LIKE matcher's decoding through a one-off pattern is overkill; decode here.
  while (i < utf8.size()) {
    unsigned char b = utf8[i];
    char32_t c;
    int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    if (i + len > utf8.size()) len = 1;
    if (len == 1) {
      c = b;
    } else {
      c = b & (0xFF >> (len + 1));
      for (int k = 1; k < len; ++k) c = (c << 6) | (utf8[i + k] & 0x3F);
    }
    out.push_back(foldCase(c));
    i += len;
  }
  return out;
}

// ---- predicates ---------------------------------------------------------------------

// Narrows a date filter's interval by one comparison; Ne narrows nothing.
void narrow(RowFilter& f, CompareOp op, double k) {
  switch (op) {
    case CompareOp::Lt:
      if (k < f.hi || (k == f.hi && !f.hiOpen)) f.hi = k, f.hiOpen = true;
      break;
    case CompareOp::Le:
      if (k < f.hi) f.hi = k, f.hiOpen = false;
      break;
    case CompareOp::Gt:
      if (k > f.lo || (k == f.lo && !f.loOpen)) f.lo = k, f.loOpen = true;
      break;
    case CompareOp::Ge:
      if (k > f.lo) f.lo = k, f.loOpen = false;
      break;
    case CompareOp::Eq:
      narrow(f, CompareOp::Ge, k);
      narrow(f, CompareOp::Le, k);
      break;
    case CompareOp::Ne: break;
  }
}

// The filter of one or two comparisons on a Date/Time column. Not for Ne alone: a stored
// NaN is unequal to everything, and the interval would rule it out.
bool dateFilter(RowFilter& f, int col, CompareOp op1, double k1, std::optional<std::pair<CompareOp, double>> second) {
  if (op1 == CompareOp::Ne && (!second || second->first == CompareOp::Ne)) return false;
  f = RowFilter{};
  f.kind = RowFilter::Kind::DateIn;
  f.column = col;
  f.lo = -std::numeric_limits<double>::infinity();
  f.hi = std::numeric_limits<double>::infinity();
  narrow(f, op1, k1);
  if (second) narrow(f, second->first, second->second);
  return true;
}

struct Const final : Predicate {
  Tri v;
  explicit Const(Tri t) : v(t) {}
  Tri eval(TableCursor&) override { return v; }
};

struct And final : Predicate {
  PredPtr a, b;
  Tri eval(TableCursor& c) override {
    Tri x = a->eval(c);
    if (x == kFalse) return kFalse;
    Tri y = b->eval(c);
    if (y == kFalse) return kFalse;
    return x == kTrue && y == kTrue ? kTrue : kNull;
  }
  // Both sides must hold: either side's filter will do.
  bool filter(RowFilter& f) const override { return a->filter(f) || b->filter(f); }
};

struct Or final : Predicate {
  PredPtr a, b;
  Tri eval(TableCursor& c) override {
    Tri x = a->eval(c);
    if (x == kTrue) return kTrue;
    Tri y = b->eval(c);
    if (y == kTrue) return kTrue;
    return x == kFalse && y == kFalse ? kFalse : kNull;
  }
};

struct Not final : Predicate {
  PredPtr a;
  Tri eval(TableCursor& c) override {
    Tri x = a->eval(c);
    return x == kNull ? kNull : x == kTrue ? kFalse : kTrue;
  }
};

// A Date/Time column against a constant: the stored doubles compared.
struct DateCmp final : Predicate {
  int col;
  CompareOp op;
  double k;
  DateCmp(int c, CompareOp o, double v) : col(c), op(o), k(v) {}
  Tri eval(TableCursor& c) override {
    double d;
    if (!c.date(col, d)) return kNull;
    return compare(d, k, op);
  }
  bool filter(RowFilter& f) const override { return dateFilter(f, col, op, k, std::nullopt); }
};

// Two bounds on one Date/Time column (the date check): one read per row.
struct DateRange final : Predicate {
  int col;
  CompareOp op1, op2;
  double k1, k2;
  Tri eval(TableCursor& c) override {
    double d;
    if (!c.date(col, d)) return kNull;
    return compare(d, k1, op1) == kTrue && compare(d, k2, op2) == kTrue ? kTrue : kFalse;
  }
  bool filter(RowFilter& f) const override { return dateFilter(f, col, op1, k1, std::pair{op2, k2}); }
};

// Any other number-like column against a constant.
struct NumCmp final : Predicate {
  int col;
  CompareOp op;
  double k;
  NumCmp(int c, CompareOp o, double v) : col(c), op(o), k(v) {}
  Tri eval(TableCursor& c) override {
    Value v = c.value(col);
    if (v.isNull()) return kNull;
    return compare(toDouble(v), k, op);
  }
};

struct TextCmp final : Predicate {
  int col;
  CompareOp op;
  std::u32string k;
  std::string buf;
  TextCmp(int c, CompareOp o, std::u32string v) : col(c), op(o), k(std::move(v)) {}
  Tri eval(TableCursor& c) override {
    if (!c.text(col, buf)) return kNull;
    return compare(folded(buf), k, op);
  }
};

// Two columns of one row.
struct ColCmp final : Predicate {
  int a, b;
  CompareOp op;
  bool text;
  Tri eval(TableCursor& c) override {
    Value x = c.value(a), y = c.value(b);
    if (x.isNull() || y.isNull()) return kNull;
    if (text) return compare(folded(x.asText()), folded(y.asText()), op);
    return compare(toDouble(x), toDouble(y), op);
  }
};

struct TextLike final : Predicate {
  int col;
  LikePattern pattern;
  bool negated;
  std::string buf;
  TextLike(int c, LikePattern p, bool n) : col(c), pattern(std::move(p)), negated(n) {}
  Tri eval(TableCursor& c) override {
    if (!c.text(col, buf)) return kNull;
    return pattern.matches(buf) != negated ? kTrue : kFalse;
  }
  bool filter(RowFilter& f) const override {
    if (negated) return false;
    RowFilter g;
    if (!pattern.asciiSearch(g.ascii)) return false;
    g.kind = RowFilter::Kind::TextHasAscii;
    g.column = col;
    f = g;
    return true;
  }
};

// LIKE on a column that is not text: the value as text.
struct ValueLike final : Predicate {
  int col;
  LikePattern pattern;
  bool negated;
  ValueLike(int c, LikePattern p, bool n) : col(c), pattern(std::move(p)), negated(n) {}
  Tri eval(TableCursor& c) override {
    Value v = c.value(col);
    if (v.isNull()) return kNull;
    return pattern.matches(v.toText()) != negated ? kTrue : kFalse;
  }
};

struct IsNull final : Predicate {
  int col;
  int daoType;
  bool negated;
  std::string buf;
  IsNull(int c, int t, bool n) : col(c), daoType(t), negated(n) {}
  Tri eval(TableCursor& c) override {
    bool null;
    if (daoType == daotype::kDate) {
      double d;
      null = !c.date(col, d);
    } else if (daoType == daotype::kText || daoType == daotype::kMemo) {
      null = !c.text(col, buf);
    } else {
      null = c.value(col).isNull();
    }
    return null != negated ? kTrue : kFalse;
  }
};

// ---- binding ------------------------------------------------------------------------

class Binder {
 public:
  Binder(const TableInfo& t, const std::string& whereText) : table_(t), whereText_(whereText) {}

  // Every name the statement uses that the table lacks; Jet asks for them as parameters.
  void collectUnknown(const Expr* e, std::vector<std::string>& out) const {
    if (!e) return;
    if (e->kind == Expr::Kind::Column && !resolve(e->qualifier, e->name)) addUnique(out, e->name);
    collectUnknown(e->lhs.get(), out);
    collectUnknown(e->rhs.get(), out);
  }

  const ColumnInfo* resolve(const std::string& qualifier, const std::string& name) const {
    if (!qualifier.empty() && !sameName(qualifier, table_.name)) return nullptr;
    return table_.findColumn(name);
  }

  static void addUnique(std::vector<std::string>& out, const std::string& name) {
    for (const auto& n : out)
      if (sameName(n, name)) return;
    out.push_back(name);
  }

  static bool sameName(const std::string& a, const std::string& b) { return folded(a) == folded(b); }

  PredPtr condition(const Expr& e) {
    switch (e.kind) {
      case Expr::Kind::And: {
        PredPtr a = condition(*e.lhs), b = condition(*e.rhs);
        auto* x = dynamic_cast<DateCmp*>(a.get());
        auto* y = dynamic_cast<DateCmp*>(b.get());
        if (x && y && x->col == y->col) {
          auto r = std::make_unique<DateRange>();
          r->col = x->col;
          r->op1 = x->op;
          r->k1 = x->k;
          r->op2 = y->op;
          r->k2 = y->k;
          return r;
        }
        auto n = std::make_unique<And>();
        n->a = std::move(a);
        n->b = std::move(b);
        return n;
      }
      case Expr::Kind::Or: {
        auto n = std::make_unique<Or>();
        n->a = condition(*e.lhs);
        n->b = condition(*e.rhs);
        return n;
      }
      case Expr::Kind::Not: {
        auto n = std::make_unique<Not>();
        n->a = condition(*e.lhs);
        return n;
      }
      case Expr::Kind::Compare: return comparison(e);
      case Expr::Kind::IsNull: {
        const Expr& x = *e.lhs;
        if (x.kind == Expr::Kind::Literal)
          return std::make_unique<Const>(x.literal.isNull() != e.negated ? kTrue : kFalse);
        const ColumnInfo& c = column(x);
        return std::make_unique<IsNull>(c.position, c.daoType, e.negated);
      }
      case Expr::Kind::Like: return like(e);
      case Expr::Kind::Column: {
        // A bare column as a condition: true when not zero.
        const ColumnInfo& c = column(e);
        if (classOf(c.daoType) != Class::Number) throw conversion();
        return std::make_unique<NumCmp>(c.position, CompareOp::Ne, 0.0);
      }
      case Expr::Kind::Literal: {
        if (e.literal.isNull()) return std::make_unique<Const>(kNull);
        if (classOf(e.literal) != Class::Number) throw conversion();
        return std::make_unique<Const>(toDouble(e.literal) != 0 ? kTrue : kFalse);
      }
    }
    throw conversion();
  }

 private:
  const ColumnInfo& column(const Expr& e) const {
    if (e.kind != Expr::Kind::Column) throw conversion();
    return *resolve(e.qualifier, e.name);  // unknown names were rejected before binding
  }

  static bool isOperand(const Expr& e) {
    return e.kind == Expr::Kind::Column || e.kind == Expr::Kind::Literal;
  }

  PredPtr comparison(const Expr& e) {
    const Expr* l = e.lhs.get();
    const Expr* r = e.rhs.get();
    if (!isOperand(*l) || !isOperand(*r)) throw conversion();
    CompareOp op = e.op;
    if (l->kind == Expr::Kind::Literal && r->kind == Expr::Kind::Column) {
      std::swap(l, r);
      op = flip(op);
    }
    if (l->kind == Expr::Kind::Literal) {  // two constants
      const Value &a = l->literal, &b = r->literal;
      if (a.isNull() || b.isNull()) return std::make_unique<Const>(kNull);
      if (classOf(a) != classOf(b)) throw conversion();
      if (classOf(a) == Class::Text)
        return std::make_unique<Const>(compare(folded(a.asText()), folded(b.asText()), op));
      return std::make_unique<Const>(compare(toDouble(a), toDouble(b), op));
    }
    const ColumnInfo& c = column(*l);
    const Class cc = classOf(c.daoType);
    if (cc == Class::Other) throw conversion();
    if (r->kind == Expr::Kind::Column) {
      const ColumnInfo& d = column(*r);
      if (classOf(d.daoType) != cc) throw conversion();
      auto n = std::make_unique<ColCmp>();
      n->a = c.position;
      n->b = d.position;
      n->op = op;
      n->text = cc == Class::Text;
      return n;
    }
    const Value& k = r->literal;
    if (k.isNull()) return std::make_unique<Const>(kNull);
    if (cc == Class::Text) {
      if (classOf(k) != Class::Text) throw conversion();
      return std::make_unique<TextCmp>(c.position, op, folded(k.asText()));
    }
    double kv;
    if (classOf(k) == Class::Text) {
      auto v = textToNumber(k.asText(), c.daoType == daotype::kDate);
      if (!v) throw conversion();
      kv = *v;
    } else if (classOf(k) == Class::Number) {
      kv = toDouble(k);
    } else {
      throw conversion();
    }
    if (c.daoType == daotype::kDate) return std::make_unique<DateCmp>(c.position, op, kv);
    return std::make_unique<NumCmp>(c.position, op, kv);
  }

  PredPtr like(const Expr& e) {
    const Expr& l = *e.lhs;
    const Expr& r = *e.rhs;
    if (!isOperand(l) || r.kind != Expr::Kind::Literal) throw conversion();
    if (r.literal.isNull()) return std::make_unique<Const>(kNull);
    auto pattern = LikePattern::compile(r.literal.toText());
    if (!pattern) throw syntaxInExpression(whereText_, kBadPattern);
    if (l.kind == Expr::Kind::Literal) {
      if (l.literal.isNull()) return std::make_unique<Const>(kNull);
      return std::make_unique<Const>(pattern->matches(l.literal.toText()) != e.negated ? kTrue : kFalse);
    }
    const ColumnInfo& c = column(l);
    if (c.daoType == daotype::kText || c.daoType == daotype::kMemo ||
        c.daoType == daotype::kDateTimeExtended)
      return std::make_unique<TextLike>(c.position, std::move(*pattern), e.negated);
    return std::make_unique<ValueLike>(c.position, std::move(*pattern), e.negated);
  }

  const TableInfo& table_;
  const std::string& whereText_;
};

}  // namespace

Query::Query() = default;
Query::Query(Query&&) noexcept = default;
Query& Query::operator=(Query&&) noexcept = default;
Query::~Query() = default;

Query Query::prepare(Database& db, std::string_view text) {
  Statement st = parse(text);
  // Every table must exist before anything else is looked at.
  const TableInfo* table = nullptr;
  for (const auto& name : st.tables) {
    const TableInfo* t = db.findTable(name);
    if (!t) throw noSuchTable(name);
    if (!table) table = t;
  }
  // One table only; a join is beyond what this engine evaluates.
  if (st.tables.size() != 1) throw fromSyntax();

  Query q;
  q.table_ = table;
  q.count_ = st.kind == Statement::Kind::Count;
  Binder binder(*table, st.whereText);

  std::vector<std::string> unknown;
  for (const auto& item : st.items)
    if (!binder.resolve(item.qualifier, item.name)) Binder::addUnique(unknown, item.name);
  binder.collectUnknown(st.where.get(), unknown);
  if (!unknown.empty()) throw tooFewParameters(static_cast<int>(unknown.size()));

  if (st.where) q.where_ = binder.condition(*st.where);

  switch (st.kind) {
    case Statement::Kind::Count: {
      q.names_.push_back(st.countAlias.empty() ? "Expr1000" : st.countAlias);
      if (st.countColumn) {
        const ColumnInfo* c = binder.resolve(st.items[0].qualifier, st.items[0].name);
        PredPtr notNull = std::make_unique<IsNull>(c->position, c->daoType, true);
        if (q.where_) {
          auto both = std::make_unique<And>();
          both->a = std::move(q.where_);
          both->b = std::move(notNull);
          q.where_ = std::move(both);
        } else {
          q.where_ = std::move(notNull);
        }
      }
      break;
    }
    case Statement::Kind::Star:
      for (const auto& c : table->columns) {
        q.columns_.push_back(c.position);
        q.names_.push_back(c.name);
      }
      break;
    case Statement::Kind::Columns:
      for (const auto& item : st.items) {
        const ColumnInfo* c = binder.resolve(item.qualifier, item.name);
        q.columns_.push_back(c->position);
        q.names_.push_back(item.alias.empty() ? c->name : item.alias);
      }
      break;
  }
  return q;
}

bool Query::test(TableCursor& cursor) { return !where_ || where_->eval(cursor) == kTrue; }

int64_t Query::count(Database& db) {
  auto cursor = db.scan(*table_);
  int64_t n = 0;
  if (!where_) {
    while (cursor->next()) ++n;
    return n;
  }
  Predicate& p = *where_;
  RowFilter f;
  if (!p.filter(f)) f.kind = RowFilter::Kind::None;
  f.wholeWalk = true;  // nothing here writes before the walk ends
  while (cursor->nextWhere(f)) n += p.eval(*cursor) == kTrue;
  return n;
}

std::vector<int64_t> Query::countAll(Database& db, std::vector<Query>& queries) {
  std::vector<int64_t> counts(queries.size(), 0);
  std::vector<bool> done(queries.size(), false);
  std::vector<size_t> group;
  std::vector<Predicate*> where;
  for (size_t first = 0; first < queries.size(); ++first) {
    if (done[first]) continue;
    const TableInfo* table = queries[first].table_;
    group.clear();
    for (size_t i = first; i < queries.size(); ++i)
      if (!done[i] && queries[i].table_ == table) {
        group.push_back(i);
        done[i] = true;
      }
    if (group.size() == 1) {
      counts[first] = queries[first].count(db);
      continue;
    }
    // The walk's filter: a row goes on when any query's filter keeps it; one query
    // without a filter means every row must be looked at.
    RowFilter f;
    f.kind = RowFilter::Kind::Any;
    where.clear();
    for (size_t i : group) {
      Predicate* p = queries[i].where_.get();
      where.push_back(p);
      if (f.kind == RowFilter::Kind::None) continue;
      RowFilter g;
      if (p == nullptr || !p->filter(g)) {
        f.kind = RowFilter::Kind::None;
        f.any.clear();
        continue;
      }
      f.any.push_back(std::move(g));
    }
    f.wholeWalk = true;  // nothing here writes before the walk ends
    auto cursor = db.scan(*table);
    std::vector<int64_t> n(group.size(), 0);
    while (cursor->nextWhere(f))
      for (size_t k = 0; k < group.size(); ++k) n[k] += !where[k] || where[k]->eval(*cursor) == kTrue;
    for (size_t k = 0; k < group.size(); ++k) counts[group[k]] = n[k];
  }
  return counts;
}

std::vector<RowId> Query::rows(Database& db) {
  auto cursor = db.scan(*table_);
  std::vector<RowId> out;
  RowFilter f;
  if (!where_ || !where_->filter(f)) f.kind = RowFilter::Kind::None;
  f.wholeWalk = true;
  while (cursor->nextWhere(f))
    if (test(*cursor)) out.push_back(cursor->rowId());
  return out;
}

}  // namespace jet::sql
