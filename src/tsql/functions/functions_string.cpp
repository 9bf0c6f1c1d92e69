// String functions: LEN, DATALENGTH, LTRIM, RTRIM, TRIM, LEFT, RIGHT, SUBSTRING, UPPER, LOWER,
// REPLACE, STUFF, REVERSE, TRANSLATE, CHARINDEX, PATINDEX, CHAR, NCHAR, ASCII, UNICODE, SPACE,
// REPLICATE, QUOTENAME, STR, ISNUMERIC, SOUNDEX, DIFFERENCE, STRING_ESCAPE.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tsql/functions/functions_common.h"
#include "tsql/types/collation.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"
#include "tsql/types/value_util.h"

namespace orv::tsql::fn {

void AppendJsonEscaped(std::string& out, std::string_view text) {
  static constexpr std::string_view kPlain = "\"\\/\b\f\n\r\t";
  static constexpr std::string_view kEscaped = "\"\\/bfnrt";
  for (char c : text) {
    const size_t k = kPlain.find(c);
    if (k != std::string_view::npos) {
      out.push_back('\\');
      out.push_back(kEscaped[k]);
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
      out += buf;
    } else {
      out.push_back(c);
    }
  }
}

namespace {

SqlType IntResult(Types t) {
  return !t.empty() && t[0].length == SqlType::kMaxLength && t[0].IsString() ? SqlType::BigInt()
                                                                             : SqlType::Int();
}

// UTF-16 code units of UTF-8 text (what an nvarchar stores).
int64_t Utf16Units(std::string_view s) {
  int64_t n = 0;
  for (unsigned char c : s) {
    if (!util::IsContinuation(c)) n += c >= 0xF0 ? 2 : 1;
  }
  return n;
}

// Case-insensitive (ASCII) byte equality of `what` at s[i].
bool MatchAt(std::string_view s, size_t i, std::string_view what) {
  if (i + what.size() > s.size()) return false;
  for (size_t k = 0; k < what.size(); ++k) {
    if (coll::Fold(static_cast<unsigned char>(s[i + k])) !=
        coll::Fold(static_cast<unsigned char>(what[k])))
      return false;
  }
  return true;
}

Value Len(Args a, Types t, const SqlType&) {
  if (a[0].is_null()) return Value::Null();
  std::string scratch;
  std::string_view s = util::TrimTrailingBlanks(TextView(a[0], t[0], scratch));
  return Value::Int(static_cast<int64_t>(util::CharCount(s)));
}

Value DataLength(Args a, Types t, const SqlType&) {
  if (a[0].is_null()) return Value::Null();
  if (a[0].kind() != Value::Kind::String) return Value::Int(FixedSize(t[0]));
  std::string_view s = a[0].string_value();
  if (t[0].IsUnicode()) return Value::Int(2 * Utf16Units(s));
  if (t[0].IsString()) return Value::Int(static_cast<int64_t>(util::StoredLength(s, false)));
  return Value::Int(static_cast<int64_t>(s.size()));
}

// The characters of a text, one string each (UTF-8).
std::vector<std::string_view> Characters(std::string_view s) {
  std::vector<std::string_view> out;
  for (size_t i = 0; i < s.size();) {
    const size_t start = i;
    coll::NextCodePoint(s, i);
    out.push_back(s.substr(start, i - start));
  }
  return out;
}

// Whether a character is one of `set` under the collation (ASCII letters in either case).
bool InSet(std::string_view ch, const std::vector<std::string_view>& set) {
  return std::any_of(set.begin(), set.end(), [&](std::string_view c) {
    return c.size() == ch.size() && MatchAt(ch, 0, c);
  });
}

// LTRIM / RTRIM / TRIM: blanks off one end or both, or (with a second argument) any of the
// characters it lists.
Value TrimEnds(Args a, Types t, bool leading, bool trailing) {
  if (AnyNull(a)) return Value::Null();
  std::string scratch, set_scratch;
  std::string_view s = TextView(a[0], t[0], scratch);
  if (a.size() < 2) {
    if (leading) s = util::TrimLeadingBlanks(s);
    if (trailing) s = util::TrimTrailingBlanks(s);
    return Value::String(s);
  }
  const std::vector<std::string_view> set = Characters(TextView(a[1], t[1], set_scratch));
  std::vector<std::string_view> chars = Characters(s);
  size_t begin = 0, end = chars.size();
  if (leading) {
    while (begin < end && InSet(chars[begin], set)) ++begin;
  }
  if (trailing) {
    while (end > begin && InSet(chars[end - 1], set)) --end;
  }
  if (begin == end) return Value::String("");
  const size_t from = static_cast<size_t>(chars[begin].data() - s.data());
  const size_t to = static_cast<size_t>(chars[end - 1].data() - s.data()) + chars[end - 1].size();
  return Value::String(s.substr(from, to - from));
}
Value LTrim(Args a, Types t, const SqlType&) { return TrimEnds(a, t, true, false); }
Value RTrim(Args a, Types t, const SqlType&) { return TrimEnds(a, t, false, true); }
Value Trim(Args a, Types t, const SqlType&) { return TrimEnds(a, t, true, true); }

// STUFF(s, start, length, insert): s with `length` characters from `start` replaced by
// `insert`; NULL for a start outside s or a negative length.
Value Stuff(Args a, Types t, const SqlType& result) {
  if (a[0].is_null() || a[1].is_null() || a[2].is_null()) return Value::Null();
  std::string s1, s2;
  std::string_view s = TextView(a[0], t[0], s1);
  const int64_t start = IntOf(a[1], t[1]);
  const int64_t length = IntOf(a[2], t[2]);
  const auto chars = static_cast<int64_t>(util::CharCount(s));
  if (start < 1 || start > chars || length < 0) return Value::Null();
  const size_t from = util::PrefixBytes(s, static_cast<size_t>(start - 1));
  const std::string_view rest = s.substr(from);
  const size_t cut = util::PrefixBytes(rest, static_cast<size_t>(length));
  std::string out(s.substr(0, from));
  if (!a[3].is_null()) out += TextView(a[3], t[3], s2);
  out += rest.substr(cut);
  if (result.length != SqlType::kMaxLength) {
    out.resize(util::PrefixForLength(out, static_cast<size_t>(result.length), result.IsUnicode()));
  }
  return Value::String(out);
}

Value Reverse(Args a, Types t, const SqlType&) {
  if (a[0].is_null()) return Value::Null();
  std::string scratch;
  const std::vector<std::string_view> chars = Characters(TextView(a[0], t[0], scratch));
  std::string out;
  for (auto it = chars.rbegin(); it != chars.rend(); ++it) out += *it;
  return Value::String(out);
}

// TRANSLATE(s, from, to): each character of `from` in s becomes the one at its place in `to`.
Value Translate(Args a, Types t, const SqlType&) {
  if (AnyNull(a)) return Value::Null();
  std::string s1, s2, s3;
  const std::vector<std::string_view> from = Characters(TextView(a[1], t[1], s2));
  const std::vector<std::string_view> to = Characters(TextView(a[2], t[2], s3));
  if (from.size() != to.size()) ThrowError(9828);
  std::string out;
  for (std::string_view ch : Characters(TextView(a[0], t[0], s1))) {
    size_t k = 0;
    while (k < from.size() && !(from[k].size() == ch.size() && MatchAt(ch, 0, from[k]))) ++k;
    out += k < from.size() ? to[k] : ch;
  }
  return Value::String(out);
}

// PATINDEX('%pattern%', s): where the pattern first matches (LIKE's rules), 0 when nowhere.
Value PatIndex(Args a, Types t, const SqlType&) {
  if (AnyNull(a)) return Value::Null();
  std::string s1, s2;
  std::string_view pattern = TextView(a[0], t[0], s1);
  std::string_view s = TextView(a[1], t[1], s2);
  const bool unicode = t[1].IsUnicode();
  if (pattern.empty() || pattern[0] != '%')
    return Value::Int(Like(s, pattern, std::nullopt, unicode) ? 1 : 0);
  pattern.remove_prefix(1);
  int64_t position = 1;
  for (size_t i = 0; i < s.size(); ++position) {
    if (Like(s.substr(i), pattern, std::nullopt, unicode)) return Value::Int(position);
    coll::NextCodePoint(s, i);
  }
  return Value::Int(0);
}

// QUOTENAME(s [, quote]): s between the quote and its closing partner, the closing one
// doubled inside; NULL for more than 128 characters or another quote character.
Value QuoteName(Args a, Types t, const SqlType&) {
  if (AnyNull(a)) return Value::Null();
  std::string s1, s2;
  std::string_view s = TextView(a[0], t[0], s1);
  std::string_view quote = a.size() > 1 ? TextView(a[1], t[1], s2) : std::string_view("[");
  if (util::CharCount(s) > 128 || quote.size() != 1) return Value::Null();
  char open = quote[0], close;
  switch (open) {
    case '[':
    case ']':
      open = '[';
      close = ']';
      break;
    case '"':
      close = '"';
      break;
    case '\'':
      close = '\'';
      break;
    case '(':
    case ')':
      open = '(';
      close = ')';
      break;
    case '<':
    case '>':
      open = '<';
      close = '>';
      break;
    case '{':
    case '}':
      open = '{';
      close = '}';
      break;
    case '`':
      close = '`';
      break;
    default:
      return Value::Null();
  }
  std::string out(1, open);
  for (char c : s) {
    out.push_back(c);
    if (c == close) out.push_back(c);
  }
  out.push_back(close);
  return Value::String(out);
}

Value NChar(Args a, Types t, const SqlType&) {
  if (a[0].is_null()) return Value::Null();
  const int64_t n = IntOf(a[0], t[0]);
  if (n < 0 || n > 0x10FFFF || (n >= 0xD800 && n <= 0xDFFF)) return Value::Null();
  std::string s;
  coll::AppendUtf8(s, static_cast<char32_t>(n));
  return Value::String(s);
}

Value Unicode(Args a, Types t, const SqlType&) {
  if (a[0].is_null()) return Value::Null();
  std::string scratch;
  std::string_view s = TextView(a[0], t[0], scratch);
  if (s.empty()) return Value::Null();
  size_t i = 0;
  return Value::Int(static_cast<int64_t>(coll::NextCodePoint(s, i)));
}

Value Left(Args a, Types t, const SqlType&) {
  if (AnyNull(a)) return Value::Null();
  int64_t n = IntOf(a[1], t[1]);
  if (n < 0) ThrowError(536, {"left"});
  std::string scratch;
  std::string_view s = TextView(a[0], t[0], scratch);
  return Value::String(s.substr(0, util::PrefixBytes(s, static_cast<size_t>(n))));
}

Value Right(Args a, Types t, const SqlType&) {
  if (AnyNull(a)) return Value::Null();
  int64_t n = IntOf(a[1], t[1]);
  if (n < 0) ThrowError(536, {"right"});
  std::string scratch;
  std::string_view s = TextView(a[0], t[0], scratch);
  size_t chars = util::CharCount(s);
  if (static_cast<size_t>(n) >= chars) return Value::String(s);
  return Value::String(s.substr(util::PrefixBytes(s, chars - static_cast<size_t>(n))));
}

Value Substring(Args a, Types t, const SqlType&) {
  if (AnyNull(a)) return Value::Null();
  int64_t start = IntOf(a[1], t[1]);
  int64_t len = IntOf(a[2], t[2]);
  if (len < 0) ThrowError(536, {"substring"});
  // Positions before 1 count: SUBSTRING('abcdef', 0, 3) is 'ab'.
  int64_t end = start + len;  // exclusive, 1-based
  if (start < 1) start = 1;
  if (end <= start) return Value::String("");
  std::string scratch;
  std::string_view s = TextView(a[0], t[0], scratch);
  size_t from = util::PrefixBytes(s, static_cast<size_t>(start - 1));
  std::string_view rest = s.substr(from);
  return Value::String(rest.substr(0, util::PrefixBytes(rest, static_cast<size_t>(end - start))));
}

template <char (*F)(char)>
Value MapCase(Args a, Types t, const SqlType&) {
  if (a[0].is_null()) return Value::Null();
  std::string s = TextOf(a[0], t[0]);
  for (char& c : s) c = F(c);
  return Value::String(s);
}

Value Replace(Args a, Types t, const SqlType& result) {
  if (AnyNull(a)) return Value::Null();
  std::string s1, s2, s3;
  std::string_view s = TextView(a[0], t[0], s1);
  std::string_view find = TextView(a[1], t[1], s2);
  std::string_view with = TextView(a[2], t[2], s3);
  if (find.empty()) return Value::String(s);
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    if (MatchAt(s, i, find)) {
      out.append(with);
      i += find.size();
    } else {
      out.push_back(s[i++]);
    }
  }
  if (result.length != SqlType::kMaxLength) {
    out.resize(util::PrefixForLength(out, static_cast<size_t>(result.length), result.IsUnicode()));
  }
  return Value::String(out);
}

Value CharIndex(Args a, Types t, const SqlType&) {
  if (a[0].is_null() || a[1].is_null()) return Value::Null();
  std::string s1, s2;
  std::string_view find = TextView(a[0], t[0], s1);
  std::string_view s = TextView(a[1], t[1], s2);
  int64_t start = 1;
  if (a.size() > 2 && !a[2].is_null()) start = std::max<int64_t>(1, IntOf(a[2], t[2]));
  if (find.empty()) return Value::Int(0);
  size_t from = util::PrefixBytes(s, static_cast<size_t>(start - 1));
  for (size_t i = from; i + find.size() <= s.size(); ++i) {
    if (util::IsContinuation(static_cast<unsigned char>(s[i]))) continue;
    if (MatchAt(s, i, find))
      return Value::Int(static_cast<int64_t>(util::CharCount(s.substr(0, i))) + 1);
  }
  return Value::Int(0);
}

Value Char(Args a, Types t, const SqlType&) {
  if (a[0].is_null()) return Value::Null();
  int64_t n = IntOf(a[0], t[0]);
  if (n < 0 || n > 255) return Value::Null();
  std::string s;
  coll::AppendUtf8(s, static_cast<char32_t>(n));  // 128..255 as U+0080..U+00FF
  return Value::String(s);
}

Value Ascii(Args a, Types t, const SqlType&) {
  if (a[0].is_null()) return Value::Null();
  std::string scratch;
  std::string_view s = TextView(a[0], t[0], scratch);
  if (s.empty()) return Value::Null();
  size_t i = 0;
  return Value::Int(static_cast<int64_t>(coll::NextCodePoint(s, i)));
}

Value Space(Args a, Types t, const SqlType& result) {
  if (a[0].is_null()) return Value::Null();
  int64_t n = IntOf(a[0], t[0]);
  if (n < 0) return Value::Null();
  if (result.length != SqlType::kMaxLength) n = std::min<int64_t>(n, result.length);
  return Value::String(std::string(static_cast<size_t>(n), ' '));
}

Value Replicate(Args a, Types t, const SqlType& result) {
  if (AnyNull(a)) return Value::Null();
  int64_t n = IntOf(a[1], t[1]);
  if (n < 0) return Value::Null();
  std::string unit = TextOf(a[0], t[0]);
  std::string out;
  // The result holds at most `limit` characters of its type (UTF-16 units for nvarchar, code
  // page bytes for varchar): repeat only as often as can show, then cut at a whole character.
  const bool unicode = result.IsUnicode();
  size_t limit =
      result.length == SqlType::kMaxLength ? (size_t{1} << 31) : static_cast<size_t>(result.length);
  size_t unit_length = util::StoredLength(unit, unicode);
  if (unit_length == 0) return Value::String("");
  int64_t times = std::min<int64_t>(n, static_cast<int64_t>(limit / unit_length + 1));
  out.reserve(unit.size() * static_cast<size_t>(times));
  for (int64_t i = 0; i < times; ++i) out += unit;
  if (result.length != SqlType::kMaxLength) out.resize(util::PrefixForLength(out, limit, unicode));
  return Value::String(out);
}

// STR(number [, length [, decimals]]): right-aligned in `length` (10), `decimals` (0) places,
// all '*' when the number does not fit.
Value Str(Args a, Types t, const SqlType&) {
  if (AnyNull(a)) return Value::Null();
  double x = Convert(a[0], t[0], SqlType::Float(), CastMode::Implicit).float_value();
  int64_t length = a.size() > 1 ? IntOf(a[1], t[1]) : 10;
  int64_t decimals = a.size() > 2 ? IntOf(a[2], t[2]) : 0;
  if (length <= 0 || length > 8000) return Value::Null();
  decimals = std::clamp<int64_t>(decimals, 0, 16);
  double scale = std::pow(10.0, static_cast<double>(decimals));
  double rounded = std::round(x * scale) / scale;
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(decimals), rounded);
  std::string text = buf;
  if (static_cast<int64_t>(text.size()) > length && decimals > 0) {
    // Fewer decimals before giving up.
    size_t point = text.find('.');
    if (point != std::string::npos && static_cast<int64_t>(point) <= length) {
      int keep = static_cast<int>(length - static_cast<int64_t>(point) - 1);
      std::snprintf(buf, sizeof buf, "%.*f", keep < 0 ? 0 : keep, x);
      text = buf;
    }
  }
  if (static_cast<int64_t>(text.size()) > length) {
    return Value::String(std::string(static_cast<size_t>(length), '*'));
  }
  return Value::String(std::string(static_cast<size_t>(length) - text.size(), ' ') + text);
}

