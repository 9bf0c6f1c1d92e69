// The errors this layer raises itself (closed object, no current record, unknown item...), with
// their standard texts.
#pragma once

#include <cstdint>
#include <string>

namespace orv::ado {

// Source of every error raised by the data-access layer.
inline constexpr const char* kErrorSource = "orvdata";

// The standard text of an error number of this layer ("" when unknown).
std::string AdoErrorText(int32_t number);

// Raises an error of this layer; an empty description takes the standard text.
[[noreturn]] void RaiseAdoError(int32_t number, std::string description = {});

}  // namespace orv::ado
