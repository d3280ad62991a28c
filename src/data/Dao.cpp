#include "Dao.h"

#include <cmath>
#include <cstdlib>
#include <optional>

#include "jet/DateTime.h"
#include "jet/Error.h"
#include "jet/Value.h"
#include "jet/sql/Query.h"

namespace dao {

namespace {

// Failures of the object model that neither the engine nor the SQL layer raises.
jet::Error updateWithoutEdit() {
  return jet::Error(3020, "没有 AddNew 或 Edit 的更新或取消更新。");
}
jet::Error invalidOperation() { return jet::Error(3219, "无效的操作。"); }
jet::Error itemNotFound() { return jet::Error(3265, "在此集合中找不到项目。"); }
jet::Error badBookmark() { return jet::Error(3159, "不是有效的书签。"); }
jet::Error badAccount() { return jet::Error(3029, "不是有效的帐号名称或密码。"); }
jet::Error unsupported() { return jet::Error(3251, "对于这种类型的对象操作无效。"); }
jet::Error nullNotVariant() { return jet::Error(3162, "您试图将 Null 值赋给不是 Variant 数据类型的变量。"); }

}  // namespace

namespace detail {

struct WorkspaceState {
  std::string name;
  bool closed = false;
  std::vector<std::weak_ptr<DatabaseState>> databases;
};

struct DatabaseState {
  std::shared_ptr<WorkspaceState> workspace;
  std::unique_ptr<jet::Database> engine;
  std::string path;
  bool closed = false;
  bool inBatch = false;  // between BeginBatch and CommitBatch

  // The engine, or 3420 once this database or its workspace has been closed.
  jet::Database& open() {
    if (closed || workspace->closed || !engine) throw jet::invalidObject();
    return *engine;
  }
  void close() {
    if (closed) return;
    closed = true;
    auto e = std::move(engine);
    if (e) e->close();
  }
};

struct RecordsetState {
  std::shared_ptr<DatabaseState> db;
  bool closed = false;
  bool isCount = false;
  int64_t countValue = 0;
  const jet::TableInfo* table = nullptr;
  std::vector<int> columns;  // indexes into table->columns
  std::vector<std::string> names;
  std::vector<jet::RowId> rows;
  int64_t pos = 0;  // -1 before the first row, size() past the last
  bool editing = false;
  bool adding = false;  // the edit is a new row (AddNew)
  std::vector<std::optional<jet::Value>> pending;  // per selected field, while editing
  std::optional<jet::RowId> lastModified;

  jet::Database& open() {
    if (closed) throw jet::invalidObject();
    return db->open();
  }
  int64_t size() const { return isCount ? 1 : static_cast<int64_t>(rows.size()); }
  bool hasCurrent() const { return pos >= 0 && pos < size(); }
  void requireCurrent() const {
    if (!hasCurrent()) throw jet::noCurrentRecord();
  }
  void dropEdit() {
    editing = false;
    adding = false;
    pending.assign(pending.size(), std::nullopt);
  }
};

}  // namespace detail

using detail::DatabaseState;
using detail::RecordsetState;
using detail::WorkspaceState;

namespace {

size_t utf16Length(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) {
    if ((c & 0xC0) != 0x80) ++n;  // a lead byte starts a character
    if (c >= 0xF0) ++n;           // beyond the BMP: a surrogate pair
  }
  return n;
}

std::optional<double> number(const jet::Value& v) {
  switch (v.kind()) {
    case jet::Value::Kind::Bool: return v.asBool() ? -1.0 : 0.0;
    case jet::Value::Kind::Int: return static_cast<double>(v.asInt());
    case jet::Value::Kind::Double: return v.asDouble();
    case jet::Value::Kind::Date: return v.asDate().stored;
    case jet::Value::Kind::Currency: return v.asCurrency().tenThousandths / 10000.0;
    case jet::Value::Kind::Decimal: {
      const char* b = v.asDecimal().text.c_str();
      char* e = nullptr;
      double d = std::strtod(b, &e);
      if (e == b) return std::nullopt;
      return d;
    }
    case jet::Value::Kind::Text: return jet::parseNumber(v.asText());
    default: return std::nullopt;
  }
}

// The password a connect string gives (";PWD=secret"), or none.
std::string_view passwordIn(std::string_view connect) {
  while (!connect.empty()) {
    const size_t end = connect.find(';');
    const std::string_view part = connect.substr(0, end);
    if (part.size() >= 4 && (part[0] | 0x20) == 'p' && (part[1] | 0x20) == 'w' &&
        (part[2] | 0x20) == 'd' && part[3] == '=')
      return part.substr(4);
    if (end == std::string_view::npos) break;
    connect.remove_prefix(end + 1);
  }
  return {};
}

bool iequals(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  return i == a.size() && !b[i];
}

}  // namespace

