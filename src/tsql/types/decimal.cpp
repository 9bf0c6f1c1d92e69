#include "tsql/types/decimal.h"

#include <cmath>
#include <cstdint>

namespace orv::tsql::dec {
namespace {

using U128 = unsigned __int128;

constexpr U128 kU128Max = ~static_cast<U128>(0);
constexpr Int128 kInt128Max = static_cast<Int128>(kU128Max >> 1);

struct Pow10Table {
  Int128 v[kMaxPrecision + 1];
  constexpr Pow10Table() : v() {
    v[0] = 1;
    for (int i = 1; i <= kMaxPrecision; ++i) v[i] = v[i - 1] * 10;
  }
};
constexpr Pow10Table kPow10;

// The largest magnitude that can be scaled up by 10^n without overflow, per n: scaling up
// happens in most decimal additions and conversions, and a 128-bit division per check showed.
struct ScaleUpLimits {
  U128 v[kMaxPrecision + 1];
  constexpr ScaleUpLimits() : v() {
    for (int i = 0; i <= kMaxPrecision; ++i) v[i] = static_cast<U128>(kInt128Max / kPow10.v[i]);
  }
};
constexpr ScaleUpLimits kScaleUpLimit;

// Both values in 64 bits (nearly all amounts): one machine division instead of a 128-bit one.
bool Fits64(Int128 v) { return v >= INT64_MIN && v <= INT64_MAX; }

U128 Abs(Int128 v) {
  return v < 0 ? static_cast<U128>(0) - static_cast<U128>(v) : static_cast<U128>(v);
}

// Unsigned 256-bit integer, little-endian 64-bit limbs. Only what products and quotients of
// 38-digit decimals need.
struct U256 {
  uint64_t w[4] = {0, 0, 0, 0};

