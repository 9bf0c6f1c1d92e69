// Values between the engine and the columns of a SQLite data-source file: how a value is bound
// for a write, and how a stored value is read back as its column's declared type. Reading
// refuses a value that does not fit the type (text in a decimal or datetime column, a number
// out of an integer type's range, a string longer than its column) instead of taking it as
// something else.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "tsql/types/sql_error.h"
#include "tsql/types/types.h"
#include "tsql/types/value.h"

struct sqlite3_stmt;

namespace orv::tsql {

// Bytes (binary, uniqueidentifier) are bound as blobs; the type says which strings are bytes.
void BindStoredValue(sqlite3_stmt* stmt, int index, const Value& value, const SqlType& type);

// How one column's stored values are read back and checked, worked out once per table.
struct StoredValueReader {
  StoredValueReader(const SqlType& type, bool nullable);
  enum class Kind : uint8_t { kInteger, kDecimal, kFloat, kDate, kPreciseTime, kBytes, kString };
  SqlType type;
  bool nullable = true;
  Kind kind = Kind::kString;
  int64_t min = 0, max = 0;   // integers: the type's range; dates: the range of ticks
  int precision = 0, scale = 0;
};

// Reads columns [first, first + readers.size()) of the current row into `row`: each value, or
// for the first one that does not fit its type, its index and the engine's error (the
// conversion's number: 245, 8114, 8115, 241, 242, 8152; 515 for a NULL in a column that does
// not allow nulls).
std::optional<std::pair<size_t, SqlError>> ReadStoredRow(sqlite3_stmt* stmt, int first,
                                                         const std::vector<StoredValueReader>& readers,
                                                         std::vector<Value>& row);

}  // namespace orv::tsql
