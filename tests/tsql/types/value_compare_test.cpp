// Comparison under the collation (case-insensitive, trailing blanks ignored, CHAR(255) last),
// hash consistency with comparison, numeric comparison across scales, and LIKE.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "value_test_util.h"

namespace orv::tsql {
namespace {

using testing::Call;
using testing::Lit;

int CompareStrings(std::string_view a, std::string_view b) {
  return Compare(Value::String(a), Value::String(b), SqlType::VarChar(100));
}

TEST(ValueCompareTest, StringsUnderTheCollation) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"abc", "ABC  ", 0},  {"abc", "abc   ", 0},      {"abc ", "abd", -1},
      {"", " ", 0},         {" abc", "abc", -1},       {"a", "b", -1},
      {"B", "a", 1},        {"ab", "abc", -1},         {"abc\t", "abc", -1},
      {"a", "á", -1},       {"FNumber", "fnumber", 0}, {"1.01.001", "1.01.002", -1},
      {"合计", "合计 ", 0}, {"合计", "小计", -1},
      // Longer texts: a common prefix of whole words, then a difference in the next word.
      {"01.02.0003.0004", "01.02.0003.0005", -1},
      {"01.02.0003.ABCDEFGH", "01.02.0003.abcdefgh  ", 0},
      {"ABCDEFGHijklmnopQRSTUVWXyz", "abcdefghIJKLMNOPqrstuvwxYZ", 0},
      {"abcdefghijklmnopqrstuvwxyz1", "abcdefghijklmnopqrstuvwxyz0", 1},
      {"1234567á", "1234567é", -1},  // a character split across the first word boundary
      {"abcdefghä", "abcdefghz", 1},   {"abcdefghÿ", "abcdefghā", 1},
      {"abcdefgh", "abcdefgh\x01", 1}, {"abcdefghijklmnop", "abcdefghijklmnopq", -1},
  };
  for (const Case& c : cases) {
    int r = CompareStrings(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << "'" << c.a << "' vs '" << c.b << "'";
    int back = CompareStrings(c.b, c.a);
    EXPECT_EQ((back > 0) - (back < 0), -c.sign) << "'" << c.b << "' vs '" << c.a << "'";
  }
}

TEST(ValueCompareTest, Char255SortsLast) {
  std::string last(Call("CHAR", {Lit("255")}).v.string_value());
  EXPECT_EQ(last, "\xC3\xBF");
  std::vector<std::string> keys = {"zzzzzz", "ZZZZ",     "9.99.999", "01.02",           "合计",
                                   "物料",   "\xC3\x83", "~~~",      "\xF0\x9F\x98\x80"};
  for (const std::string& k : keys) {
    EXPECT_LT(CompareStrings(k, last), 0) << k;
    EXPECT_GT(CompareStrings(last, k), 0) << k;
    // also after a shared prefix
    EXPECT_LT(CompareStrings("A" + k, "A" + last), 0) << k;
  }
  EXPECT_EQ(CompareStrings(last, last + "  "), 0);
}

TEST(ValueCompareTest, HashAgreesWithEquality) {
  const SqlType vc = SqlType::VarChar(100);
  std::vector<std::string> texts = {
      "",     " ",          "abc",          "ABC  ",
      "aBc",  "abcdefghij", "ABCDEFGHIJ  ", "abcdefghik",
      "合计", "合计   ",    "a_b",          "A_B ",
      "@[`{", "@[`{ ",      "\xC3\xBF",     "abcdefghijklmnopqrstuvwxyz"};
  for (const auto& a : texts) {
    for (const auto& b : texts) {
      Value va = Value::String(a), vb = Value::String(b);
      if (Compare(va, vb, vc) == 0) {
        EXPECT_EQ(Hash(va, vc), Hash(vb, vc)) << "'" << a << "' '" << b << "'";
      } else {
        EXPECT_NE(Hash(va, vc), Hash(vb, vc)) << "'" << a << "' '" << b << "'";
      }
    }
  }
  // '@' '[' '`' '{' sit next to the letters and must not be folded
  EXPECT_NE(CompareStrings("@[`{", "@[@["), 0);
}

