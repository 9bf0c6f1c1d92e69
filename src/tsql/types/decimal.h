// Exact decimal arithmetic on 128-bit unscaled integers (decimal(p,s) holds up to 38 digits):
// powers of ten, digit counts, rescaling with SQL Server's rounding (half away from zero),
// products and quotients through 256-bit intermediates, and decimal text in both directions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tsql/types/value.h"

namespace orv::tsql::dec {

inline constexpr int kMaxPrecision = 38;

// 10^n for n in 0..38.
Int128 Pow10(int n);

// Number of decimal digits of |v| (0 has one digit).
int DigitCount(Int128 v);

// True when |v| < 10^precision.
bool FitsPrecision(Int128 v, int precision);

// v / d rounded half away from zero (d != 0).
Int128 DivRound(Int128 v, Int128 d);

// Changes the scale of an unscaled value: up multiplies, down rounds half away from zero or
// truncates toward zero. nullopt when the result does not fit in 128 bits.
std::optional<Int128> Rescale(Int128 v, int from_scale, int to_scale, bool truncate = false);

// (a * b) / 10^shift, rounded half away from zero; nullopt when the result exceeds 38 digits.
std::optional<Int128> MulShift(Int128 a, Int128 b, int shift);

// The unscaled quotient at result_scale of a (scale sa) / b (scale sb), truncated toward zero
// as SQL Server does for decimal division. b != 0. nullopt when it exceeds 38 digits.
std::optional<Int128> Quotient(Int128 a, int sa, Int128 b, int sb, int result_scale);

// Three-way comparison of two decimals with possibly different scales.
int CompareScaled(Int128 a, int sa, Int128 b, int sb);

// "12.50", "-0.50", "7": digits with exactly `scale` decimals, leading 0 before the point.
std::string ToString(Int128 v, int scale);
void AppendTo(std::string& out, Int128 v, int scale);

// Reads [blanks][+|-]digits[.digits][blanks] into the unscaled value at `scale`, rounding
// extra decimals half away from zero.
enum class ParseStatus { kOk, kSyntax, kOverflow };
ParseStatus Parse(std::string_view text, int precision, int scale, Int128& out);

double ToDouble(Int128 v, int scale);
// nullopt when |d| rounded to `scale` does not fit `precision` digits (or is not finite).
std::optional<Int128> FromDouble(double d, int precision, int scale);

}  // namespace orv::tsql::dec
