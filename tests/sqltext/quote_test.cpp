// QuoteSql and LanguageSuffix.
#include "sqltext/quote.h"

#include <gtest/gtest.h>

namespace orv::sqltext {
namespace {

TEST(QuoteSqlTest, TrimsDoublesApostrophesAndEncloses) {
  struct Case {
    std::string_view text;
    bool quote, trim;
    std::string_view expected;
  };
  const Case cases[] = {
      {"O'Neil ", true, true, "'O''Neil'"},
      {"", true, true, "''"},
      {"   ", true, true, "''"},
      {"'", true, true, "''''"},
      {"''x''", true, true, "'''''x'''''"},
      {" a b ", true, true, "'a b'"},
      {"\ta\t", true, true, "'\ta\t'"},  // only spaces are trimmed
      {" O'Neil ", false, true, "O''Neil"},
      {" O'Neil ", true, false, "' O''Neil '"},
      {" x ", false, false, " x "},
      {"名称'甲 ", true, true, "'名称''甲'"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(QuoteSql(c.text, c.quote, c.trim), c.expected) << "text [" << c.text << "]";
  }
  EXPECT_EQ(Q(" it's "), "'it''s'");
}

TEST(LanguageSuffixTest, OnlyChtAndEnInAnyCaseSelectAVariant) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"cht", "FName_CHT"}, {"CHT", "FName_CHT"}, {"En", "FName_EN"}, {"en", "FName_EN"},
      {"CHS", "FName"},     {"", "FName"},        {"EN-US", "FName"}, {" EN", "FName"},
  };
  for (const auto& [language, expected] : cases) {
    EXPECT_EQ(LanguageSuffix("FName", language), expected) << "language [" << language << "]";
  }
}

}  // namespace
}  // namespace orv::sqltext
