#pragma once
// The property blob a catalog row keeps in LvProp: per-table and per-column properties
// (Required, AllowZeroLength, DefaultValue, ...) that the table definition does not hold.
//
// Layout: "KKD\0" (Jet 3) or "MR2\0" (Jet 4) then chunks {length (4, including these 6
// bytes), type (2)}: type 0x80 lists the property names; types 0 (the table) and 1 (a
// column) hold {block length (4), name length (2), name} and then entries {length (2,
// including itself), DDL flag (1), data type (1), name index (2), value length (2), value}.
//
// GUARANTEES: parseProperties() never reads outside the blob; what it cannot make sense
// of it leaves out (properties are hints to the write path, not data).
#include <cstdint>
#include <string>
#include <vector>

namespace jet::format {

class TextCodec;

struct Property {
  std::string object;  // the column's name; empty for the table itself
  std::string name;    // e.g. "Required"
  int type = 0;        // a column type code (1 = Boolean)
  std::string value;   // the raw value bytes
  // Boolean and integer values as a number (0 when absent or of another type).
  int64_t number() const;
};

std::vector<Property> parseProperties(const uint8_t* p, size_t n, const TextCodec& codec);

}  // namespace jet::format
