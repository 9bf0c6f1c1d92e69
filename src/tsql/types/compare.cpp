// Comparison and hashing of values under the engine's collation and numeric rules.
#include <bit>
#include <cstring>

#include "tsql/types/collation.h"
#include "tsql/types/decimal.h"
#include "tsql/types/value_ops.h"
#include "tsql/types/value_util.h"

namespace orv::tsql {
namespace coll {
namespace {

inline uint64_t Mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  return h;
}

// Upper-cases the ASCII letters of eight bytes at once; bytes >= 0x80 are left alone.
inline uint64_t FoldWord(uint64_t w) {
  constexpr uint64_t kHigh = 0x8080808080808080ULL;
  uint64_t heptets = w & ~kHigh;
  uint64_t ge_a = heptets + 0x1F1F1F1F1F1F1F1FULL;  // high bit set where byte >= 'a'
  uint64_t gt_z = heptets + 0x0505050505050505ULL;  // high bit set where byte > 'z'
  uint64_t lower = ge_a & ~gt_z & ~w & kHigh;
  return w ^ (lower >> 2);
}

int Sign(int64_t d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

}  // namespace

char32_t NextCodePoint(std::string_view s, size_t& i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
  if (extra == 0 || i + static_cast<size_t>(extra) >= s.size()) {
    ++i;
    return c;
  }
  char32_t cp = c & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    unsigned char cc = static_cast<unsigned char>(s[i + k]);
    if (!util::IsContinuation(cc)) {
      ++i;
      return c;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  i += static_cast<size_t>(extra) + 1;
  return cp;
}

int CompareText(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  size_t i = 0;
  // Identical bytes are equal under the collation: skip a common prefix eight bytes at a time.
  while (i + 8 <= n) {
    uint64_t wa, wb;
    std::memcpy(&wa, a.data() + i, 8);
    std::memcpy(&wb, b.data() + i, 8);
    if (wa != wb) break;
    i += 8;
  }
  while (i < n) {
    unsigned char ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
    if (ca == cb || Fold(ca) == Fold(cb)) {
      ++i;
      continue;
    }
    // First difference between two ASCII characters: their folded bytes decide.
    if (ca < 0x80 && cb < 0x80) return Fold(ca) < Fold(cb) ? -1 : 1;
    // Otherwise compare the whole characters it falls in.
    while (i > 0 && util::IsContinuation(static_cast<unsigned char>(a[i]))) --i;
    size_t ia = i, ib = i;
    uint32_t wa = Weight(NextCodePoint(a, ia)), wb = Weight(NextCodePoint(b, ib));
    if (wa != wb) return wa < wb ? -1 : 1;
    return Sign(static_cast<int64_t>(ca) - cb);  // malformed text: bytes decide
  }
  // One is a prefix of the other: the rest of the longer one against blanks.
  bool a_longer = a.size() > b.size();
  std::string_view rest = a_longer ? a.substr(n) : b.substr(n);
  for (size_t k = 0; k < rest.size(); ++k) {
    unsigned char c = static_cast<unsigned char>(rest[k]);
    if (c == ' ') continue;
    int s = c < ' ' ? -1 : 1;
    return a_longer ? s : -s;
  }
  return 0;
}

// Texts that compare equal hash alike: trailing blanks are dropped and ASCII letters folded
// byte by byte. Each word is folded into the state with one multiplication and the state is
// mixed once at the end: a key of one or two words (most codes and numbers) costs one mix.
size_t HashText(std::string_view s) {
  s = util::TrimTrailingBlanks(s);
  const char* p = s.data();
  size_t n = s.size();
  constexpr uint64_t kStep = 0x9E3779B97F4A7C15ULL;
  uint64_t h = 0x2545F4914F6CDD1DULL ^ n;
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = std::rotl((h ^ FoldWord(w)) * kStep, 31);
  }
  if (n > 0) {
    // The last 1-7 bytes without a variable-length copy: two overlapping 4-byte loads, or the
    // first, middle and last byte. With the length in the state, these determine the bytes.
    uint64_t w;
    if (n >= 4) {
      uint32_t lo, hi;
      std::memcpy(&lo, p, 4);
      std::memcpy(&hi, p + n - 4, 4);
      w = lo | uint64_t{hi} << 32;
    } else {
      w = static_cast<unsigned char>(p[0]) | uint64_t{static_cast<unsigned char>(p[n / 2])} << 8 |
          uint64_t{static_cast<unsigned char>(p[n - 1])} << 16;
    }
    h = (h ^ FoldWord(w)) * kStep;
  }
  return static_cast<size_t>(Mix(h));
}

uint64_t MixForValues(uint64_t h) { return Mix(h); }

}  // namespace coll

namespace {

int CompareNumbers(const Value& a, const Value& b) {
  using K = Value::Kind;
  K ka = a.kind(), kb = b.kind();
  if (ka == K::Int && kb == K::Int) {
    return a.int_value() < b.int_value() ? -1 : (a.int_value() > b.int_value() ? 1 : 0);
  }
  if (ka == K::Float || kb == K::Float) {
    auto as_double = [](const Value& v) {
      switch (v.kind()) {
        case Value::Kind::Int:
          return static_cast<double>(v.int_value());
        case Value::Kind::Decimal:
          return dec::ToDouble(v.decimal_unscaled(), v.decimal_scale());
        default:
          return v.float_value();
      }
    };
    double x = as_double(a), y = as_double(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  Int128 ua = ka == K::Int ? Int128{a.int_value()} : a.decimal_unscaled();
  Int128 ub = kb == K::Int ? Int128{b.int_value()} : b.decimal_unscaled();
  int sa = ka == K::Int ? 0 : a.decimal_scale();
  int sb = kb == K::Int ? 0 : b.decimal_scale();
  if (sa == sb) return ua < ub ? -1 : (ua > ub ? 1 : 0);
  return dec::CompareScaled(ua, sa, ub, sb);
}

uint64_t HashDecimal(Int128 v, int scale) {
  // Normalise away trailing fractional zeros so that 1.50 and 1.5 hash alike.
  if (v == 0) {
    scale = 0;
  } else if (v >= INT64_MIN && v <= INT64_MAX) {
    int64_t x = static_cast<int64_t>(v);
    while (scale > 0 && x % 10 == 0) x /= 10, --scale;
    v = x;
  } else {
    while (scale > 0 && v % 10 == 0) v /= 10, --scale;
  }
  auto u = static_cast<unsigned __int128>(v);
  uint64_t h = coll::MixForValues(static_cast<uint64_t>(u) ^ 0x2545F4914F6CDD1DULL);
  h = coll::MixForValues(h ^ static_cast<uint64_t>(u >> 64) ^ static_cast<uint64_t>(scale));
  return h;
}

// Bytes in order, the shorter first when one is a prefix of the other.
int CompareBytes(std::string_view a, std::string_view b) {
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// uniqueidentifier order: the last six bytes decide first, then the groups before them.
int CompareGuid(std::string_view a, std::string_view b) {
  static constexpr int kOrder[16] = {10, 11, 12, 13, 14, 15, 8, 9, 6, 7, 4, 5, 0, 1, 2, 3};
  if (a.size() != 16 || b.size() != 16) return CompareBytes(a, b);
  for (int i : kOrder) {
    unsigned char x = static_cast<unsigned char>(a[static_cast<size_t>(i)]);
    unsigned char y = static_cast<unsigned char>(b[static_cast<size_t>(i)]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

// Under a case-sensitive collation: equal only when equal byte for byte (trailing blanks
// aside); the order is the case-insensitive one, lower case first among equals.
int CompareCaseSensitive(std::string_view a, std::string_view b) {
  int c = coll::CompareText(a, b);
  if (c != 0) return c;
  a = util::TrimTrailingBlanks(a);
  b = util::TrimTrailingBlanks(b);
  int bytes = CompareBytes(a, b);
  return -bytes;  // 'a' (0x61) sorts before 'A' (0x41)
}

int64_t UtcUnits(const Value& v) {
  return v.datetime2_units() - int64_t{v.datetime2_offset()} * 60 * 10'000'000;
}

uint64_t HashBytes(std::string_view s) {
  uint64_t h = 0x9E3779B97F4A7C15ULL ^ s.size();
  for (unsigned char c : s) h = (h ^ c) * 0x100000001B3ULL;
  return coll::MixForValues(h);
}

}  // namespace

int Compare(const Value& a, const Value& b, const SqlType& type) {
  switch (a.kind()) {
    case Value::Kind::String:
      if (type.collation != Collation::kCiAs || type.IsBinary() ||
          type.id == TypeId::UniqueIdentifier) [[unlikely]] {
        if (type.id == TypeId::UniqueIdentifier) return CompareGuid(a.string_value(), b.string_value());
        if (type.IsBinary()) return CompareBytes(a.string_value(), b.string_value());
        if (type.collation == Collation::kBin2) {
          return CompareBytes(util::TrimTrailingBlanks(a.string_value()),
                              util::TrimTrailingBlanks(b.string_value()));
        }
        return CompareCaseSensitive(a.string_value(), b.string_value());
      }
      return coll::CompareText(a.string_value(), b.string_value());
    case Value::Kind::DateTime2: {
      if (b.kind() != Value::Kind::DateTime2) return 1;
      int64_t x = UtcUnits(a), y = UtcUnits(b);
      return x < y ? -1 : (x > y ? 1 : 0);
    }
    case Value::Kind::DateTime: {
      int64_t x = a.datetime_ticks(), y = b.datetime_ticks();
      return x < y ? -1 : (x > y ? 1 : 0);
    }
    case Value::Kind::Int:
    case Value::Kind::Decimal:
    case Value::Kind::Float:
      return CompareNumbers(a, b);
    case Value::Kind::Null:
      return b.is_null() ? 0 : -1;
  }
  return 0;
}

size_t Hash(const Value& v, const SqlType& type) {
  switch (v.kind()) {
    case Value::Kind::Null:
      return 0x6a09e667f3bcc908ULL;
    case Value::Kind::String:
      if (type.collation != Collation::kCiAs || type.IsBinary() ||
          type.id == TypeId::UniqueIdentifier) [[unlikely]] {
        if (type.IsBinary() || type.id == TypeId::UniqueIdentifier) {
          return HashBytes(v.string_value());
        }
        return HashBytes(util::TrimTrailingBlanks(v.string_value()));
      }
      return coll::HashText(v.string_value());
    case Value::Kind::DateTime2:
      return coll::MixForValues(static_cast<uint64_t>(UtcUnits(v)) ^ 0x510e527fade682d1ULL);
    case Value::Kind::Int:
      return HashDecimal(v.int_value(), 0);
    case Value::Kind::Decimal:
      return HashDecimal(v.decimal_unscaled(), v.decimal_scale());
    case Value::Kind::Float: {
      double d = v.float_value();
      if (d == 0) d = 0;  // -0 equals 0
      uint64_t bits;
      std::memcpy(&bits, &d, sizeof bits);
      return coll::MixForValues(bits ^ 0x3c6ef372fe94f82bULL);
    }
    case Value::Kind::DateTime:
      return coll::MixForValues(static_cast<uint64_t>(v.datetime_ticks()) ^ 0xa54ff53a5f1d36f1ULL);
  }
  return 0;
}

}  // namespace orv::tsql