  static U256 From(U128 v) {
    U256 r;
    r.w[0] = static_cast<uint64_t>(v);
    r.w[1] = static_cast<uint64_t>(v >> 64);
    return r;
  }
  bool FitsU128() const { return w[2] == 0 && w[3] == 0; }
  U128 ToU128() const { return (static_cast<U128>(w[1]) << 64) | w[0]; }
  bool IsZero() const { return (w[0] | w[1] | w[2] | w[3]) == 0; }
  int BitLength() const {
    for (int i = 3; i >= 0; --i) {
      if (w[i] != 0) return i * 64 + 64 - __builtin_clzll(w[i]);
    }
    return 0;
  }
  bool Bit(int i) const { return (w[i / 64] >> (i % 64)) & 1; }
  void SetBit(int i) { w[i / 64] |= uint64_t{1} << (i % 64); }
  void Shl1() {
    for (int i = 3; i > 0; --i) w[i] = (w[i] << 1) | (w[i - 1] >> 63);
    w[0] <<= 1;
  }
  friend int Cmp(const U256& a, const U256& b) {
    for (int i = 3; i >= 0; --i) {
      if (a.w[i] != b.w[i]) return a.w[i] < b.w[i] ? -1 : 1;
    }
    return 0;
  }
  void Sub(const U256& b) {
    uint64_t borrow = 0;
    for (int i = 0; i < 4; ++i) {
      U128 d = static_cast<U128>(w[i]) - b.w[i] - borrow;
      w[i] = static_cast<uint64_t>(d);
      borrow = (d >> 64) != 0 ? 1 : 0;
    }
  }
};

// a * b; false when the product does not fit in 256 bits.
bool Mul(const U256& a, const U256& b, U256& out) {
  uint64_t r[8] = {};
  for (int i = 0; i < 4; ++i) {
    if (a.w[i] == 0) continue;
    uint64_t carry = 0;
    for (int j = 0; j < 4; ++j) {
      U128 t = static_cast<U128>(a.w[i]) * b.w[j] + r[i + j] + carry;
      r[i + j] = static_cast<uint64_t>(t);
      carry = static_cast<uint64_t>(t >> 64);
    }
    r[i + 4] = carry;
  }
  for (int i = 4; i < 8; ++i) {
    if (r[i] != 0) return false;
  }
  for (int i = 0; i < 4; ++i) out.w[i] = r[i];
  return true;
}

// Binary long division; d != 0. Only reached when the operands exceed 128 bits.
void DivMod(const U256& n, const U256& d, U256& q, U256& rem) {
  q = U256();
  rem = U256();
  for (int i = n.BitLength() - 1; i >= 0; --i) {
    rem.Shl1();
    if (n.Bit(i)) rem.w[0] |= 1;
    if (Cmp(rem, d) >= 0) {
      rem.Sub(d);
      q.SetBit(i);
    }
  }
}

// 10^n as a 256-bit number, n up to 76; false when n is larger.
bool Pow10Wide(int n, U256& out) {
  if (n <= kMaxPrecision) {
    out = U256::From(static_cast<U128>(kPow10.v[n]));
    return true;
  }
  if (n > 2 * kMaxPrecision) return false;
  return Mul(U256::From(static_cast<U128>(kPow10.v[kMaxPrecision])),
             U256::From(static_cast<U128>(kPow10.v[n - kMaxPrecision])), out);
}

std::optional<Int128> Signed(U128 magnitude, bool negative) {
  if (magnitude >= static_cast<U128>(kPow10.v[kMaxPrecision])) return std::nullopt;
  Int128 v = static_cast<Int128>(magnitude);
  return negative ? -v : v;
}

void AppendUnsigned(std::string& out, U128 u) {
  constexpr uint64_t k1e19 = 10000000000000000000ull;
  char buf[48];
  int n = 0;
  // Low 19-digit chunks are written with their leading zeros; the top chunk without.
  while (u >= k1e19) {
    uint64_t chunk = static_cast<uint64_t>(u % k1e19);
    u /= k1e19;
    for (int i = 0; i < 19; ++i, chunk /= 10) buf[n++] = static_cast<char>('0' + chunk % 10);
  }
  uint64_t top = static_cast<uint64_t>(u);
  do {
    buf[n++] = static_cast<char>('0' + top % 10);
    top /= 10;
  } while (top > 0);
  while (n > 0) out.push_back(buf[--n]);
}

}  // namespace

Int128 Pow10(int n) { return kPow10.v[n]; }

int DigitCount(Int128 v) {
  U128 u = Abs(v);
  int n = 1;
  while (n <= kMaxPrecision && u >= static_cast<U128>(kPow10.v[n])) ++n;
  return n;
}

bool FitsPrecision(Int128 v, int precision) {
  if (precision > kMaxPrecision) return true;
  return Abs(v) < static_cast<U128>(kPow10.v[precision]);
}

Int128 DivRound(Int128 v, Int128 d) {
  if (Fits64(v) && Fits64(d) && d != -1) {
    const int64_t v64 = static_cast<int64_t>(v), d64 = static_cast<int64_t>(d);
    int64_t q = v64 / d64;
    const int64_t r = v64 % d64;
    const uint64_t twice = (r < 0 ? 0 - static_cast<uint64_t>(r) : static_cast<uint64_t>(r)) * 2;
    const uint64_t abs_d = d64 < 0 ? 0 - static_cast<uint64_t>(d64) : static_cast<uint64_t>(d64);
    if (twice >= abs_d) q += ((v64 < 0) != (d64 < 0)) ? -1 : 1;
    return q;
  }
  Int128 q = v / d;
  Int128 r = v % d;
  U128 twice = Abs(r) * 2;
  if (twice >= Abs(d)) q += ((v < 0) != (d < 0)) ? -1 : 1;
  return q;
}

std::optional<Int128> Rescale(Int128 v, int from_scale, int to_scale, bool truncate) {
  if (to_scale == from_scale || v == 0) return v;
  if (to_scale > from_scale) {
    int up = to_scale - from_scale;
    if (up > kMaxPrecision) return std::nullopt;
    if (Abs(v) > kScaleUpLimit.v[up]) return std::nullopt;
    return v * kPow10.v[up];
  }
  int down = from_scale - to_scale;
  if (down > kMaxPrecision) return Int128{0};
  Int128 f = kPow10.v[down];
  if (!truncate) return DivRound(v, f);
  if (Fits64(v) && Fits64(f)) return static_cast<int64_t>(v) / static_cast<int64_t>(f);
  return v / f;
}

std::optional<Int128> MulShift(Int128 a, Int128 b, int shift) {
  bool negative = (a < 0) != (b < 0);
  U128 ua = Abs(a), ub = Abs(b);
  constexpr U128 k64 = static_cast<U128>(1) << 64;
  if (ua < k64 && ub < k64 && shift <= kMaxPrecision) {
    U128 p = ua * ub;
    if (shift > 0) {
      U128 f = static_cast<U128>(kPow10.v[shift]);
      U128 q = p / f, r = p % f;
      if (r * 2 >= f) ++q;
      p = q;
    }
    return Signed(p, negative);
  }
  U256 p;
  Mul(U256::From(ua), U256::From(ub), p);  // two 128-bit factors always fit
  if (shift > 0) {
    U256 f;
    if (!Pow10Wide(shift, f)) return Int128{0};
    U256 q, r;
    DivMod(p, f, q, r);
    r.Shl1();
    if (Cmp(r, f) >= 0) {
      // q + 1; q is far below 2^256 here.
      for (int i = 0; i < 4 && ++q.w[i] == 0; ++i) {
      }
    }
    p = q;
  }
  if (!p.FitsU128()) return std::nullopt;
  return Signed(p.ToU128(), negative);
}

std::optional<Int128> Quotient(Int128 a, int sa, Int128 b, int sb, int result_scale) {
  bool negative = (a < 0) != (b < 0);
  U128 ua = Abs(a), ub = Abs(b);
  int k = result_scale + sb - sa;
  if (k >= 0 && k <= kMaxPrecision) {
    U128 f = static_cast<U128>(kPow10.v[k]);
    if (ua <= kU128Max / f) return Signed(ua * f / ub, negative);
  }
  U256 n = U256::From(ua), d = U256::From(ub), f;
  if (k >= 0) {
    if (!Pow10Wide(k, f) || !Mul(n, f, n)) return std::nullopt;
  } else {
    if (!Pow10Wide(-k, f) || !Mul(d, f, d)) return Int128{0};
  }
  U256 q, r;
  DivMod(n, d, q, r);
  if (!q.FitsU128()) return std::nullopt;
  return Signed(q.ToU128(), negative);
}

int CompareScaled(Int128 a, int sa, Int128 b, int sb) {
  if (sa == sb) return a < b ? -1 : (a > b ? 1 : 0);
  if ((a < 0) != (b < 0)) return a < 0 ? -1 : 1;
  // Same sign: compare magnitudes at the larger scale in 256 bits.
  int s = sa > sb ? sa : sb;
  U256 ma = U256::From(Abs(a)), mb = U256::From(Abs(b)), f;
  if (sa < s) {
    Pow10Wide(s - sa, f);
    Mul(ma, f, ma);
  } else {
    Pow10Wide(s - sb, f);
    Mul(mb, f, mb);
  }
  int c = Cmp(ma, mb);
  return a < 0 ? -c : c;
}

void AppendTo(std::string& out, Int128 v, int scale) {
  if (v < 0) out.push_back('-');
  U128 u = Abs(v);
  if (scale == 0) {
    AppendUnsigned(out, u);
    return;
  }
  U128 f = static_cast<U128>(kPow10.v[scale]);
  AppendUnsigned(out, u / f);
  out.push_back('.');
  std::string frac;
  AppendUnsigned(frac, u % f);
  out.append(static_cast<size_t>(scale) - frac.size(), '0');
  out += frac;
}

std::string ToString(Int128 v, int scale) {
  std::string s;
  AppendTo(s, v, scale);
  return s;
}

ParseStatus Parse(std::string_view text, int precision, int scale, Int128& out) {
  size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ') ++i;
  while (n > i && text[n - 1] == ' ') --n;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  U128 value = 0;
  int int_digits = 0, frac_used = 0;
  bool any_digit = false, point = false, round_up = false, past_round_digit = false;
  for (; i < n; ++i) {
    char c = text[i];
    if (c == '.') {
      if (point) return ParseStatus::kSyntax;
      point = true;
      continue;
    }
    if (c < '0' || c > '9') return ParseStatus::kSyntax;
    any_digit = true;
    int d = c - '0';
    if (!point) {
      if (value == 0 && d == 0) continue;  // leading zeros
      if (++int_digits > kMaxPrecision) return ParseStatus::kOverflow;
      value = value * 10 + static_cast<unsigned>(d);
    } else if (frac_used < scale) {
      ++frac_used;
      value = value * 10 + static_cast<unsigned>(d);
    } else if (!past_round_digit) {
      past_round_digit = true;
      round_up = d >= 5;
    }
  }
  if (!any_digit) return ParseStatus::kSyntax;
  if (int_digits > precision - scale) return ParseStatus::kOverflow;
  for (; frac_used < scale; ++frac_used) value *= 10;
  if (round_up) ++value;
  if (value >= static_cast<U128>(kPow10.v[precision])) return ParseStatus::kOverflow;
  out = negative ? -static_cast<Int128>(value) : static_cast<Int128>(value);
  return ParseStatus::kOk;
}

double ToDouble(Int128 v, int scale) {
  long double x = static_cast<long double>(v);
  if (scale > 0) x /= static_cast<long double>(kPow10.v[scale]);
  return static_cast<double>(x);
}

std::optional<Int128> FromDouble(double d, int precision, int scale) {
  if (!std::isfinite(d)) return std::nullopt;
  long double x = static_cast<long double>(d) * static_cast<long double>(kPow10.v[scale]);
  x = std::roundl(x);  // half away from zero
  long double limit = static_cast<long double>(kPow10.v[precision]);
  if (std::fabs(x) >= limit) return std::nullopt;
  bool negative = x < 0;
  long double ax = std::fabs(x);
  long double two64 = 18446744073709551616.0L;
  U128 hi = static_cast<U128>(static_cast<uint64_t>(ax / two64));
  long double rest = ax - static_cast<long double>(static_cast<uint64_t>(ax / two64)) * two64;
  U128 u = (hi << 64) + static_cast<uint64_t>(rest);
  return negative ? -static_cast<Int128>(u) : static_cast<Int128>(u);
}

}  // namespace orv::tsql::dec
