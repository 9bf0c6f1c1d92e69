// Parameters of sp_executesql and prepared statements: the declaration list is parsed strictly,
// values become literals that cannot break out of their quotes, and missing or unknown
// parameters give SQL Server's errors.
#include <gtest/gtest.h>

#include "tds/param_binding.h"
#include "tds/type_codec.h"

namespace orv::tds {
namespace {

TEST(ParamBinding, DeclarationLists) {
  struct Case {
    const char* text;
    const char* canonical;  // "name type [out]; ..." or nullptr when refused
  } cases[] = {
      {"", ""},
      {"@p1 int", "@p1 int"},
      {"@P1 INT , @name NVarChar(50) OUTPUT,@d decimal( 18 , 4 ) out", "@P1 int; @name nvarchar(50) out; @d decimal(18,4) out"},
      {"@s varchar(max), @b varbinary(8000), @t datetime2(7), @g uniqueidentifier",
       "@s varchar(max); @b varbinary(8000); @t datetime2(7); @g uniqueidentifier"},
      {"@x as bit", "@x bit"},
      {"@p int; drop table t", nullptr},
      {"@p int, ", nullptr},
      {"@p in t", nullptr},
      {"@p nvarchar(50) collate x", nullptr},
      {"@p decimal(max)", nullptr},
      {"@p int(4)", nullptr},
      {"@p sysname", nullptr},
      {"p int", nullptr},
      {"@p int, @P bit", nullptr},
      {"@p varchar(5,2)", nullptr},
      {"@p varchar(99999)", nullptr},
  };
  for (const Case& c : cases) {
    if (!c.canonical) {
      EXPECT_THROW(ParseParamDecls(c.text), BindingError) << c.text;
      continue;
    }
    std::string got;
    for (const ParamDecl& d : ParseParamDecls(c.text)) {
      got += (got.empty() ? "" : "; ") + d.name + " " + d.type + (d.output ? " out" : "");
    }
    EXPECT_EQ(got, c.canonical) << c.text;
  }
}

TEST(ParamBinding, Literals) {
  struct Case {
    WireValue value;
    const char* literal;
  } cases[] = {
      {WireValue::Null(), "NULL"},
      {WireValue::Int(-42), "-42"},
      {WireValue::Decimal(-5, 3), "-0.005"},
      {WireValue::Float(0.1), "1.00000000000000006E-01"},
      {WireValue::Text("it's'; drop table x --"), "N'it''s''; drop table x --'"},
      {WireValue::Text("中文"), "N'中文'"},
      {WireValue::Binary(std::string("\x00\xAB", 2)), "0x00AB"},
      {WireValue::DateTime(kDaysTo1900 + 45350, 863'999'966'666), "'2024-03-01 23:59:59.997'"},
      {WireValue::DateTime(0, 0), "'0001-01-01 00:00:00.000'"},
      {WireValue::Guid(std::string("\x33\x22\x11\x00\x55\x44\x77\x66\x88\x99\xAA\xBB\xCC\xDD\xEE\xFF", 16)),
       "'00112233-4455-6677-8899-AABBCCDDEEFF'"},
  };
  for (const Case& c : cases) EXPECT_EQ(SqlLiteral(c.value), c.literal);
  EXPECT_THROW(SqlLiteral(WireValue::Float(std::numeric_limits<double>::infinity())), BindingError);
}

RpcParam Param(std::string name, WireValue value, bool output = false) {
  RpcParam p;
  p.name = std::move(name);
  p.value = std::move(value);
  p.output = output;
  return p;
}

TEST(ParamBinding, BindsByNameOrPosition) {
  const auto decls = ParseParamDecls("@a int, @b nvarchar(10) output");
  RpcParam b = Param("@B", WireValue::Text("x"), true);
  RpcParam a = Param("@a", WireValue::Int(1));
  BoundBatch bound = BindParameters("select @a\n--", decls, {&b, &a});
  EXPECT_EQ(bound.text,
            "DECLARE @a int; SET @a = 1; DECLARE @b nvarchar(10); SET @b = N'x'; select @a\n--"
            "\nSELECT @b AS __orv_output_0");
  EXPECT_EQ(bound.outputs, std::vector<size_t>{1});

  RpcParam first = Param("", WireValue::Int(7));
  RpcParam second = Param("", WireValue::Null());
  EXPECT_EQ(BindParameters("select 1", decls, {&first, &second}).text,
            "DECLARE @a int; SET @a = 7; DECLARE @b nvarchar(10); SET @b = NULL; select 1");

  auto error_of = [&](std::vector<const RpcParam*> values) {
    try {
      BindParameters("select @a", decls, values);
    } catch (const BindingError& e) {
      return e.number();
    }
    return 0;
  };
  RpcParam unknown = Param("@zz", WireValue::Int(1));
  RpcParam third = Param("", WireValue::Int(1));
  EXPECT_EQ(error_of({&a}), 8178);
  EXPECT_EQ(error_of({&a, &b, &unknown}), 8145);
  EXPECT_EQ(error_of({&first, &second, &third}), 8144);
}

}  // namespace
}  // namespace orv::tds