Variant ConvertToColumn(const jet::ColumnInfo& col, const Variant& v) {
  using K = jet::Value::Kind;
  if (v.isNull()) {
    if (col.daoType == jet::daotype::kBoolean) throw nullNotVariant();  // Yes/No has no Null
    return v;
  }
  switch (col.daoType) {
    case jet::daotype::kText:
    case jet::daotype::kMemo: {
      if (v.kind() == K::Binary) throw jet::conversion();
      std::string text = v.kind() == K::Text ? v.asText() : v.toText();
      if (col.daoType == jet::daotype::kText && col.size > 0 &&
          utf16Length(text) > static_cast<size_t>(col.size))
        throw jet::fieldTooSmall();
      return jet::Value(std::move(text));
    }
    case jet::daotype::kDate: {
      if (v.kind() == K::Date) return v;
      if (v.kind() == K::Text) {
        if (auto d = jet::parseDate(v.asText())) return jet::Value(jet::Date{*d});
        throw jet::conversion();
      }
      auto d = number(v);
      if (!d) throw jet::conversion();
      return jet::Value(jet::Date{*d});
    }
    case jet::daotype::kBoolean: {
      if (v.kind() == K::Bool) return v;
      if (v.kind() == K::Text) {
        const std::string& t = v.asText();
        if (iequals(t, "true") || iequals(t, "yes") || iequals(t, "on")) return jet::Value(true);
        if (iequals(t, "false") || iequals(t, "no") || iequals(t, "off")) return jet::Value(false);
      }
      auto d = number(v);
      if (!d) throw jet::conversion();
      return jet::Value(*d != 0);
    }
    case jet::daotype::kByte:
    case jet::daotype::kInteger:
    case jet::daotype::kLong:
    case jet::daotype::kBigInt: {
      auto d = number(v);
      if (!d || !std::isfinite(*d)) throw jet::conversion();
      const double r = std::nearbyint(*d);  // half to even, as Jet rounds
      double lo = -9.2e18, hi = 9.2e18;
      if (col.daoType == jet::daotype::kByte) lo = 0, hi = 255;
      if (col.daoType == jet::daotype::kInteger) lo = -32768, hi = 32767;
      if (col.daoType == jet::daotype::kLong) lo = -2147483648.0, hi = 2147483647.0;
      if (r < lo || r > hi) throw jet::conversion();
      return jet::Value(static_cast<int64_t>(r));
    }
    case jet::daotype::kSingle:
    case jet::daotype::kDouble: {
      auto d = number(v);
      if (!d) throw jet::conversion();
      return jet::Value(*d);
    }
    case jet::daotype::kCurrency: {
      if (v.kind() == K::Currency) return v;
      auto d = number(v);
      if (!d || std::fabs(*d) > 9.2e14) throw jet::conversion();
      return jet::Value(jet::Currency{static_cast<int64_t>(std::llround(*d * 10000.0))});
    }
    default: return v;  // the engine judges the rest
  }
}

// ---- DBEngine -----------------------------------------------------------------------

namespace {
DBEngine* g_engine = nullptr;
}

DBEngine& DBEngine::instance() {
  if (!g_engine) g_engine = new DBEngine();  // lives as long as the process
  return *g_engine;
}

bool DBEngine::created() { return g_engine != nullptr; }

