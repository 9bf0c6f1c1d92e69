// Encoding and decoding of TYPE_INFO and of values for every TDS type we serve or accept:
// integers, bit, float/real, decimal/numeric, money/smallmoney, datetime/smalldatetime,
// date, time, datetime2, datetimeoffset, char/varchar/nchar/nvarchar (also (max) as PLP
// chunks), binary/varbinary, uniqueidentifier, and text/ntext/image when reading parameters.
#pragma once

#include <cstddef>
#include <string>

#include "tds/type_info.h"
#include "tds/wire.h"

namespace orv::tds {

void WriteTypeInfo(ByteWriter& out, const TypeInfo& info);
// Reads a TYPE_INFO; a type we do not accept (xml, udt, sql_variant, tables) or an impossible
// length, precision or scale is a ProtocolError.
TypeInfo ReadTypeInfo(ByteReader& in);

// Writes one value of a column or parameter of type `info` (ROW token layout). The value is
// converted to the type where that makes sense (an integer into a decimal column, ...); a
// value that cannot be is a std::invalid_argument, a server fault rather than a client one.
void WriteValue(ByteWriter& out, const TypeInfo& info, const WireValue& value);
// Whether WriteValue can leave this value out of an NBCROW (only NULLs; every type can).
inline bool IsNullValue(const WireValue& value) { return value.is_null(); }

// Reads one value of type `info`. Values larger than `max_bytes` are a ProtocolError.
WireValue ReadValue(ByteReader& in, const TypeInfo& info, size_t max_bytes);

// "123.4500", "-0.5", "42": exact decimal text of unscaled / 10^scale.
std::string DecimalText(Int128 unscaled, int scale);
// Rescales a decimal, rounding half away from zero when digits are dropped.
Int128 Rescale(Int128 unscaled, int from_scale, int to_scale);

}  // namespace orv::tds
