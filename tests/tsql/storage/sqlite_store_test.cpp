// The SQLite data-source file: exact round trips, row-level writes by rowid, the write lock
// between connections, and the clear errors (file unchanged) for files and stored values that
// cannot be used.
#include "tsql/storage/sqlite_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

using Mode = SqliteStore::Mode;

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs SQL on the file behind the store's back, as another program would.
void RawSql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

class SqliteStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "store_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".orvdb";
    Remove();
  }
  void TearDown() override { Remove(); }
  void Remove() {
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path_ + suffix).c_str());
  }

  static StoredTable ItemTable() {
    StoredTable t;
    t.name = "t_ICItem";
    t.columns = {{"FItemID", SqlType::Int(), false, "", true, 1, 1, "", ""},
                 {"FName", SqlType::VarChar(255), true, "", false, 1, 1, "", ""},
                 {"FQty", SqlType::Decimal(23, 10), false, "(0)", false, 1, 1, "", ""},
                 {"FDate", SqlType::DateTime(), true, "", false, 1, 1, "", ""},
                 {"FRate", SqlType::Float(), true, "", false, 1, 1, "", ""}};
    t.rows.push_back({Value::Int(1), Value::String("电机外壳, a name longer than the inline size"),
                      Value::Decimal(static_cast<Int128>(123456789012345678LL) * 100000, 10),
                      Value::DateTime(45000 * kTicksPerDay + 299), Value::Float(0.1)});
    t.rows.push_back({Value::Int(2), Value::Null(), Value::Decimal(-5, 10), Value::Null(), Value::Null()});
    t.row_ids = {10, 11};
    t.identity_next = 3;
    return t;
  }

  // Writes a table in one transaction, as a commit does.
  static void WriteTable(SqliteStore& store, const StoredTable& t) {
    ASSERT_TRUE(store.TryBeginWrite());
    store.CreateTable(t.name, t.columns);
    std::vector<StoredRow> rows;
    for (size_t i = 0; i < t.rows.size(); ++i) rows.emplace_back(t.row_ids[i], &t.rows[i]);
    std::vector<SqlType> types;
    for (const StoredColumn& c : t.columns) types.push_back(c.type);
    store.InsertRows(t.name, types, rows);
    store.SetTableInfo(t.name, t.identity_next, store.WriteVersion());
    store.Commit();
  }

  std::string path_;
};

TEST_F(SqliteStoreTest, TablesRoundTripExactly) {
  const StoredTable original = ItemTable();
  WriteTable(*SqliteStore::Open(path_, Mode::kCreate), original);
  auto store = SqliteStore::Open(path_, Mode::kExisting);
  const std::vector<StoredTable> tables = store->LoadTables();
  ASSERT_EQ(tables.size(), 1u);
  const StoredTable& t = tables[0];
  EXPECT_EQ(t.name, "t_ICItem");
  EXPECT_EQ(t.identity_next, 3);
  EXPECT_GT(t.version, 0);
  EXPECT_EQ(t.row_ids, original.row_ids);
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

// Inserts, updates and deletes address rows by rowid; other rows are not touched, and a write
// that is rolled back leaves nothing.
TEST_F(SqliteStoreTest, RowsChangeByRowid) {
  const StoredTable t = ItemTable();
  auto store = SqliteStore::Open(path_, Mode::kCreate);
  WriteTable(*store, t);
  const std::vector<Value> added{Value::Int(3), Value::String("new"), Value::Decimal(7, 10), Value::Null(),
                                 Value::Float(2.5)};
  const std::vector<Value> changed{Value::Int(2), Value::String("changed"), Value::Decimal(9, 10), Value::Null(),
                                   Value::Null()};
  ASSERT_TRUE(store->TryBeginWrite());
  std::vector<SqlType> types;
  for (const StoredColumn& c : t.columns) types.push_back(c.type);
  store->InsertRows(t.name, types, {{12, &added}});
  store->UpdateRows(t.name, types, {{11, &changed}});
  store->DeleteRows(t.name, {10});
  store->Commit();
  ASSERT_TRUE(store->TryBeginWrite());
  store->DeleteAllRows(t.name);
  store->Rollback();
  const std::optional<StoredTable> back = store->LoadTable("T_ICITEM");
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->row_ids, (std::vector<int64_t>{11, 12}));
  EXPECT_EQ(back->rows[0][1].string_value(), "changed");
  EXPECT_EQ(back->rows[1][1].string_value(), "new");
}