std::shared_ptr<Workspace> DBEngine::CreateWorkspace(const std::string& name,
                                                     const std::string& user,
                                                     const std::string& password, int type) {
  if (type != dbUseJet) throw unsupported();
  if (!iequals(user, "admin") || !password.empty()) throw badAccount();
  auto s = std::make_shared<WorkspaceState>();
  s->name = name;
  return std::make_shared<Workspace>(std::move(s));
}

// ---- Workspace ----------------------------------------------------------------------

std::shared_ptr<Database> Workspace::OpenDatabase(const std::string& path, bool exclusive,
                                                  bool readOnly, std::string_view connect) {
  if (s_->closed) throw jet::invalidObject();
  auto d = std::make_shared<DatabaseState>();
  d->workspace = s_;
  d->path = path;
  d->engine = jet::Database::open(path, readOnly ? jet::Database::Mode::ReadOnly
                                                 : jet::Database::Mode::Exclusive,
                                  passwordIn(connect));
  std::erase_if(s_->databases, [](const auto& w) { return w.expired(); });
  s_->databases.push_back(d);
  return std::make_shared<Database>(std::move(d));
}

void Workspace::Close() {
  if (s_->closed) return;
  s_->closed = true;
  for (auto& w : s_->databases)
    if (auto d = w.lock()) d->close();
  s_->databases.clear();
}

std::string Workspace::Name() const {
  if (s_->closed) throw jet::invalidObject();
  return s_->name;
}

// ---- Database -----------------------------------------------------------------------

std::vector<std::shared_ptr<TableDef>> Database::TableDefs() {
  jet::Database& e = s_->open();
  std::vector<std::shared_ptr<TableDef>> out;
  const int n = static_cast<int>(e.tables().size());
  out.reserve(n);
  for (int i = 0; i < n; ++i) out.push_back(std::make_shared<TableDef>(s_, i));
  return out;
}

std::shared_ptr<Recordset> Database::OpenRecordset(const std::string& sql) {
  jet::Database& e = s_->open();
  jet::sql::Query q = jet::sql::Query::prepare(e, sql);
  auto r = std::make_shared<RecordsetState>();
  r->db = s_;
  r->table = &q.table();
  r->names = q.fieldNames();
  if (q.isCount()) {
    r->isCount = true;
    r->countValue = q.count(e);
  } else {
    r->columns = q.columns();
    r->rows = q.rows(e);
  }
  r->pending.resize(r->names.size());
  return std::make_shared<Recordset>(std::move(r));
}

std::vector<int64_t> Database::Counts(const std::vector<std::string>& sqls) {
  jet::Database& e = s_->open();
  std::vector<jet::sql::Query> queries;
  queries.reserve(sqls.size());
  for (const std::string& sql : sqls) queries.push_back(jet::sql::Query::prepare(e, sql));
  return jet::sql::Query::countAll(e, queries);
}

void Database::Close() { s_->close(); }

std::string Database::Name() const {
  s_->open();
  return s_->path;
}

void Database::BeginBatch() {
  s_->open().beginBatch();
  s_->inBatch = true;
}

void Database::CommitBatch() {
  jet::Database& e = s_->open();
  s_->inBatch = false;
  e.commitBatch();
}

void Database::BeginWholeBatch() {
  s_->open().beginWholeBatch();
  s_->inBatch = true;
}

void Database::RollbackBatch() {
  jet::Database& e = s_->open();
  s_->inBatch = false;
  e.rollbackBatch();
}

jet::Database& Database::engine() { return s_->open(); }

// ---- TableDef -----------------------------------------------------------------------

std::string TableDef::Name() const { return db_->open().tables()[table_].name; }

int32_t TableDef::Attributes() const { return db_->open().tables()[table_].attributes; }

std::vector<std::shared_ptr<Field>> TableDef::Fields() const {
  const jet::TableInfo& t = db_->open().tables()[table_];
  std::vector<std::shared_ptr<Field>> out;
  out.reserve(t.columns.size());
  for (size_t i = 0; i < t.columns.size(); ++i)
    out.push_back(std::make_shared<Field>(db_, table_, static_cast<int>(i)));
  return out;
}

