#include "jet/Dump.h"

#include "jet/DateTime.h"

namespace jet {

void appendEscaped(std::string& out, std::string_view s) {
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
}

void appendDumpValue(std::string& out, const Value& v) {
  using K = Value::Kind;
  switch (v.kind()) {
    case K::Null: out += "\\N"; break;
    case K::Bool: out += v.asBool() ? '1' : '0'; break;
    case K::Date: out += formatDateTime(v.asDate().stored); break;
    case K::Text: appendEscaped(out, v.asText()); break;
    case K::Decimal: {
      std::string d = v.asDecimal().text;
      if (d.find('.') != std::string::npos) {
        while (d.back() == '0') d.pop_back();
        if (d.back() == '.') d.pop_back();
      }
      if (d == "-0") d = "0";
      out += d;
      break;
    }
    default: out += v.toText(); break;
  }
}

void dumpTable(Database& db, const TableInfo& t, std::ostream* out, std::string* text) {
  std::string buf = "# ";
  appendEscaped(buf, t.name);
  for (const auto& c : t.columns) {
    buf += '\t';
    appendEscaped(buf, c.name);
  }
  buf += '\n';
  auto flush = [&] {
    if (out) {
      out->write(buf.data(), static_cast<std::streamsize>(buf.size()));
    } else {
      *text += buf;
    }
    buf.clear();
  };
  flush();
  auto cur = db.scan(t);
  const int n = static_cast<int>(t.columns.size());
  while (cur->next()) {
    for (int i = 0; i < n; ++i) {
      if (i) buf += '\t';
      appendDumpValue(buf, cur->value(i));
    }
    buf += '\n';
    if (buf.size() > 65536 || !out) flush();
  }
  flush();
}

}  // namespace jet
