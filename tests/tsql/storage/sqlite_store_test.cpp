// Round trips of the SQLite data-source file: exact values, schema, appends, rewrites, views,
// and the clear errors for files that cannot be used.
#include "tsql/storage/sqlite_store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

class SqliteStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "store_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".orvdb";
    std::remove(path_.c_str());
  }
  void TearDown() override { std::remove(path_.c_str()); }

  static StoredTable ItemTable() {
    StoredTable t;
    t.name = "t_ICItem";
    t.columns = {{"FItemID", SqlType::Int(), false, "", true, 1, 1},
                 {"FName", SqlType::VarChar(255), true, "", false, 1, 1},
                 {"FQty", SqlType::Decimal(23, 10), false, "(0)", false, 1, 1},
                 {"FDate", SqlType::DateTime(), true, "", false, 1, 1},
                 {"FRate", SqlType::Float(), true, "", false, 1, 1}};
    t.rows.push_back({Value::Int(1), Value::String("电机外壳, a name longer than the inline size"),
                      Value::Decimal(static_cast<Int128>(123456789012345678LL) * 100000, 10),
                      Value::DateTime(45000 * kTicksPerDay + 299), Value::Float(0.1)});
    t.rows.push_back({Value::Int(2), Value::Null(), Value::Decimal(-5, 10), Value::Null(), Value::Null()});
    t.identity_next = 3;
    return t;
  }

  std::string path_;
};

TEST_F(SqliteStoreTest, TablesRoundTripExactly) {
  const StoredTable original = ItemTable();
  {
    auto store = SqliteStore::Open(path_);
    store->Save({TableChange::Of(original)}, {}, {}, {});
  }
  auto store = SqliteStore::Open(path_);
  const std::vector<StoredTable> tables = store->LoadTables();
  ASSERT_EQ(tables.size(), 1u);
  const StoredTable& t = tables[0];
  EXPECT_EQ(t.name, "t_ICItem");
  EXPECT_EQ(t.identity_next, 3);
  ASSERT_EQ(t.columns.size(), 5u);
  EXPECT_EQ(t.columns[2].type, SqlType::Decimal(23, 10));
  EXPECT_FALSE(t.columns[2].nullable);
  EXPECT_EQ(t.columns[2].default_sql, "(0)");
  EXPECT_TRUE(t.columns[0].identity);
  EXPECT_EQ(t.columns[1].type, SqlType::VarChar(255));
  ASSERT_EQ(t.rows.size(), 2u);
  EXPECT_EQ(t.rows[0][1].string_value(), original.rows[0][1].string_value());
  EXPECT_TRUE(t.rows[0][2].decimal_unscaled() == original.rows[0][2].decimal_unscaled());
  EXPECT_EQ(t.rows[0][2].decimal_scale(), 10);
  EXPECT_EQ(t.rows[0][3].datetime_ticks(), original.rows[0][3].datetime_ticks());
  EXPECT_DOUBLE_EQ(t.rows[0][4].float_value(), 0.1);
  EXPECT_TRUE(t.rows[1][1].is_null());
  EXPECT_TRUE(t.rows[1][2].decimal_unscaled() == -5);
}

TEST_F(SqliteStoreTest, AppendAddsOnlyNewRowsAndRewriteReplaces) {
  StoredTable t = ItemTable();
  auto store = SqliteStore::Open(path_);
  store->Save({TableChange::Of(t)}, {}, {}, {});
  t.rows.push_back({Value::Int(3), Value::String("x"), Value::Decimal(1, 10), Value::Null(), Value::Null()});
  store->Save({TableChange::Of(t, false, 2)}, {}, {}, {});
  EXPECT_EQ(store->LoadTables()[0].rows.size(), 3u);
  t.rows.erase(t.rows.begin());
  store->Save({TableChange::Of(t)}, {}, {}, {});
  const auto tables = store->LoadTables();
  ASSERT_EQ(tables[0].rows.size(), 2u);
  EXPECT_EQ(tables[0].rows[0][0].int_value(), 2);
}

TEST_F(SqliteStoreTest, DropsAndViewsPersist) {
  StoredTable t = ItemTable();
  auto store = SqliteStore::Open(path_);
  store->Save({TableChange::Of(t)}, {}, {{"v_Items", "CREATE VIEW v_Items AS SELECT FItemID FROM t_ICItem"}}, {});
  EXPECT_EQ(store->LoadViews().size(), 1u);
  store->Save({}, {"t_ICItem"}, {}, {"V_ITEMS"});
  EXPECT_TRUE(store->LoadTables().empty());
  EXPECT_TRUE(store->LoadViews().empty());
}

TEST_F(SqliteStoreTest, UnusableFilesGiveErrorsNamingTheFile) {
  const std::string missing_dir = ::testing::TempDir() + "no_such_dir_orv/x.orvdb";
  try {
    SqliteStore::Open(missing_dir);
    FAIL() << "expected an error";
  } catch (const SqlException& e) {
    EXPECT_NE(std::string(e.what()).find(missing_dir), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("does not exist"), std::string::npos) << e.what();
  }
  { std::ofstream(path_) << "this is a text file, not a database, padded to look like one.........."; }
  try {
    SqliteStore::Open(path_);
    FAIL() << "expected an error";
  } catch (const SqlException& e) {
    EXPECT_NE(std::string(e.what()).find(path_), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("not a data source file"), std::string::npos) << e.what();
  }
}

TEST(TypeText, ParsesDeclaredTypes) {
  EXPECT_EQ(ParseTypeText("decimal(23,10)"), SqlType::Decimal(23, 10));
  EXPECT_EQ(ParseTypeText("varchar(max)"), SqlType::VarChar(SqlType::kMaxLength));
  EXPECT_EQ(ParseTypeText("smallint"), SqlType::SmallInt());
  EXPECT_EQ(ParseTypeText("nvarchar(50)"), SqlType::NVarChar(50));
  EXPECT_FALSE(ParseTypeText("geometry").has_value());
}

}  // namespace
}  // namespace orv::tsql