// A table whose rowids span a wide range is read in two halves on two connections: the rows
// come back whole and in order, and a bad value in the second half is reported as any other.
TEST_F(SqliteStoreTest, WideTablesReadInTwoHalvesComeBackWhole) {
  StoredTable t = ItemTable();
  t.rows.push_back(t.rows[0]);
  t.rows.push_back(t.rows[1]);
  t.row_ids = {1, 2, 400000, 400001};
  WriteTable(*SqliteStore::Open(path_, Mode::kCreate), t);
  auto store = SqliteStore::Open(path_, Mode::kExisting);
  const std::optional<StoredTable> back = store->LoadTable("t_ICItem");
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->row_ids, t.row_ids);
  ASSERT_EQ(back->rows.size(), 4u);
  EXPECT_EQ(back->rows[2][1].string_value(), t.rows[0][1].string_value());
  EXPECT_TRUE(back->rows[3][2].decimal_unscaled() == -5);
  RawSql(path_, "UPDATE t_ICItem SET FDate = 'soon' WHERE rowid = 400001");
  try {
    SqliteStore::Open(path_, Mode::kExisting)->LoadTable("t_ICItem");
    ADD_FAILURE() << "expected an error";
  } catch (const SqlException& e) {
    EXPECT_EQ(e.number(), 241);
    EXPECT_NE(std::string(e.what()).find("column 'FDate', row 400001"), std::string::npos) << e.what();
  }
}

TEST_F(SqliteStoreTest, DropsAndViewsPersist) {
  auto store = SqliteStore::Open(path_, Mode::kCreate);
  WriteTable(*store, ItemTable());
  ASSERT_TRUE(store->TryBeginWrite());
  store->PutView({"v_Items", "CREATE VIEW v_Items AS SELECT FItemID FROM t_ICItem"});
  store->Commit();
  EXPECT_EQ(store->LoadViews().size(), 1u);
  ASSERT_TRUE(store->TryBeginWrite());
  store->DropTable("t_ICItem");
  store->DeleteView("V_ITEMS");
  store->Commit();
  EXPECT_TRUE(store->LoadTables().empty());
  EXPECT_TRUE(store->LoadViews().empty());
}

// One connection writes at a time; another sees the commit through its data version and the
// table's version.
TEST_F(SqliteStoreTest, OneWriterAtATimeAndCommitsAreSeen) {
  auto first = SqliteStore::Open(path_, Mode::kCreate);
  WriteTable(*first, ItemTable());
  auto second = SqliteStore::Open(path_, Mode::kExisting);
  const int64_t seen = second->DataVersion();
  const int64_t version = second->TableVersions().at(0).version;
  ASSERT_TRUE(first->TryBeginWrite());
  EXPECT_FALSE(second->TryBeginWrite());
  first->DeleteRows("t_ICItem", {10});
  first->SetTableInfo("t_ICItem", 3, first->WriteVersion());
  first->Commit();
  EXPECT_NE(second->DataVersion(), seen);
  EXPECT_GT(second->TableVersions().at(0).version, version);
  EXPECT_TRUE(second->TryBeginWrite());
  second->Rollback();
}

