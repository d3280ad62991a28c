#include "jet/index/TableIndexes.h"

namespace jet::index {

namespace {

bool isText(int type) { return type == format::coltype::kText || type == format::coltype::kMemo; }

}  // namespace

bool RealIndex::holds(const format::ColumnDef& c) const {
  for (const format::ColumnDef* col : columns)
    if (col->number == c.number) return true;
  return false;
}

const IndexPageLayout& indexLayout(const format::Version& v) { return indexLayout(v.jet3()); }

std::vector<RealIndex> realIndexes(const format::TableDef& def, const format::Header& header) {
  const bool jet3 = header.version.jet3();
  std::vector<RealIndex> out;
  for (size_t i = 0; i < def.realIndexes.size(); ++i) {
    const format::RealIndexDef& r = def.realIndexes[i];
    RealIndex ix;
    ix.number = i;
    ix.root = r.rootPage;
    ix.usageMap = r.usageMap.page << 8 | r.usageMap.row;
    ix.unique = (r.flags & format::idxflag::kUnique) != 0;
    ix.ignoreNulls = (r.flags & format::idxflag::kIgnoreNulls) != 0;
    for (const format::LogicalIndexDef& l : def.logicalIndexes) {
      if (l.realIndex != static_cast<int32_t>(i)) continue;
      if (!ix.name.empty()) ix.name += "/";
      ix.name += l.name;
      if (l.type == format::idxtype::kPrimaryKey) ix.primaryKey = true;
    }
    if (ix.name.empty()) ix.name = "#" + std::to_string(i);
    for (const format::RealIndexColumn& rc : r.columns) {
      const format::ColumnDef* col = nullptr;
      for (const format::ColumnDef& c : def.columns)
        if (c.number == rc.number) col = &c;
      if (col == nullptr) {
        ix.broken = "索引 '" + ix.name + "' 引用了不存在的字段 " + std::to_string(rc.number);
        continue;
      }
      KeyColumn k;
      k.type = static_cast<uint8_t>(col->type);
      k.ascending = rc.ascending;
      k.name = col->name;
      if (isText(col->type)) {
        k.collation.jet3 = jet3;
        k.collation.lcid = static_cast<uint16_t>(col->collation != 0 ? col->collation : header.sortOrder);
        k.collation.version = static_cast<uint8_t>(col->collationVersion);
        k.collation.codePage =
            static_cast<uint16_t>(col->codePage != 0 ? col->codePage : header.codePage);
      }
      ix.key.push_back(k);
      ix.columns.push_back(col);
    }
    ix.unsupported = ix.broken ? ix.broken : unsupported(ix.key);
    out.push_back(std::move(ix));
  }
  return out;
}

std::optional<Bytes> rowKey(RowDecoder& row, const RealIndex& index, bool jet3, KeyNulls* nulls) {
  Bytes out;
  KeyNulls n;
  bool encoded = true;
  for (size_t i = 0; i < index.key.size(); ++i) {
    const KeyColumn& k = index.key[i];
    const format::ColumnDef& c = *index.columns[i];
    if (jet3 && c.type == format::coltype::kText) {
      // The stored code-page bytes are the key's input; no conversion in between.
      const uint8_t* p;
      uint32_t len;
      if (!row.bytes(c, &p, &len)) {
        out.push_back(k.ascending ? 0x00 : 0xFF);
        n.any = true;
        continue;
      }
      n.all = false;
      if (sortOrderOf(k.collation) != SortOrder::General97) {
        encoded = false;
        continue;
      }
      out.push_back(k.ascending ? 0x7F : 0x80);
      const Bytes t = general97Text(std::string_view(reinterpret_cast<const char*>(p), len), k.ascending);
      out.insert(out.end(), t.begin(), t.end());
      continue;
    }
    const Value v = row.value(c);
    if (v.isNull() && c.type != format::coltype::kBoolean) {
      n.any = true;
    } else {
      n.all = false;
    }
    encoded = tryAppendColumnKey(k, v, out) && encoded;
  }
  if (nulls) *nulls = n;
  if (!encoded) return std::nullopt;
  return out;
}

namespace {

std::optional<Bytes> keyOfValues(const RealIndex& index, const std::vector<Value>& values,
                                 KeyNulls* nulls, bool refuse) {
  Bytes out;
  KeyNulls n;
  bool encoded = true;
  for (size_t i = 0; i < index.key.size(); ++i) {
    if (values[i].isNull() && index.key[i].type != format::coltype::kBoolean) {
      n.any = true;
    } else {
      n.all = false;
    }
    if (refuse)
      appendColumnKey(index.key[i], values[i], out);
    else
      encoded = tryAppendColumnKey(index.key[i], values[i], out) && encoded;
  }
  if (nulls) *nulls = n;
  if (!encoded) return std::nullopt;
  return out;
}

}  // namespace

Bytes valuesKey(const RealIndex& index, const std::vector<Value>& values, KeyNulls* nulls) {
  return *keyOfValues(index, values, nulls, true);
}

std::optional<Bytes> tryValuesKey(const RealIndex& index, const std::vector<Value>& values,
                                  KeyNulls* nulls) {
  return keyOfValues(index, values, nulls, false);
}

}  // namespace jet::index
