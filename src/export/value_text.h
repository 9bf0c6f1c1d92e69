// The text of one value as the writers show it: numbers in plain digits, decimals brought to a
// column's scale, dates in ISO 8601, and the per-column scale that shows every value of a
// column without trailing zeros.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "automation/variant.h"
#include "export/result_table.h"

namespace orv::exports {

// A date as ISO 8601: "yyyy-mm-dd" at midnight, else "yyyy-mm-ddThh:mm:ss" (".mmm" when the
// milliseconds are not 0).
std::string IsoDate(const automation::DateValue& date);

// A date for people: "yyyy-mm-dd" at midnight, else "yyyy-mm-dd hh:mm:ss" (".mmm" when the
// milliseconds are not 0); never rounded to the second.
std::string DisplayDate(const automation::DateValue& date);

// A decimal text ("12.5000") with its fraction cut or padded to `scale` digits, never cutting
// a non-zero digit.
std::string RescaleDecimalText(std::string_view text, int scale);

// A double in plain digits (the shortest text that reads back exactly); an exponent only for
// very large or very small magnitudes.
std::string DoubleText(double value);

// Text of a value for people (text table, Markdown): decimals at `scale` digits, dates as
// DisplayDate, control characters as spaces, Null as `null_text`.
std::string DisplayText(const automation::Variant& value, int scale, std::string_view null_text);

// Text of a value for programs (CSV): Null and Empty as "", dates ISO, full precision.
std::string PlainText(const automation::Variant& value);

// The scale of a declared "decimal(p,s)" / "numeric(p,s)" type; 0 when not given.
int DeclaredScale(const std::string& sql_type);

// Per column: the decimal scale that shows every value of the column without trailing zeros,
// but at least two digits (or the declared scale when smaller), as amounts are read.
std::vector<int> ColumnScales(const ResultTable& table);

}  // namespace orv::exports
