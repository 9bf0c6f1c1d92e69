// Lexer edge cases: numbers glued to keywords, comments, quoted names, strings, positions.
#include <gtest/gtest.h>

#include "tsql/syntax/lexer.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

// Renders the tokens as "kind:text" joined by blanks (End omitted).
std::string Render(std::string_view text) {
  std::string out;
  for (const Token& t : Tokenize(text)) {
    const char* kind = "";
    switch (t.kind) {
      case TokenKind::End:
        continue;
      case TokenKind::Identifier:
        kind = "id";
        break;
      case TokenKind::Quoted:
        kind = "q";
        break;
      case TokenKind::Variable:
        kind = "var";
        break;
      case TokenKind::Integer:
        kind = "int";
        break;
      case TokenKind::Decimal:
        kind = "dec";
        break;
      case TokenKind::Float:
        kind = "float";
        break;
      case TokenKind::Money:
        kind = "money";
        break;
      case TokenKind::String:
        kind = "str";
        break;
      case TokenKind::NString:
        kind = "nstr";
        break;
      case TokenKind::Binary:
        kind = "bin";
        break;
      case TokenKind::Operator:
        kind = "op";
        break;
    }
    if (!out.empty()) out += " ";
    out += std::string(kind) + ":" + t.text;
  }
  return out;
}

struct LexCase {
  const char* input;
  const char* tokens;
};

class LexerTable : public ::testing::TestWithParam<LexCase> {};

TEST_P(LexerTable, Tokens) { EXPECT_EQ(Render(GetParam().input), GetParam().tokens); }

INSTANTIATE_TEST_SUITE_P(
    Cases, LexerTable,
    ::testing::Values(
        LexCase{"3, 102From #Data", "int:3 op:, int:102 id:From id:#Data"},
        LexCase{"1e3 1.5E-2 2e+1 12.5 .5 7. $12.5 $.5",
                "float:1e3 float:1.5E-2 float:2e+1 dec:12.5 dec:.5 dec:7. money:12.5 money:.5"},
        LexCase{"1End", "int:1 id:End"}, LexCase{")Mx", "op:) id:Mx"},
        LexCase{"tempdb..#t ##g dbo.t_ICItem t1.FItemID",
                "id:tempdb op:. op:. id:#t id:##g id:dbo op:. id:t_ICItem id:t1 op:. id:FItemID"},
        LexCase{"[order] [a]]b] \"x y\"", "q:order q:a]b q:x y"},
        LexCase{"'it''s' N'（小计）' n'x' ''", "str:it's nstr:（小计） nstr:x str:"},
        LexCase{"a -- comment 红\r\n b /* x /* nested */ y */ c", "id:a id:b id:c"},
        LexCase{"Red.FRob = -1 --红\r\n  and", "id:Red op:. id:FRob op:= op:- int:1 id:and"},
        LexCase{"a<>b!=c<=d>=e!<f!>g",
                "id:a op:<> id:b op:!= id:c op:<= id:d op:>= id:e op:!< "
                "id:f op:!> id:g"},
        LexCase{"@v @@ROWCOUNT x$1 品名", "var:@v var:@@ROWCOUNT id:x$1 id:品名"},
        LexCase{"a+b-c*d/e%f&g|h^~i",
                "id:a op:+ id:b op:- id:c op:* id:d op:/ id:e op:% "
                "id:f op:& id:g op:| id:h op:^ op:~ id:i"},
        LexCase{"---出库 x\r\n;", "op:;"}));

TEST(Lexer, PositionsCountLinesAndBytes) {
  std::vector<Token> tokens = Tokenize("a\r\n  bb 'x\ny' c");
  ASSERT_EQ(tokens.size(), 5u);
  EXPECT_EQ(tokens[1].pos.line, 2);
  EXPECT_EQ(tokens[1].pos.column, 3);
  EXPECT_EQ(tokens[1].pos.offset, 5u);
  EXPECT_EQ(tokens[1].end_offset, 7u);
  EXPECT_EQ(tokens[3].pos.line, 3);  // after the line break inside the string
  EXPECT_EQ(tokens[4].kind, TokenKind::End);
}

TEST(Lexer, UnclosedDelimitersRaiseTheirErrors) {
  struct Case {
    const char* text;
    int number;
    int line;
  };
  for (const Case& c :
       {Case{"select 'abc", 105, 1}, Case{"select\n[abc", 105, 2}, Case{"a\n/* x /* y */", 113, 2},
        Case{"select ?", 102, 1}, Case{"select\n\n$", 102, 3}}) {
    try {
      Tokenize(c.text);
      ADD_FAILURE() << c.text;
    } catch (const SqlException& e) {
      EXPECT_EQ(e.number(), c.number) << c.text;
      EXPECT_EQ(e.error().line, c.line) << c.text;
    }
  }
}

TEST(Lexer, ReservedWordsIgnoreCase) {
  EXPECT_TRUE(IsReservedKeyword("from"));
  EXPECT_TRUE(IsReservedKeyword("Where"));
  EXPECT_TRUE(IsReservedKeyword("LEFT"));
  EXPECT_FALSE(IsReservedKeyword("Mx"));
  EXPECT_FALSE(IsReservedKeyword("NOCOUNT"));
  EXPECT_FALSE(IsReservedKeyword("GETDATE"));
  EXPECT_FALSE(IsReservedKeyword(""));
}

}  // namespace
}  // namespace orv::tsql
