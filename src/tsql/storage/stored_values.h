// Values between the engine and the columns of a SQLite data-source file: how a value is bound
// for a write, and how a stored value is read back as its column's declared type. Reading
// refuses a value that does not fit the type (text in a decimal or datetime column, a number
// out of an integer type's range, a string longer than its column) instead of taking it as
// something else.
#pragma once

#include <optional>

#include "tsql/types/sql_error.h"
#include "tsql/types/types.h"
#include "tsql/types/value.h"

struct sqlite3_stmt;

namespace orv::tsql {

void BindStoredValue(sqlite3_stmt* stmt, int index, const Value& value);

// Reads column `col` of the current row as `type`: the value, or the engine's error for a
// stored value that does not fit (the conversion's number: 245, 8114, 8115, 241, 242, 8152;
// 515 for a NULL in a column that does not allow nulls).
std::optional<SqlError> ReadStoredValue(sqlite3_stmt* stmt, int col, const SqlType& type,
                                        bool nullable, Value& out);

}  // namespace orv::tsql
