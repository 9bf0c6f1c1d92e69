// The string scalar functions and the function table's result types.
#include <gtest/gtest.h>

#include "tsql/types/value_test_util.h"

namespace orv::tsql {
namespace {

using testing::Call;
using testing::Cast;
using testing::ErrorOf;
using testing::Lit;
using testing::MessageOf;
using testing::Show;
using testing::Typed;

TEST(ValueFunctionTest, StringResults) {
  Typed padded = Cast(Lit("'ab'"), SqlType::Char(5));
  struct Case {
    const char* fn;
    std::vector<Typed> args;
    const char* result;
  };
  Case cases[] = {
      {"LEN", {Lit("'  ab  '")}, "4"},
      {"LEN", {Lit("''")}, "0"},
      {"LEN", {padded}, "2"},
      {"LEN", {Lit("'合计'")}, "2"},
      {"LEN", {Lit("12345")}, "5"},
      {"LEN", {Lit("NULL")}, "NULL"},
      {"DATALENGTH", {Lit("'  ab  '")}, "6"},
      {"DATALENGTH", {Lit("N'ab'")}, "4"},
      {"DATALENGTH", {padded}, "5"},
      {"DATALENGTH", {Cast(Lit("'ab  '"), SqlType::VarChar(10))}, "4"},
      {"DATALENGTH", {Lit("7")}, "4"},
      {"RTRIM", {Lit("'ab  '")}, "ab"},
      {"LTRIM", {Lit("'  ab '")}, "ab "},
      {"RTRIM", {Lit("'ab\t'")}, "ab\t"},
      {"LEFT", {Lit("'abcdef'"), Lit("3")}, "abc"},
      {"LEFT", {Lit("'abc'"), Lit("10")}, "abc"},
      {"RIGHT", {Lit("'abcdef'"), Lit("2")}, "ef"},
      {"RIGHT", {padded, Lit("2")}, "  "},
      {"LEFT", {Lit("'合计行'"), Lit("2")}, "合计"},
      {"SUBSTRING", {Lit("'abcdef'"), Lit("2"), Lit("3")}, "bcd"},
      {"SUBSTRING", {Lit("'abcdef'"), Lit("0"), Lit("3")}, "ab"},
      {"SUBSTRING", {Lit("'abcdef'"), Lit("-3"), Lit("3")}, ""},
      {"SUBSTRING", {Lit("'abc'"), Lit("5"), Lit("2")}, ""},
      {"SUBSTRING", {Lit("'合计行'"), Lit("2"), Lit("1")}, "计"},
      {"UPPER", {Lit("'abc合x'")}, "ABC合X"},
      {"LOWER", {Lit("'ABC'")}, "abc"},
      {"REPLACE", {Lit("'aAa'"), Lit("'a'"), Lit("'x'")}, "xxx"},
      {"REPLACE", {Lit("'abc'"), Lit("''"), Lit("'x'")}, "abc"},
      {"REPLACE", {Lit("'abc'"), Lit("NULL"), Lit("'x'")}, "NULL"},
      {"REPLACE", {Lit("'1.01.001'"), Lit("'.'"), Lit("''")}, "101001"},
      {"CHARINDEX", {Lit("'C'"), Lit("'abcabc'")}, "3"},
      {"CHARINDEX", {Lit("'c'"), Lit("'abcabc'"), Lit("4")}, "6"},
      {"CHARINDEX", {Lit("'计'"), Lit("'合计'")}, "2"},
      {"CHARINDEX", {Lit("'z'"), Lit("'abc'")}, "0"},
      {"CHAR", {Lit("65")}, "A"},
      {"CHAR", {Lit("256")}, "NULL"},
      {"ASCII", {Lit("'A'")}, "65"},
      {"SPACE", {Lit("3")}, "   "},
      {"REPLICATE", {Lit("'ab'"), Lit("3")}, "ababab"},
      {"STR", {Lit("123.456"), Lit("8"), Lit("2")}, "  123.46"},
      {"STR", {Lit("12345"), Lit("3")}, "***"},
      {"STR", {Lit("7")}, "         7"},
      {"ISNUMERIC", {Lit("'12.5'")}, "1"},
      {"ISNUMERIC", {Lit("' -1,000 '")}, "1"},
      {"ISNUMERIC", {Lit("'1e5'")}, "1"},
      {"ISNUMERIC", {Lit("'abc'")}, "0"},
      {"ISNUMERIC", {Lit("''")}, "0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Show(Call(c.fn, c.args)), c.result) << c.fn << "(" << Show(c.args[0]) << ")";
  }
  // RTRIM('ab  ') + '|'
  Typed trimmed = Call("RTRIM", {Lit("'ab  '")});
  EXPECT_EQ(Show(testing::Binary(ast::Op::Add, trimmed, Lit("'|'"))), "ab|");
  EXPECT_EQ(Show(testing::Binary(ast::Op::Add, padded, Lit("'|'"))), "ab   |");
}

TEST(ValueFunctionTest, ResultTypes) {
  struct Case {
    const char* fn;
    std::vector<SqlType> args;
    std::string type;
  } cases[] = {
      {"LEN", {SqlType::VarChar(10)}, "int"},
      {"LEN", {SqlType::VarChar(SqlType::kMaxLength)}, "bigint"},
      {"LTRIM", {SqlType::Char(10)}, "varchar(10)"},
      {"UPPER", {SqlType::NChar(4)}, "nvarchar(4)"},
      {"LEFT", {SqlType::VarChar(20), SqlType::Int()}, "varchar(20)"},
      {"SUBSTRING", {SqlType::NVarChar(20), SqlType::Int(), SqlType::Int()}, "nvarchar(20)"},
      {"REPLACE", {SqlType::VarChar(5), SqlType::VarChar(1), SqlType::VarChar(1)}, "varchar(8000)"},
      {"CHAR", {SqlType::Int()}, "char(1)"},
      {"ROUND", {SqlType::Decimal(23, 10), SqlType::SmallInt()}, "decimal(23,10)"},
      {"ROUND", {SqlType::SmallInt(), SqlType::Int()}, "int"},
      {"ROUND", {SqlType::Real(), SqlType::Int()}, "float"},
      {"ABS", {SqlType::Money()}, "money"},
      {"DATEADD", {SqlType::VarChar(3), SqlType::Int(), SqlType::VarChar(10)}, "datetime"},
      {"DATEADD", {SqlType::VarChar(3), SqlType::Int(), SqlType::SmallDateTime()}, "smalldatetime"},
      {"YEAR", {SqlType::DateTime()}, "int"},
  };
  for (const Case& c : cases) {
    const ScalarFunction* f = FindScalarFunction(c.fn);
    ASSERT_NE(f, nullptr) << c.fn;
    EXPECT_EQ(f->result_type(c.args).ToString(), c.type) << c.fn;
  }
  EXPECT_NE(FindScalarFunction("substring"), nullptr);
  EXPECT_EQ(FindScalarFunction("NO_SUCH_FUNCTION"), nullptr);
}

TEST(ValueFunctionTest, Errors) {
  EXPECT_EQ(MessageOf([] {
              Call("LEFT", {Lit("'abc'"), Lit("-1")});
            }),
            "Invalid length parameter passed to the left function.");
  EXPECT_EQ(ErrorOf([] { Call("SUBSTRING", {Lit("'abc'"), Lit("1"), Lit("-1")}); }), 536);
  EXPECT_EQ(ErrorOf([] { Call("YEAR", {Lit("'abc'")}); }), 241);
}

TEST(ValueErrorTest, CatalogueTexts) {
  struct Case {
    int number;
    std::initializer_list<std::string> args;
    const char* text;
    int severity;
  } cases[] = {
      {207, {"FQty"}, "Invalid column name 'FQty'.", 16},
      {208, {"t_ICItemX"}, "Invalid object name 't_ICItemX'.", 16},
      {209, {"FItemID"}, "Ambiguous column name 'FItemID'.", 16},
      {4104, {"x.a"}, "The multi-part identifier \"x.a\" could not be bound.", 16},
      {8120,
       {"#t", "a"},
       "Column '#t.a' is invalid in the select list because it is not contained in either an "
       "aggregate function or the GROUP BY clause.",
       16},
      {515,
       {"c", "tempdb.dbo.#T", "INSERT"},
       "Cannot insert the value NULL into column 'c', table 'tempdb.dbo.#T'; column does not "
       "allow nulls. INSERT fails.",
       16},
      {2714, {"#t"}, "There is already an object named '#t' in the database.", 16},
      {3701,
       {"#t"},
       "Cannot drop the table '#t', because it does not exist or you do not have permission.",
       11},
      {102, {"="}, "Incorrect syntax near '='.", 15},
      {156, {"WHERE"}, "Incorrect syntax near the keyword 'WHERE'.", 15},
      {174, {"len", "1"}, "The len function requires 1 argument(s).", 15},
      {242,
       {},
       "The conversion of a varchar data type to a datetime data type resulted in an "
       "out-of-range value.",
       16},
      {8114, {"varchar", "float"}, "Error converting data type varchar to float.", 16},
      {3621, {}, "The statement has been terminated.", 10},
      {243, {"strnig"}, "Type strnig is not a defined system type.", 16},
  };
  for (const Case& c : cases) {
    SqlError e = MakeError(c.number, c.args);
    EXPECT_EQ(e.message, c.text) << c.number;
    EXPECT_EQ(e.severity, c.severity) << c.number;
  }
  EXPECT_EQ(MakeError(515, {"c", "T", "UPDATE"}).state, 2);
}

}  // namespace
}  // namespace orv::tsql
