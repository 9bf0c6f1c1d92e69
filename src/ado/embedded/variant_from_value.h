// Conversion of the engine's values to the automation Variants that recordset fields hold, by
// the column's SQL type: bit -> Boolean, tinyint/smallint -> Integer, int -> Long,
// bigint/decimal/numeric/money -> Decimal, float/real -> Double, character types -> String,
// datetime/smalldatetime/date -> Date, NULL -> Null.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "automation/variant.h"
#include "tsql/types/types.h"
#include "tsql/types/value.h"

namespace orv::ado::embedded {

automation::Variant VariantFromValue(const tsql::Value& value, const tsql::SqlType& type);

// Engine datetime ticks (1/300 s since 1900-01-01) as the platform's date. Milliseconds are
// rounded from ticks the way the server shows them (.000, .003, .007).
automation::DateValue DateFromTicks(int64_t ticks);

// "yyyy-mm-dd" or "yyyy-mm-dd hh:mi:ss" (spaces around it allowed) as engine datetime ticks;
// nullopt when the text is not a valid date and time.
std::optional<int64_t> TicksFromClockText(std::string_view text);

}  // namespace orv::ado::embedded
