// A value read from a data source written back as a T-SQL literal, so that an INSERT gives the
// target column the same value: NULL, 1/0 for Boolean, digits for integers, the digits with
// their scale for Decimal, the exact shortest form for Double, '{ts}' text to the millisecond
// for Date, N'...' for text.
#pragma once

#include <string>

#include "automation/variant.h"

namespace orv::importer {

void AppendSqlLiteral(std::string& out, const automation::Variant& value);

}  // namespace orv::importer