// Each file that is not a usable data source gives an error naming it and why, and is left
// exactly as it was.
TEST_F(SqliteStoreTest, UnusableFilesGiveErrorsNamingTheFileAndStayUnchanged) {
  const std::string foreign = path_ + ".foreign";
  const std::string bare = path_ + ".bare";
  RawSql(foreign, "CREATE TABLE customers(id INTEGER)");
  RawSql(bare, "PRAGMA user_version = 1");
  const struct {
    std::string path;
    std::string content;  // written first unless empty; "-" leaves the file as it is
    const char* why;
  } cases[] = {
      {::testing::TempDir() + "no_such_dir_orv/x.orvdb", "-", "does not exist"},
      {path_, "-", "does not exist"},
      {path_ + ".empty", "", "empty (0 bytes)"},
      {path_ + ".txt", "this is a text file, not a database, padded to look like one..........",
       "not a data source file"},
      {foreign, "-", "not a data source file of this program"},
      {bare, "-", "empty SQLite file"},
  };
  for (const auto& c : cases) {
    if (c.content != "-") std::ofstream(c.path, std::ios::binary) << c.content;
    const std::string before = FileBytes(c.path);
    // A file that exists is refused even where a missing one would be made.
    for (const Mode mode : {Mode::kExisting, Mode::kCreate}) {
      if (mode == Mode::kCreate && !std::filesystem::exists(c.path)) continue;
      try {
        SqliteStore::Open(c.path, mode);
        ADD_FAILURE() << c.path << ": expected an error";
      } catch (const SqlException& e) {
        EXPECT_EQ(e.number(), 5120);
        EXPECT_NE(std::string(e.what()).find("'" + c.path + "'"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(c.why), std::string::npos) << e.what();
      }
      EXPECT_EQ(FileBytes(c.path), before) << c.path;
    }
    if (c.path != path_) std::remove(c.path.c_str());
  }
  EXPECT_FALSE(std::filesystem::exists(path_));
}

// A column type outside SQL Server's limits makes the file unusable, named with its table and
// column.
TEST_F(SqliteStoreTest, InvalidCatalogTypesAreRefusedOnOpen) {
  WriteTable(*SqliteStore::Open(path_, Mode::kCreate), ItemTable());
  for (const char* type : {"decimal(99,99)", "decimal(10,12)", "varchar(9000)", "nchar(max)",
                           "decimal(99999999999999999999,1)", "int(4)", "geometry"}) {
    RawSql(path_, std::string("UPDATE orv_columns SET type = '") + type + "' WHERE name = 'FQty'");
    try {
      SqliteStore::Open(path_, Mode::kExisting);
      ADD_FAILURE() << type << ": expected an error";
    } catch (const SqlException& e) {
      const std::string m = e.what();
      EXPECT_NE(m.find(path_), std::string::npos) << m;
      EXPECT_NE(m.find("table 't_ICItem', column 'FQty' has the type '" + std::string(type) + "'"),
                std::string::npos)
          << m;
    }
  }
}

// Every column type is stored as its text and read back as the same type (names with digits,
// such as datetime2, included).
TEST(StoredTypeText, EveryTypeReadsBackAsItself) {
  SqlType collated = SqlType::VarChar(20);
  collated.collation = Collation::kBin2;
  for (const SqlType& type :
       {SqlType::Bit(), SqlType::TinyInt(), SqlType::SmallInt(), SqlType::Int(), SqlType::BigInt(), SqlType::Money(),
        SqlType::Float(), SqlType::Real(), SqlType::DateTime(), SqlType::SmallDateTime(), SqlType::Date(),
        SqlType::Time(3), SqlType::DateTime2(7), SqlType::DateTime2(0), SqlType::DateTimeOffset(5),
        SqlType::Binary(16), SqlType::VarBinary(SqlType::kMaxLength), SqlType::UniqueIdentifier(),
        SqlType::Decimal(23, 10), SqlType::Decimal(38, 0), SqlType::VarChar(SqlType::kMaxLength), SqlType::Char(3),
        SqlType::NVarChar(4000), SqlType::NChar(1), collated}) {
    const std::optional<SqlType> back = ParseTypeText(type.ToString());
    ASSERT_TRUE(back) << type.ToString();
    EXPECT_EQ(*back, type) << type.ToString();
    EXPECT_EQ(back->collation, type.collation) << type.ToString();
  }
}

// A stored value that does not fit its column's type is an error naming file, table, column
// and row, with the number of the conversion that fails, never a silent other value.
TEST_F(SqliteStoreTest, StoredValuesThatDoNotFitTheirColumnAreErrors) {
  const struct {
    const char* column;
    const char* value;  // SQL literal stored behind the engine's back
    int number;
  } cases[] = {
      {"FQty", "'12,5'", 8114},          {"FQty", "'1.00000000001'", 8115},
      {"FQty", "1.5e0", 8114},           {"FDate", "'2024-01-05'", 241},
      {"FDate", "-999999999999999", 242}, {"FItemID", "1e300", 8115},
      {"FItemID", "3000000000", 8115},   {"FItemID", "'abc'", 245},
      {"FItemID", "2.5", 8114},          {"FItemID", "NULL", 515},
      {"FName", "replace(hex(zeroblob(300)), '00', 'x')", 8152},
      {"FRate", "'fast'", 8114},         {"FRate", "x'00'", 8114},
  };
  for (const auto& c : cases) {
    Remove();
    WriteTable(*SqliteStore::Open(path_, Mode::kCreate), ItemTable());
    RawSql(path_, std::string("UPDATE t_ICItem SET ") + c.column + " = " + c.value + " WHERE rowid = 11");
    auto store = SqliteStore::Open(path_, Mode::kExisting);
    try {
      store->LoadTable("t_ICItem");
      ADD_FAILURE() << c.column << " = " << c.value << ": expected an error";
    } catch (const SqlException& e) {
      const std::string m = e.what();
      EXPECT_EQ(e.number(), c.number) << c.column << " = " << c.value << ": " << m;
      EXPECT_NE(m.find(path_), std::string::npos) << m;
      EXPECT_NE(m.find("table 't_ICItem', column '" + std::string(c.column) + "', row 11"), std::string::npos) << m;
    }
  }
}

TEST(TypeText, ParsesDeclaredTypesWithinLimits) {
  EXPECT_EQ(ParseTypeText("decimal(23,10)"), SqlType::Decimal(23, 10));
  EXPECT_EQ(ParseTypeText("numeric"), SqlType::Decimal(18, 0));
  EXPECT_EQ(ParseTypeText("decimal(38,38)"), SqlType::Decimal(38, 38));
  EXPECT_EQ(ParseTypeText("varchar(max)"), SqlType::VarChar(SqlType::kMaxLength));
  EXPECT_EQ(ParseTypeText("varchar(8000)"), SqlType::VarChar(8000));
  EXPECT_EQ(ParseTypeText("smallint"), SqlType::SmallInt());
  EXPECT_EQ(ParseTypeText("nvarchar(4000)"), SqlType::NVarChar(4000));
  for (const char* bad : {"geometry", "decimal(0,0)", "decimal(39)", "numeric(5,6)", "varchar(0)",
                          "nvarchar(4001)", "char(max)", "int(1)", "varchar(10", "decimal(10,2)x",
                          "varchar(4294967297)"}) {
    EXPECT_FALSE(ParseTypeText(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace orv::tsql