// 1 when the text reads as int, money, decimal or float: digits with one point, an optional
// sign and currency sign, thousands commas and an exponent.
bool LooksNumeric(std::string_view s) {
  s = util::TrimTrailingBlanks(util::TrimLeadingBlanks(s));
  if (s.empty()) return false;
  size_t i = 0;
  bool sign = false, currency = false;
  for (int k = 0; k < 2 && i < s.size(); ++k) {
    if (!sign && (s[i] == '+' || s[i] == '-'))
      sign = true, ++i;
    else if (!currency && s[i] == '$')
      currency = true, ++i;
  }
  while (i < s.size() && s[i] == ' ') ++i;
  bool digits = false, point = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if (c == '.' && !point) {
      point = true;
    } else if (c == ',' && !point) {
    } else {
      break;
    }
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E') && digits) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    bool exp = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, exp = true;
    if (!exp) return false;
  }
  if (i != s.size()) return false;
  return digits || sign || currency || point;
}

Value IsNumeric(Args a, Types t, const SqlType&) {
  if (a[0].is_null()) return Value::Int(0);
  if (a[0].kind() != Value::Kind::String) {
    return Value::Int(t[0].IsNumeric() || a[0].kind() != Value::Kind::DateTime ? 1 : 0);
  }
  return Value::Int(LooksNumeric(a[0].string_value()) ? 1 : 0);
}