// Texts are hashed a word at a time with the last bytes read in overlapping pieces: every byte
// of every length must still count, and case must not.
TEST(ValueCompareTest, HashSeesEveryByteOfShortTexts) {
  const SqlType vc = SqlType::VarChar(100);
  auto hash = [&](const std::string& s) { return Hash(Value::String(s), vc); };
  for (size_t len = 1; len <= 19; ++len) {
    std::string base, upper;
    for (size_t i = 0; i < len; ++i) {
      base += static_cast<char>('a' + i);
      upper += static_cast<char>('A' + i);
    }
    EXPECT_EQ(hash(base), hash(upper)) << base;
    EXPECT_EQ(hash(base), hash(base + "   ")) << base;
    EXPECT_NE(hash(base), hash(base + "x")) << base;
    for (size_t pos = 0; pos < len; ++pos) {
      std::string changed = base;
      changed[pos] = '#';
      EXPECT_NE(hash(base), hash(changed)) << base << " at " << pos;
    }
  }
}

TEST(ValueCompareTest, NumbersAndDecimals) {
  SqlType d = SqlType::Decimal(10, 2);
  EXPECT_EQ(Compare(Value::Decimal(150, 2), Value::Decimal(15, 1), d), 0);
  EXPECT_EQ(Hash(Value::Decimal(150, 2), d), Hash(Value::Decimal(15, 1), d));
  EXPECT_EQ(Hash(Value::Decimal(500, 2), d), Hash(Value::Int(5), SqlType::Int()));
  EXPECT_LT(Compare(Value::Decimal(-1, 0), Value::Decimal(-5, 1), d), 0);
  EXPECT_GT(Compare(Value::Decimal(Int128{1} << 100, 30), Value::Decimal(Int128{1} << 100, 31), d),
            0);
  EXPECT_LT(Compare(Value::Int(-3), Value::Int(2), SqlType::Int()), 0);
  EXPECT_EQ(Compare(Value::Float(0.0), Value::Float(-0.0), SqlType::Float()), 0);
  EXPECT_EQ(Hash(Value::Float(0.0), SqlType::Float()), Hash(Value::Float(-0.0), SqlType::Float()));
  // '10' = 10 once the string is converted to the common type
  testing::Typed s = Lit("'10'");
  SqlType common = CommonType(s.t, SqlType::Int());
  EXPECT_EQ(Compare(Convert(s.v, s.t, common, CastMode::Implicit), Value::Int(10), common), 0);
}

TEST(ValueLikeTest, Table) {
  struct Case {
    const char* value;
    const char* pattern;
    bool unicode;
    bool match;
  } cases[] = {
      {"abc", "abc", false, true},
      {"abc", "a%", false, true},
      {"ABC", "a%", false, true},
      {"abc", "%c", false, true},
      {"abc", "%b%", false, true},
      {"abc", "_b_", false, true},
      {"abc", "__", false, false},
      {"", "%", false, true},
      {"abc", "abc ", false, false},
      {"abc       ", "abc", false, true},
      {"abc  ", "abc", true, false},
      {"abc  ", "abc%", true, true},
      {"c", "[a-f]", false, true},
      {"C", "[a-f]", false, true},
      {"g", "[a-f]", false, false},
      {"b", "[abc]", false, true},
      {"a", "[^a]", false, false},
      {"b", "[^a]", false, true},
      {"5%", "5[%]", false, true},
      {"55", "5[%]", false, false},
      {"_n", "[_]n", false, true},
      {"xn", "[_]n", false, false},
      {"1.01.001", "1.01%", false, true},
      {"合计行", "合%", false, true},
      {"合计行", "_计_", false, true},
      {"aXbXc", "%x%x%", false, true},
      {"mississippi", "%iss%ppi", false, true},
      {"mississippi", "%iss%ppx", false, false},
      {"a[b", "a[b", false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Like(c.value, c.pattern, std::nullopt, c.unicode), c.match)
        << "'" << c.value << "' LIKE '" << c.pattern << "'";
  }
  EXPECT_TRUE(Like("10%", "10!%", U'!', false));
  EXPECT_FALSE(Like("100", "10!%", U'!', false));
  EXPECT_TRUE(Like("a_b", "a\\_b", U'\\', false));
  EXPECT_FALSE(Like("axb", "a\\_b", U'\\', false));
}

}  // namespace
}  // namespace orv::tsql