// ---- Field --------------------------------------------------------------------------

Field::Field(std::shared_ptr<detail::RecordsetState> rs, int index)
    : rs_(std::move(rs)), column_(index) {}

namespace {
// The column behind a field, or nullptr for a count query's value.
const jet::ColumnInfo* columnOf(const std::shared_ptr<DatabaseState>& db, int table, int column,
                                const std::shared_ptr<RecordsetState>& rs) {
  if (rs) {
    rs->open();
    if (rs->isCount) return nullptr;
    return &rs->table->columns[rs->columns[column]];
  }
  return &db->open().tables()[table].columns[column];
}
}  // namespace

std::string Field::Name() const {
  if (rs_) {
    rs_->open();
    return rs_->names[column_];
  }
  return columnOf(db_, table_, column_, rs_)->name;
}

int16_t Field::Type() const {
  const jet::ColumnInfo* c = columnOf(db_, table_, column_, rs_);
  return c ? static_cast<int16_t>(c->daoType) : dbLong;
}

int32_t Field::Size() const {
  const jet::ColumnInfo* c = columnOf(db_, table_, column_, rs_);
  return c ? c->size : 4;
}

bool Field::Required() const {
  const jet::ColumnInfo* c = columnOf(db_, table_, column_, rs_);
  return c && c->required;
}

Variant Field::Value() const {
  if (!rs_) {
    db_->open();
    throw invalidOperation();
  }
  jet::Database& e = rs_->open();
  if (rs_->adding) return rs_->pending[column_] ? *rs_->pending[column_] : jet::Value();
  rs_->requireCurrent();
  if (rs_->editing && rs_->pending[column_]) return *rs_->pending[column_];
  if (rs_->isCount) return jet::Value(rs_->countValue);
  return e.read(*rs_->table, rs_->rows[rs_->pos], rs_->columns[column_]);
}

void Field::SetValue(const Variant& value) {
  if (!rs_) {
    db_->open();
    throw invalidOperation();
  }
  rs_->open();
  if (!rs_->adding) rs_->requireCurrent();
  if (!rs_->editing) throw updateWithoutEdit();
  const jet::ColumnInfo& c = rs_->table->columns[rs_->columns[column_]];
  rs_->pending[column_] = ConvertToColumn(c, value);
}

// ---- Recordset ----------------------------------------------------------------------

bool Recordset::Eof() const {
  s_->open();
  return s_->pos >= s_->size();
}

bool Recordset::Bof() const {
  s_->open();
  return s_->pos < 0 || s_->size() == 0;
}

void Recordset::MoveNext() { Move(1); }

void Recordset::Move(int32_t rows) {
  s_->open();
  s_->requireCurrent();
  s_->dropEdit();
  int64_t p = s_->pos + rows;
  if (p < 0) p = -1;
  if (p > s_->size()) p = s_->size();
  s_->pos = p;
}

int32_t Recordset::RecordCount() const {
  s_->open();
  return static_cast<int32_t>(s_->size());
}

int Recordset::FieldCount() const {
  s_->open();
  return static_cast<int>(s_->names.size());
}

std::shared_ptr<Field> Recordset::Fields(int16_t index) {
  s_->open();
  if (index < 0 || index >= static_cast<int>(s_->names.size())) throw itemNotFound();
  return std::make_shared<Field>(s_, index);
}

std::shared_ptr<Field> Recordset::Fields(const std::string& name) {
  s_->open();
  for (size_t i = 0; i < s_->names.size(); ++i) {
    const std::string& n = s_->names[i];
    bool same = n.size() == name.size();
    for (size_t k = 0; same && k < n.size(); ++k) {
      unsigned char a = n[k], b = name[k];
      if (a < 0x80 && b < 0x80) same = (a | 0x20) == (b | 0x20) || a == b;
      else same = a == b;
    }
    if (same) return std::make_shared<Field>(s_, static_cast<int>(i));
  }
  throw itemNotFound();
}

void Recordset::Edit() {
  s_->open();
  s_->requireCurrent();
  if (s_->isCount) throw jet::readOnly("统计查询的结果不能更新");
  s_->dropEdit();
  s_->editing = true;
}