// SOUNDEX: the first letter, then the digits of the following consonants (B F P V 1, C G J K Q
// S X Z 2, D T 3, L 4, M N 5, R 6), padded with zeros to four characters. Letters of one digit
// next to each other count once, also across H and W; a vowel (or Y) between them makes them
// count twice. The first letter's own digit is not repeated after it. Reading stops at the
// first character that is not an ASCII letter.
std::string SoundexCode(std::string_view s) {
  static constexpr char kDigits[] = "01230120022455012623010202";  // A..Z
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  if (i == s.size() || !std::isalpha(static_cast<unsigned char>(s[i]))) return "0000";
  std::string out(1, util::AsciiUpper(s[i]));
  char previous = kDigits[out[0] - 'A'];
  for (++i; i < s.size() && out.size() < 4; ++i) {
    const char c = util::AsciiUpper(s[i]);
    if (c < 'A' || c > 'Z') break;
    const char digit = kDigits[c - 'A'];
    if (c == 'H' || c == 'W') continue;  // transparent: keeps `previous`
    if (digit != '0' && digit != previous) out.push_back(digit);
    previous = digit;
  }
  out.resize(4, '0');
  return out;
}

Value Soundex(Args a, Types t, const SqlType&) {
  if (a[0].is_null()) return Value::Null();
  std::string scratch;
  return Value::String(SoundexCode(TextView(a[0], t[0], scratch)));
}

