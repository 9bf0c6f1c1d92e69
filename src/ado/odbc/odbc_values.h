// The columns of an ODBC result and their values as the Variants recordset fields hold, mapped
// as the embedded provider maps the engine's: bit -> Boolean, tinyint/smallint -> Integer,
// int -> Long, bigint/decimal/numeric/money -> Decimal with the column's scale, float/real ->
// Double, character types -> String (UTF-8), datetime/smalldatetime/date -> Date to the
// millisecond, NULL -> Null. Types the engine does not have come as near as they can: time ->
// Date on day zero, uniqueidentifier -> String, binary -> "0x..." String.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>
#include <vector>

#include "ado/provider.h"
#include "automation/variant.h"

namespace orv::ado::odbc {

// One result column as described by the driver.
struct OdbcColumn {
  ColumnInfo info;  // name and the declared type as the engine writes it ("decimal(19,4)")
  SQLSMALLINT sql_type = 0;
  SQLULEN size = 0;
  SQLSMALLINT scale = 0;
};

// The columns of the statement's current result.
std::vector<OdbcColumn> DescribeColumns(SQLHSTMT statement, SQLSMALLINT count);

// The value of column `index` (0-based) of the current row. Raises an automation error when the
// driver cannot deliver it.
automation::Variant ReadValue(SQLHSTMT statement, SQLUSMALLINT index, const OdbcColumn& column);

// "-12.5" read as a decimal of `scale` digits after the point (padded or cut).
automation::DecimalValue DecimalFromText(std::string_view text, int scale);

// The engine's type text of a column from the driver's type name and description.
std::string TypeText(std::string_view type_name, SQLSMALLINT sql_type, SQLULEN size,
                     SQLSMALLINT scale);

}  // namespace orv::ado::odbc
