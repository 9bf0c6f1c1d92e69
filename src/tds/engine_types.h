// How the engine's column types and values go on the wire: SqlType -> TYPE_INFO and
// Value -> WireValue, for the TDS version a client logged in with; and back, for the typed
// parameters of a client's procedure call.
#pragma once

#include <cstdint>

#include "tds/type_info.h"
#include "tsql/engine.h"

namespace orv::tds {

// char/varchar go out under `kServerCollation` (code page 936), so a declared length of n
// characters may need up to 2n bytes; nchar/nvarchar take 2 bytes a UTF-16 unit. Lengths past
// what the non-(max) types hold become (max).
TypeInfo WireTypeOf(const tsql::SqlType& type, uint32_t tds_version);
WireValue WireValueOf(const tsql::Value& value, const tsql::SqlType& type);

// The engine type of a parameter's TYPE_INFO, and its value as the engine holds it (dates and
// times as datetime2 or datetimeoffset, which convert to the parameter's own type).
tsql::SqlType EngineTypeOf(const TypeInfo& info);
tsql::Value EngineValueOf(const WireValue& value, const TypeInfo& info);

}  // namespace orv::tds
