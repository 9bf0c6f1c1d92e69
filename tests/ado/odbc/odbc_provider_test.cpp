// The SQL Server provider against `orvdata serve`: every batch gives, result for result, what
// the embedded provider gives: row sets with their column names, declared types and Variants
// (type and value), row counts, errors and messages with their numbers and texts. And through
// Connection, the first-result rule.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ado/connection.h"
#include "ado/provider.h"
#include "automation/error.h"
#include "automation/variant.h"
#include "support/source_under_test.h"

namespace orv::ado {
namespace {

using automation::Variant;

// One result as comparable text.
std::string Describe(const ProviderResult& r) {
  std::string out;
  switch (r.kind) {
    case ProviderResult::Kind::RowCount:
      return "count " + std::to_string(r.count);
    case ProviderResult::Kind::Error:
    case ProviderResult::Kind::Message:
      // The driver manager has no severity, state or line of a server message (see
      // odbc_provider.cpp): the number, the text and whether it is an error are compared.
      return std::string(r.kind == ProviderResult::Kind::Error ? "error " : "message ") +
             std::to_string(r.error.native) + ": " + r.error.message;
    case ProviderResult::Kind::Rows:
      break;
  }
  out = "rows";
  for (const ColumnInfo& c : r.columns) {
    // The server declares char and varchar lengths in bytes of its code page (two a character
    // for 936), the engine in characters: only the type's name is compared for them.
    const bool bytes = c.sql_type.starts_with("char(") || c.sql_type.starts_with("varchar(");
    out += " " + c.name + ":" +
           (bytes && !c.sql_type.ends_with("(max)") ? c.sql_type.substr(0, c.sql_type.find('('))
                                                    : c.sql_type);
  }
  auto add_row = [&](const std::vector<Variant>& row) {
    out += "\n ";
    for (const Variant& v : row) {
      std::string text = v.IsNull() ? std::string("NULL") : automation::CStr(v);
      if (text.size() > 40) text = text.substr(0, 20) + "...(" + std::to_string(text.size()) + ")";
      out += " " + std::to_string(static_cast<int>(v.type())) + "/" + text;
    }
  };
  if (r.source) {
    std::vector<Variant> row;
    for (size_t i = 0; i < r.source->size(); ++i) {
      r.source->Fetch(i, row);
      add_row(row);
    }
  } else {
    for (const auto& row : r.rows) add_row(row);
  }
  return out;
}

// The results as text. ODBC ranks the diagnostics of one step errors first, messages after
// ("The statement has been terminated." comes after the next statement's error): within each
// run of errors and messages between two row sets or counts, errors are put first.
std::vector<std::string> Results(ProviderConnection& connection, const std::string& batch) {
  std::vector<std::string> out;
  for (const ProviderResult& r : connection.ExecuteBatch(batch)) out.push_back(Describe(r));
  auto is_diagnostic = [](const std::string& s) {
    return s.starts_with("error ") || s.starts_with("message ");
  };
  for (auto begin = out.begin(); begin != out.end();) {
    if (!is_diagnostic(*begin)) {
      ++begin;
      continue;
    }
    auto end = std::find_if_not(begin, out.end(), is_diagnostic);
    std::stable_partition(begin, end, [](const std::string& s) { return s.starts_with("error "); });
    begin = end;
  }
  return out;
}

class OdbcProviderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    path_ = new std::string("/tmp/orv_odbc_provider_" + std::to_string(getpid()) + ".orvdb");
    std::remove(path_->c_str());
    served_ = new orv::testing::SourceUnderTest(*path_, "Provider=Embedded;Data Source=" + *path_,
                                                ORV_CLI_PATH);
  }
  static void TearDownTestSuite() {
    delete served_;
    std::remove(path_->c_str());
    delete path_;
  }
  void SetUp() override {
    ASSERT_TRUE(served_->served());
    embedded_ = OpenProvider(ConnectionString("Provider=Embedded;Data Source=:memory:"));
    odbc_ = OpenProvider(ConnectionString(served_->Text()));
  }

  static std::string* path_;
  static orv::testing::SourceUnderTest* served_;
  std::unique_ptr<ProviderConnection> embedded_;
  std::unique_ptr<ProviderConnection> odbc_;
};

std::string* OdbcProviderTest::path_ = nullptr;
orv::testing::SourceUnderTest* OdbcProviderTest::served_ = nullptr;

