// Number <-> text helpers behind the Variant conversions: the reader of numeric texts, the
// fixed text forms of Double and Decimal, and round-half-to-even for both.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "automation/variant.h"

namespace orv::automation::internal {

// The whole text as a number: spaces and tabs around it, an optional sign, digits with an
// optional decimal point, an optional exponent (e/E, or d/D as the platform also writes it).
// Nothing else may follow. A magnitude beyond double's range reads as +-infinity.
std::optional<double> ParseNumericText(std::string_view text);

// Shortest text that reads back exactly; fixed notation for 1e-5 <= |x| < 1e15, otherwise
// "1.5E+20" / "1E-06".
std::string DoubleToText(double value);

// Digits with exactly the value's scale ("12.50", "-0.5", "7").
std::string DecimalToText(const DecimalValue& value);
// The same text appended to `out`.
void AppendDecimalText(const DecimalValue& value, std::string& out);

// The nearest double (correctly rounded through the text form).
double DecimalToDouble(const DecimalValue& value);

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
double RoundHalfEven(double value);

// Nearest integer of a decimal, halves to even; nullopt when beyond the int64 range.
std::optional<int64_t> RoundHalfEven(const DecimalValue& value);

// Whether a decimal has no fractional part (12.00 is integral).
bool IsIntegral(const DecimalValue& value);

}  // namespace orv::automation::internal
