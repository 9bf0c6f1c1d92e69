// The Embedded provider on the real engine: the default provider, sessions per connection, the
// first-result rule with NOCOUNT on and off, errors, the fixed clock, and column types.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "ado/connection.h"
#include "automation/error.h"

namespace orv::ado {
namespace {

using automation::DateValue;
using automation::DecimalValue;
using automation::VarType;

// Runs `action` and returns the number and text of the error it raised (0 when none).
template <class F>
std::pair<int32_t, std::string> ErrorOf(F action) {
  try {
    action();
  } catch (const automation::AutomationError& e) {
    return {e.number(), e.description()};
  }
  return {0, ""};
}

TEST(EmbeddedProviderTest, IsTheDefaultProvider) {
  for (const char* text : {"", "Data Source=:memory:", "Provider=embedded"}) {
    auto connection = Connection::Open(text);
    auto rs = connection->Execute("select 1 as n");
    ASSERT_EQ(rs->State(), adStateOpen) << text;
    EXPECT_EQ(rs->Fields("N").Value().AsLong(), 1) << text;
  }
}

TEST(EmbeddedProviderTest, RowCountFirstThenRowsWithNoCountOff) {
  auto connection = Connection::Open("Data Source=:memory:");
  int64_t affected = 0;
  auto rs = connection->Execute(
      "create table #t (a int)\r\n"
      "insert into #t values (1)\r\n"
      "insert into #t values (2)\r\n"
      "select a from #t order by a\r\n",
      &affected);
  EXPECT_EQ(rs->State(), adStateClosed);
  EXPECT_EQ(affected, 1);
  auto second = rs->NextRecordset();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->State(), adStateClosed);
  auto rows = second->NextRecordset();
  ASSERT_NE(rows, nullptr);
  ASSERT_EQ(rows->State(), adStateOpen);
  EXPECT_EQ(rows->RecordCount(), 2);
  EXPECT_EQ(rows->NextRecordset(), nullptr);