// DIFFERENCE: how many of the four SOUNDEX characters agree, place by place (4: alike).
Value Difference(Args a, Types t, const SqlType&) {
  if (AnyNull(a)) return Value::Null();
  std::string s1, s2;
  const std::string x = SoundexCode(TextView(a[0], t[0], s1));
  const std::string y = SoundexCode(TextView(a[1], t[1], s2));
  int64_t same = 0;
  for (size_t i = 0; i < 4; ++i) same += x[i] == y[i] ? 1 : 0;
  return Value::Int(same);
}

// STRING_ESCAPE(s, 'json'): s with the characters JSON escapes (quote, backslash, solidus,
// control characters) written as escapes. 'json' is the only kind of escaping there is; another
// one is refused as an argument of the wrong kind.
Value StringEscape(Args a, Types t, const SqlType&) {
  std::string s1, s2;
  if (a[1].is_null() || TextView(a[1], t[1], s2).size() != 4 ||
      !MatchAt(TextView(a[1], t[1], s2), 0, "json")) {
    ThrowError(8116, {std::string(t[1].MessageName()), "2", "string_escape"});
  }
  if (a[0].is_null()) return Value::Null();
  std::string out;
  AppendJsonEscaped(out, TextView(a[0], t[0], s1));
  return Value::String(out);
}

