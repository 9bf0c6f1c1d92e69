// LIKE matching: % _ [set] [^set] [a-f] and ESCAPE, case-insensitive under the collation,
// over UTF-8 characters, without allocating.
#include "tsql/types/collation.h"
#include "tsql/types/value_ops.h"
#include "tsql/types/value_util.h"

namespace orv::tsql {
namespace {

enum class TokenKind { kLiteral, kAny, kStar, kSet };

struct Token {
  TokenKind kind;
  char32_t literal = 0;
  size_t set_begin = 0, set_end = 0;  // bytes of the set's contents
  bool negated = false;
  size_t next = 0;  // pattern position after the token
};

Token ReadToken(std::string_view p, size_t i, std::optional<char32_t> escape) {
  Token t;
  size_t j = i;
  char32_t c = coll::NextCodePoint(p, j);
  if (escape && c == *escape && j < p.size()) {
    t.kind = TokenKind::kLiteral;
    t.literal = coll::NextCodePoint(p, j);
  } else if (c == '%') {
    t.kind = TokenKind::kStar;
  } else if (c == '_') {
    t.kind = TokenKind::kAny;
  } else if (c == '[') {
    size_t close = p.find(']', j + 1);  // a ']' right after '[' belongs to the set
    if (close == std::string_view::npos) {
      t.kind = TokenKind::kLiteral;
      t.literal = c;
    } else {
      t.kind = TokenKind::kSet;
      t.set_begin = j;
      t.set_end = close;
      if (t.set_begin < close && p[t.set_begin] == '^') {
        t.negated = true;
        ++t.set_begin;
      }
      j = close + 1;
    }
  } else {
    t.kind = TokenKind::kLiteral;
    t.literal = c;
  }
  t.next = j;
  return t;
}

uint32_t Key(char32_t c) { return c < 0x80 ? coll::Fold(static_cast<unsigned char>(c)) : c; }

bool InSet(std::string_view p, const Token& t, char32_t c) {
  uint32_t k = Key(c);
  size_t i = t.set_begin;
  bool found = false;
  while (i < t.set_end) {
    char32_t lo = coll::NextCodePoint(p, i);
    if (i + 1 < t.set_end && p[i] == '-') {
      size_t j = i + 1;
      char32_t hi = coll::NextCodePoint(p, j);
      if (k >= Key(lo) && k <= Key(hi)) found = true;
      i = j;
    } else if (k == Key(lo)) {
      found = true;
    }
  }
  return found != t.negated;
}

bool Matches(std::string_view p, const Token& t, char32_t c) {
  switch (t.kind) {
    case TokenKind::kAny:
      return true;
    case TokenKind::kLiteral:
      return Key(t.literal) == Key(c);
    case TokenKind::kSet:
      return InSet(p, t, c);
    case TokenKind::kStar:
      return false;
  }
  return false;
}

}  // namespace

bool Like(std::string_view value, std::string_view pattern, std::optional<char32_t> escape,
          bool unicode) {
  if (!unicode) value = util::TrimTrailingBlanks(value);
  constexpr size_t kNone = static_cast<size_t>(-1);
  size_t vi = 0, pi = 0;
  size_t star_pattern = kNone, star_value = 0;
  while (vi < value.size()) {
    if (pi < pattern.size()) {
      Token t = ReadToken(pattern, pi, escape);
      if (t.kind == TokenKind::kStar) {
        pi = t.next;
        star_pattern = pi;
        star_value = vi;
        continue;
      }
      size_t vj = vi;
      char32_t c = coll::NextCodePoint(value, vj);
      if (Matches(pattern, t, c)) {
        vi = vj;
        pi = t.next;
        continue;
      }
    }
    if (star_pattern == kNone) return false;
    // Let the last % take one more character and retry.
    coll::NextCodePoint(value, star_value);
    vi = star_value;
    pi = star_pattern;
  }
  while (pi < pattern.size()) {
    Token t = ReadToken(pattern, pi, escape);
    if (t.kind != TokenKind::kStar) return false;
    pi = t.next;
  }
  return true;
}

}  // namespace orv::tsql