  // The temporary table lives on in the connection's session.
  auto again = connection->Execute("set nocount on\r\nselect count(*) as c from #t");
  ASSERT_EQ(again->State(), adStateOpen);
  EXPECT_EQ(again->Fields("c").Value().AsLong(), 2);
}

TEST(EmbeddedProviderTest, ErrorsBeforeAndAfterTheFirstResult) {
  auto connection = Connection::Open("");
  EXPECT_EQ(
      ErrorOf([&] { connection->Execute("select * from t_NoSuchTable"); }),
      std::make_pair(adoerr::kProviderError, std::string("Invalid object name 't_NoSuchTable'.")));
  ASSERT_FALSE(connection->LastErrors().empty());
  EXPECT_EQ(connection->LastErrors()[0].native, 208);

  auto rs = connection->Execute("set nocount on\r\nselect 1 as a\r\nselect convert(int, 'abc')");
  ASSERT_EQ(rs->State(), adStateOpen);
  EXPECT_EQ(ErrorOf([&] { rs->NextRecordset(); }),
            std::make_pair(adoerr::kProviderError,
                           std::string("Conversion failed when converting the varchar value "
                                       "'abc' to data type int.")));

  auto printed = connection->Execute("print 'hello'");
  EXPECT_EQ(printed->State(), adStateClosed);
  EXPECT_EQ(printed->NextRecordset(), nullptr);
}

TEST(EmbeddedProviderTest, MemoryLimitComesFromTheConnectionText) {
  auto connection = Connection::Open("Data Source=:memory:;Memory Limit=16");
  connection->Execute(
      "set nocount on\r\ncreate table d (d int)\r\n"
      "insert into d values (0), (1), (2), (3), (4), (5), (6), (7), (8), (9)");
  EXPECT_EQ(ErrorOf([&] { connection->Execute("select count(*) from d a, d b, d c, d e, d f, d g, d h"); }),
            std::make_pair(adoerr::kProviderError,
                           std::string("There is insufficient system memory in resource pool 'default' "
                                       "to run this query.")));
  EXPECT_EQ(connection->Execute("select count(*) as n from d")->Fields("n").Value().AsLong(), 10);
  EXPECT_EQ(ErrorOf([] { Connection::Open("Memory Limit=lots"); }).first, adoerr::kInvalidArgument);
}

TEST(EmbeddedProviderTest, ClockFixesGetDate) {
  auto connection = Connection::Open("Data Source=:memory:;Clock=2024-01-15 12:30:00");
  auto rs = connection->Execute("select getdate() as now");
  ASSERT_EQ(rs->State(), adStateOpen);
  EXPECT_EQ(rs->Fields("now").SqlType(), "datetime");
  EXPECT_EQ(rs->Fields("now").Value().AsDate(), DateValue::FromParts(2024, 1, 15, 12, 30, 0));

  EXPECT_EQ(ErrorOf([] { Connection::Open("Clock=15.01.2024"); }).first, adoerr::kInvalidArgument);
}

TEST(EmbeddedProviderTest, ColumnTypesAndValues) {
  auto connection = Connection::Open("");
  auto rs = connection->Execute(
      "set nocount on\r\n"
      "create table #v (i int, s smallint, b bit, g bigint, d decimal(23,10), m money,\r\n"
      "  f float, v varchar(20), n nvarchar(10), t datetime, z int)\r\n"
      "insert into #v values (7, -3, 1, 9000000000, 12.5, 3.25, 0.5, 'abc', N'xy',\r\n"
      "  '2024-01-15 06:00:00', null)\r\n"
      "select * from #v\r\n");
  ASSERT_EQ(rs->State(), adStateOpen);
  struct Expect {
    const char* name;
    const char* sql_type;
    VarType type;
  };
  const Expect expected[] = {
      {"i", "int", VarType::Long},
      {"s", "smallint", VarType::Integer},
      {"b", "bit", VarType::Boolean},
      {"g", "bigint", VarType::Decimal},
      {"d", "decimal(23,10)", VarType::Decimal},
      {"m", "money", VarType::Decimal},
      {"f", "float", VarType::Double},
      {"v", "varchar(20)", VarType::String},
      {"n", "nvarchar(10)", VarType::String},
      {"t", "datetime", VarType::Date},
      {"z", "int", VarType::Null},
  };
  ASSERT_EQ(rs->FieldCount(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const Field& field = rs->Fields(i);
    EXPECT_EQ(field.Name(), expected[i].name);
    EXPECT_EQ(field.SqlType(), expected[i].sql_type) << field.Name();
    EXPECT_EQ(field.Value().type(), expected[i].type) << field.Name();
  }
  EXPECT_EQ(rs->Fields("i").Value().AsLong(), 7);
  EXPECT_EQ(rs->Fields("s").Value().AsInteger(), -3);
  EXPECT_TRUE(rs->Fields("b").Value().AsBoolean());
  EXPECT_EQ(rs->Fields("g").Value().AsDecimal(), (DecimalValue{9000000000, 0}));
  EXPECT_EQ(rs->Fields("d").Value().AsDecimal(), (DecimalValue{125000000000, 10}));
  EXPECT_EQ(rs->Fields("m").Value().AsDecimal(), (DecimalValue{32500, 4}));
  EXPECT_EQ(rs->Fields("f").Value().AsDouble(), 0.5);
  EXPECT_EQ(rs->Fields("v").Value().AsString(), "abc");
  EXPECT_EQ(rs->Fields("t").Value().AsDate(), DateValue::FromParts(2024, 1, 15, 6));
}

TEST(EmbeddedProviderTest, FileDataSourceIsSharedTempTablesAreNot) {
  const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     ("orv_ado_embedded_" + std::to_string(::getpid()) + ".db");
  std::filesystem::remove(file);
  const std::string dsn = "Provider=Embedded;Data Source={" + file.string() + "};Create=yes";
  {
    auto first = Connection::Open(dsn);
    auto second = Connection::Open(dsn);
    first->Execute(
        "set nocount on\r\ncreate table t_Shared (a int)\r\n"
        "insert into t_Shared values (4)\r\ncreate table #mine (a int)");
    auto rs = second->Execute("select a from t_Shared");
    ASSERT_EQ(rs->State(), adStateOpen);
    EXPECT_EQ(rs->Fields("a").Value().AsLong(), 4);
    EXPECT_EQ(ErrorOf([&] { second->Execute("select a from #mine"); }).first,
              adoerr::kProviderError);
  }
  std::filesystem::remove(file);
}

TEST(EmbeddedProviderTest, ModeReadGivesASessionThatCannotChangePermanentTables) {
  auto writer = Connection::Open("Data Source=:memory:");
  auto reader = Connection::Open("Data Source=:memory:;Mode=Read");
  EXPECT_EQ(ErrorOf([&] { reader->Execute("create table t (a int)"); }).second,
            "CREATE TABLE permission denied in database 'orvdata'.");
  reader->Execute("create table #t (a int) insert into #t values (1)");
  EXPECT_EQ(reader->Execute("select count(*) from #t")->Fields(size_t{0}).Value().AsLong(), 1);
  writer->Execute("create table t (a int)");
  EXPECT_EQ(ErrorOf([] { Connection::Open("Mode=Share Deny None"); }).first,
            adoerr::kInvalidArgument);
}

// A row set of a table's columns reaches the recordset unconverted: rows are converted as the
// cursor reaches them, stay as selected while later batches change the table, and can be
// taken either converted or as the provider's row source.
TEST(EmbeddedProviderTest, TableRowsAreConvertedAsTheyAreRead) {
  auto connection = Connection::Open("Data Source=:memory:");
  connection->Execute("set nocount on\r\ncreate table #t (a int, b varchar(9))\r\n"
                      "insert into #t values (1, 'one'), (2, NULL), (3, 'three')");
  const char* select = "select b, a from #t order by a desc";
  auto rs = connection->Execute(select);
  ASSERT_EQ(rs->State(), adStateOpen);
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(rs->Fields("b").Value().AsString(), "three");
  connection->Execute("update #t set b = 'new', a = a * 10\r\ndelete from #t where a = 20");
  rs->MoveNext();
  EXPECT_TRUE(rs->Fields("b").Value().IsNull());
  EXPECT_EQ(rs->Fields("a").Value().AsLong(), 2);
  const auto rest = rs->TakeRemainingRows();
  ASSERT_EQ(rest.size(), 2u);
  EXPECT_TRUE(rest[0][0].IsNull());
  EXPECT_EQ(rest[1][0].AsString(), "one");
  EXPECT_TRUE(rs->EOF());
  EXPECT_EQ(rs->TakeRowSource(), nullptr);

  auto again = connection->Execute(select);
  const auto source = again->TakeRowSource();
  ASSERT_NE(source, nullptr);
  ASSERT_EQ(source->size(), 2u);
  std::vector<automation::Variant> row;
  source->Fetch(1, row);
  ASSERT_EQ(row.size(), 2u);
  EXPECT_EQ(row[0].AsString(), "new");
  EXPECT_EQ(row[1].AsLong(), 10);
  EXPECT_TRUE(again->EOF());
  EXPECT_EQ(again->RecordCount(), 0);

  // A computed row set comes converted already: there is no source to take.
  auto computed = connection->Execute("select a * 2 as d from #t");
  EXPECT_EQ(computed->TakeRowSource(), nullptr);
  EXPECT_EQ(computed->RecordCount(), 2);
}

}  // namespace
}  // namespace orv::ado