namespace {
std::string bookmarkOf(jet::RowId r) {
  std::string b(6, '\0');
  for (int k = 0; k < 4; ++k) b[k] = static_cast<char>((r.page >> (8 * k)) & 0xFF);
  b[4] = static_cast<char>(r.row & 0xFF);
  b[5] = static_cast<char>(r.row >> 8);
  return b;
}
}  // namespace

void Recordset::AddNew() {
  s_->open();
  if (s_->isCount) throw jet::readOnly("统计查询的结果不能添加记录");
  s_->dropEdit();
  s_->editing = true;
  s_->adding = true;
}

std::string Recordset::LastModified() const {
  s_->open();
  if (!s_->lastModified) throw jet::noCurrentRecord();
  return bookmarkOf(*s_->lastModified);
}

void Recordset::Update(int type, bool force) {
  jet::Database& e = s_->open();
  if (!s_->editing) throw updateWithoutEdit();
  if (s_->adding) {
    std::vector<jet::Value> row(s_->table->columns.size());
    for (size_t i = 0; i < s_->pending.size(); ++i)
      if (s_->pending[i]) row[static_cast<size_t>(s_->columns[i])] = *s_->pending[i];
    const jet::RowId id = e.insert(*s_->table, row);  // refuses Null in a required column
    s_->rows.push_back(id);
    // A recordset that was past its last row stays past it.
    if (s_->pos == static_cast<int64_t>(s_->rows.size()) - 1) ++s_->pos;
    s_->lastModified = id;
    s_->dropEdit();
    return;
  }
  s_->requireCurrent();
  std::vector<int> changed;
  for (size_t i = 0; i < s_->pending.size(); ++i) {
    if (!s_->pending[i]) continue;
    const jet::ColumnInfo& c = s_->table->columns[s_->columns[i]];
    if (s_->pending[i]->isNull() && c.required) throw jet::nullInRequired(c.name);
    changed.push_back(static_cast<int>(i));
  }
  const jet::RowId row = s_->rows[s_->pos];
  // Several columns of one row change in one commit (the caller's, inside its batch): a
  // column refused after others changed takes them back, and the edit stays pending.
  std::optional<jet::ScopedBatch> together;
  if (changed.size() > 1 && !s_->db->inBatch) together.emplace(e);
  for (int i : changed) e.update(*s_->table, row, s_->columns[i], *s_->pending[i]);
  if (together) together->commit();
  s_->lastModified = row;
  s_->dropEdit();
}

void Recordset::CancelUpdate() {
  s_->open();
  if (!s_->editing) throw updateWithoutEdit();
  s_->dropEdit();
}

void Recordset::CheckWritable() {
  jet::Database& e = s_->open();
  if (s_->isCount) throw jet::readOnly("统计查询的结果不能更新");
  for (int column : s_->columns) e.checkWritable(*s_->table, column);
}

std::string Recordset::Bookmark() const {
  s_->open();
  s_->requireCurrent();
  if (s_->isCount) throw unsupported();
  return bookmarkOf(s_->rows[s_->pos]);
}

void Recordset::SetBookmark(const std::string& bookmark) {
  s_->open();
  if (s_->isCount || bookmark.size() != 6) throw badBookmark();
  jet::RowId r;
  for (int k = 0; k < 4; ++k) r.page |= static_cast<uint32_t>(static_cast<unsigned char>(bookmark[k])) << (8 * k);
  r.row = static_cast<uint16_t>(static_cast<unsigned char>(bookmark[4]) |
                                (static_cast<unsigned char>(bookmark[5]) << 8));
  for (size_t i = 0; i < s_->rows.size(); ++i) {
    if (s_->rows[i] == r) {
      s_->dropEdit();
      s_->pos = static_cast<int64_t>(i);
      return;
    }
  }
  throw badBookmark();
}

void Recordset::Close() {
  if (s_->closed) return;
  s_->open();  // closing a recordset of a closed database fails like any other use
  s_->closed = true;
}

}  // namespace dao
