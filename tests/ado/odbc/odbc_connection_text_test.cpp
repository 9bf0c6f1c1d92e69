// The SQL Server connection texts report clients write, mapped to one ODBC connection; the
// provider a text selects; the decimal and type texts of ODBC columns.
#include <gtest/gtest.h>

#include "ado/odbc/odbc_connection_text.h"
#include "ado/odbc/odbc_values.h"
#include "ado/provider.h"
#include "automation/error.h"
#include "automation/variant.h"

namespace orv::ado::odbc {
namespace {

OdbcTarget Map(const char* text) { return MapConnectionText(ConnectionString(text), "FreeTDS"); }

TEST(OdbcConnectionTextTest, EachFormBecomesOneOdbcConnection) {
  struct Case {
    const char* text;
    const char* odbc;
    const char* described;
  };
  const Case cases[] = {
      {"Provider=SQLOLEDB;Data Source=db1,1500;Initial Catalog=AIS2025;User ID=sa;Password=p",
       "PWD=p;Driver=FreeTDS;Server=db1;Port=1500;TDS_Version=7.4;Database=AIS2025;UID=sa;"
       "ClientCharset=UTF-8",
       "db1:1500 (database AIS2025, user sa)"},
      {"Provider=SQLOLEDB.1;Persist Security Info=True;Data Source=tcp:10.0.0.5;User ID=u;"
       "Password={a;b=c};Initial Catalog=X",
       "PWD={a;b=c};Driver=FreeTDS;Server=10.0.0.5;Port=1433;TDS_Version=7.4;Database=X;UID=u;"
       "ClientCharset=UTF-8",
       "10.0.0.5:1433 (database X, user u)"},
      {"Provider=SQLNCLI11;Server=(local);Database=D;UID=u;PWD=x",
       "PWD=x;Driver=FreeTDS;Server=localhost;Port=1433;TDS_Version=7.4;Database=D;UID=u;"
       "ClientCharset=UTF-8",
       "localhost:1433 (database D, user u)"},
      {"Provider=SQLOLEDB;Data Source=host\\ERP;User ID=u;Password=x",
       "PWD=x;Driver=FreeTDS;Server=host\\ERP;TDS_Version=7.4;UID=u;ClientCharset=UTF-8",
       "host\\ERP (user u)"},
      {"Driver={FreeTDS};Server=127.0.0.1;Port=14330;Database=demo;UID=alice;PWD=s3cret pass;",
       "Driver=FreeTDS;PWD=s3cret pass;Server=127.0.0.1;Port=14330;TDS_Version=7.4;"
       "Database=demo;UID=alice;ClientCharset=UTF-8",
       "127.0.0.1:14330 (database demo, user alice)"},
      {"Driver={ODBC Driver 17 for SQL Server};Server=h,1444;Database=d;UID=u;PWD=p;"
       "TDS_Version=7.3;ClientCharset=GBK;Connect Timeout=3",
       "Driver=FreeTDS;PWD=p;TDS_Version=7.3;Server=h;Port=1444;Database=d;UID=u;"
       "ClientCharset=UTF-8",
       "h:1444 (database d, user u)"},
      {"Driver={My Driver};Server=h;Port=1;UID=u",
       "Driver=My Driver;Server=h;Port=1;TDS_Version=7.4;UID=u;ClientCharset=UTF-8",
       "h:1 (user u)"},
      {"DSN=erp;UID=u;PWD=p", "DSN=erp;PWD=p;UID=u;ClientCharset=UTF-8", "DSN erp (user u)"},
  };
  for (const Case& c : cases) {
    const OdbcTarget target = Map(c.text);
    EXPECT_EQ(target.connection_text, c.odbc) << c.text;
    EXPECT_EQ(target.Describe(), c.described) << c.text;
  }
  EXPECT_EQ(Map("Driver=FreeTDS;Server=h;Connect Timeout=3").login_timeout_seconds, 3);
  EXPECT_EQ(Map("Driver=FreeTDS;Server=h").login_timeout_seconds, 15);
}

TEST(OdbcConnectionTextTest, RefusesWhatCannotBeMapped) {
  struct Case {
    const char* text;
    const char* says;
  };
  const Case cases[] = {
      {"Provider=SQLOLEDB;Data Source=h;Integrated Security=SSPI", "Windows authentication"},
      {"Driver={SQL Server};Server=h;Trusted_Connection=Yes", "Windows authentication"},
      {"Provider=SQLOLEDB;Initial Catalog=x;User ID=u;Password=secret", "no server"},
      {"Driver=FreeTDS;Server=h;Connect Timeout=soon", "login timeout 'soon'"},
      {"Driver=FreeTDS;Server=h;PWD={se}}cret}", "password that contains '}'"},
  };
  for (const Case& c : cases) {
    try {
      Map(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const automation::AutomationError& e) {
      EXPECT_NE(e.description().find(c.says), std::string::npos) << e.description();
      EXPECT_EQ(e.description().find("secret"), std::string::npos) << e.description();
      EXPECT_EQ(e.description().find("cret"), std::string::npos) << e.description();
    }
  }
}

TEST(OdbcConnectionTextTest, ProviderChosenByTheText) {
  EXPECT_EQ(ProviderName(ConnectionString("Data Source=a.orvdb")), "Embedded");
  EXPECT_EQ(ProviderName(ConnectionString("Provider=SQLOLEDB;Data Source=h")), "SQLOLEDB");
  EXPECT_EQ(ProviderName(ConnectionString("Driver={FreeTDS};Server=h")), "ODBC");
  EXPECT_EQ(ProviderName(ConnectionString("DSN=erp")), "ODBC");
}

TEST(OdbcValuesTest, DecimalTextKeepsTheColumnScale) {
  struct Case {
    const char* text;
    int scale;
    const char* expected;
  };
  const Case cases[] = {
      {"12.5", 4, "12.5000"},       {"-1234.5000000000", 10, "-1234.5000000000"},
      {".5", 2, "0.50"},            {"-0.001", 3, "-0.001"},
      {"7", 0, "7"},                {"99999999999999999999999999.99", 2, "99999999999999999999999999.99"},
      {"1.23456", 2, "1.23"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(automation::CStr(automation::Variant(DecimalFromText(c.text, c.scale))), c.expected)
        << c.text;
  }
}

TEST(OdbcValuesTest, TypeTextsAsTheEngineWritesThem) {
  EXPECT_EQ(TypeText("numeric", SQL_NUMERIC, 23, 10), "decimal(23,10)");
  EXPECT_EQ(TypeText("money", SQL_DECIMAL, 19, 4), "money");
  EXPECT_EQ(TypeText("nvarchar", SQL_WVARCHAR, 50, 0), "nvarchar(50)");
  EXPECT_EQ(TypeText("varchar", SQL_LONGVARCHAR, 2147483647, 0), "varchar(max)");
  EXPECT_EQ(TypeText("", SQL_INTEGER, 10, 0), "int");
  EXPECT_EQ(TypeText("DateTime", SQL_TYPE_TIMESTAMP, 23, 3), "datetime");
}

}  // namespace
}  // namespace orv::ado::odbc