TEST_F(OdbcProviderTest, EveryBatchGivesTheEmbeddedResults) {
  const char* const batches[] = {
      // Every engine type, NULLs, Chinese text in nvarchar and varchar, datetime milliseconds.
      "create table #ty (b bit, ti tinyint, si smallint, i int, bi bigint, d decimal(23,10),\n"
      "  n numeric(5,0), m money, f float, r real, dt datetime, sdt smalldatetime, dd date,\n"
      "  c char(3), vc varchar(20), nc nchar(2), nvc nvarchar(20), vmax varchar(max))\n"
      "insert into #ty values (1, 255, -32768, -2147483648, 9007199254740993,\n"
      "  -1234.5000000001, 99999, -922337203685477.5808, 0.1, 0.25, '2024-02-29 23:59:59.997',\n"
      "  '2024-02-29 12:34:00', '2024-03-01', 'ab', '物料', N'中', N'中文 ✓', replicate('x', 9000)),\n"
      "  (0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '1900-01-01 00:00:00.003', '1900-01-01', '1900-01-02',\n"
      "  '', '', N'', N'', ''),\n"
      "  (null, null, null, null, null, null, null, null, null, null, null, null, null, null,\n"
      "  null, null, null, null)\n"
      "select * from #ty\n"
      "select sum(d) as total, count(*) as n, max(nvc) as top_name from #ty",
      // Messages, row sets, row counts and errors in stream order.
      "print 'before'\nselect 1 as x\nselect * from no_such\nselect 2 as y\nprint 'after'",
      "create table #t (x int)\ninsert #t values (1), (2)\nupdate #t set x = x + 1\n"
      "delete #t where x = 3\nselect * from #t\nselect 1 / 0 as boom\nselect 'on' as z",
      "set nocount on\ncreate table #u (x int)\ninsert #u values (1)\nselect x from #u",
      "create table #n (x int not null)\nselect 0 as first\ninsert #n values (null)\n"
      "select cast('abc' as int)\nselect 'after' as a",
      "select 1 as ok\nselec 2",
      "declare @x int\nset @x = 1",
  };
  for (const char* batch : batches) {
    SCOPED_TRACE(batch);
    EXPECT_EQ(Results(*odbc_, batch), Results(*embedded_, batch));
  }
}

TEST_F(OdbcProviderTest, FirstResultRuleThroughConnection) {
  auto connection = Connection::Open(served_->Text());
  // An error before the first result is raised with the server's number kept.
  try {
    connection->Execute("print 'x'\nselect * from no_such\nselect 1 as a");
    ADD_FAILURE() << "no error";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number(), adoerr::kProviderError);
    EXPECT_EQ(e.description(), "Invalid object name 'no_such'.");
    ASSERT_EQ(connection->LastErrors().size(), 1u);
    EXPECT_EQ(connection->LastErrors()[0].native, 208);
  }
  // A row count is a closed recordset; a later error surfaces on the next result.
  auto rs = connection->Execute("create table #c (x int)\ninsert #c values (1)\n"
                                "select 1 / 0 as boom\nselect 5 as five");
  EXPECT_EQ(rs->State(), adStateClosed);
  try {
    rs = rs->NextRecordset();
    ADD_FAILURE() << "no error";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.description(), "Divide by zero error encountered.");
  }
}

TEST_F(OdbcProviderTest, RowsStreamOneAtATime) {
  struct Collect : RowSink {
    std::vector<ColumnInfo> columns;
    std::vector<std::string> rows;
    void Columns(const std::vector<ColumnInfo>& c) override { columns = c; }
    void Row(std::vector<Variant>& values) override {
      rows.push_back(automation::CStr(values[0]) + "," + automation::CStr(values[1]));
    }
  } sink;
  odbc_->StreamRows("select 1 as a, N'一' as b union all select 2, N'二' order by a", sink);
  ASSERT_EQ(sink.columns.size(), 2u);
  EXPECT_EQ(sink.columns[1].name, "b");
  EXPECT_EQ(sink.rows, (std::vector<std::string>{"1,一", "2,二"}));
  try {
    odbc_->StreamRows("select * from no_such", sink);
    ADD_FAILURE() << "no error";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.description(), "Invalid object name 'no_such'.");
  }
}

}  // namespace
}  // namespace orv::ado