// ---- result types ----

SqlType TextLike(Types t) { return VarTextLike(t[0]); }
SqlType LongText(Types t) {
  bool max = t[0].IsString() && t[0].length == SqlType::kMaxLength;
  if (t[0].IsUnicode()) return SqlType::NVarChar(max ? SqlType::kMaxLength : 4000);
  return SqlType::VarChar(max ? SqlType::kMaxLength : 8000);
}
SqlType CharOne(Types) { return SqlType::Char(1); }
// PATINDEX counts in bigint over a (max) text, its second argument.
SqlType PatIndexType(Types t) { return IntResult(t.subspan(1)); }
SqlType SoundexType(Types) { return SqlType::VarChar(4); }
SqlType EscapedType(Types t) {
  if (!t[0].IsString() && t[0].id != TypeId::Null) {
    ThrowError(8116, {std::string(t[0].MessageName()), "1", "string_escape"});
  }
  return SqlType::NVarChar(SqlType::kMaxLength);
}
SqlType NCharOne(Types) { return SqlType::NVarChar(2); }
SqlType QuotedName(Types) { return SqlType::NVarChar(258); }
SqlType VarChar8000(Types) { return SqlType::VarChar(8000); }
SqlType StrType(Types) { return SqlType::VarChar(8000); }

constexpr ScalarFunction kStringFunctions[] = {
    {"LEN", 1, 1, IntResult, Len},
    {"DATALENGTH", 1, 1, IntResult, DataLength},
    {"LTRIM", 1, 2, TextLike, LTrim},
    {"RTRIM", 1, 2, TextLike, RTrim},
    {"TRIM", 1, 2, TextLike, Trim},
    {"STUFF", 4, 4, LongText, Stuff},
    {"REVERSE", 1, 1, TextLike, Reverse},
    {"TRANSLATE", 3, 3, TextLike, Translate},
    {"PATINDEX", 2, 2, PatIndexType, PatIndex},
    {"QUOTENAME", 1, 2, QuotedName, QuoteName},
    {"NCHAR", 1, 1, NCharOne, NChar},
    {"UNICODE", 1, 1, IntType, Unicode},
    {"LEFT", 2, 2, TextLike, Left},
    {"RIGHT", 2, 2, TextLike, Right},
    {"SUBSTRING", 3, 3, TextLike, Substring},
    {"UPPER", 1, 1, TextLike, MapCase<util::AsciiUpper>},
    {"LOWER", 1, 1, TextLike, MapCase<util::AsciiLower>},
    {"REPLACE", 3, 3, LongText, Replace},
    {"CHARINDEX", 2, 3, IntType, CharIndex},
    {"CHAR", 1, 1, CharOne, Char},
    {"ASCII", 1, 1, IntType, Ascii},
    {"SPACE", 1, 1, VarChar8000, Space},
    {"REPLICATE", 2, 2, LongText, Replicate},
    {"STR", 1, 3, StrType, Str},
    {"ISNUMERIC", 1, 1, IntType, IsNumeric},
    {"SOUNDEX", 1, 1, SoundexType, Soundex},
    {"DIFFERENCE", 2, 2, IntType, Difference},
    {"STRING_ESCAPE", 2, 2, EscapedType, StringEscape},
};

}  // namespace

std::span<const ScalarFunction> StringFunctions() { return kStringFunctions; }

}  // namespace orv::tsql::fn
