// Column snapshots: a large table comes back from its snapshot value for value as SQLite gives
// it, and only while the data-source file is in the state the snapshot was made of; anything
// else (a commit through the store, another program's change, a damaged or foreign file) sends
// the load back to SQLite.
#include "tsql/storage/column_snapshot.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace orv::tsql {
namespace {

using Mode = SqliteStore::Mode;

// Enough rows for a snapshot, and for rows to be made on several threads.
constexpr int kRows = 70000;

// Same kind, same payload (NaN-free: the table holds none).
bool Identical(const Value& a, const Value& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Value::Kind::Null:
      return true;
    case Value::Kind::Int:
      return a.int_value() == b.int_value();
    case Value::Kind::Decimal:
      return a.decimal_unscaled() == b.decimal_unscaled() && a.decimal_scale() == b.decimal_scale();
    case Value::Kind::Float:
      return a.float_value() == b.float_value();
    case Value::Kind::String:
      return a.string_value() == b.string_value();
    case Value::Kind::DateTime:
      return a.datetime_ticks() == b.datetime_ticks();
    case Value::Kind::DateTime2:
      return a.datetime2_units() == b.datetime2_units();
  }
  return false;
}

void ExpectSameRows(const StoredTable& got, const StoredTable& want) {
  ASSERT_EQ(got.rows.size(), want.rows.size());
  EXPECT_EQ(got.row_ids, want.row_ids);
  for (size_t i = 0; i < want.rows.size(); ++i) {
    ASSERT_EQ(got.rows[i].size(), want.rows[i].size());
    for (size_t c = 0; c < want.rows[i].size(); ++c) {
      ASSERT_TRUE(Identical(got.rows[i][c], want.rows[i][c])) << "row " << i << ", column " << c;
    }
  }
}

class ColumnSnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "snap_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".orvdb";
    Remove();
  }
  void TearDown() override { Remove(); }
  void Remove() {
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path_ + suffix).c_str());
    std::filesystem::remove_all(path_ + ".columns");
  }

  // Every layout a column can have: integers near and far apart, with NULLs; datetimes;
  // datetime2; decimals that fit 64 bits and 38-digit ones; floats; short, long, empty and
  // non-ASCII strings; a column that is all NULL. Rowids have gaps.
  static StoredTable Wide() {
    StoredTable t;
    t.name = "ICStockBillEntry";
    t.columns = {{"FSmall", SqlType::TinyInt(), false, "", false, 1, 1, "", ""},
                 {"FBig", SqlType::BigInt(), true, "", false, 1, 1, "", ""},
                 {"FDate", SqlType::DateTime(), true, "", false, 1, 1, "", ""},
                 {"FWhen", SqlType::DateTime2(7), true, "", false, 1, 1, "", ""},
                 {"FQty", SqlType::Decimal(23, 10), true, "", false, 1, 1, "", ""},
                 {"FHuge", SqlType::Decimal(38, 2), true, "", false, 1, 1, "", ""},
                 {"FRate", SqlType::Float(), true, "", false, 1, 1, "", ""},
                 {"FName", SqlType::NVarChar(100), true, "", false, 1, 1, "", ""},
                 {"FNothing", SqlType::Int(), true, "", false, 1, 1, "", ""}};
    const Int128 huge = static_cast<Int128>(999999999999999999LL) * 1000000000000000000LL;
    for (int i = 0; i < kRows; ++i) {
      std::vector<Value> row;
      row.push_back(Value::Int(i % 256));
      row.push_back(
          i % 7 == 0 ? Value::Null()
                     : Value::Int(i % 2 ? -9000000000000000000LL + i : 9000000000000000000LL - i));
      row.push_back(i % 5 == 0 ? Value::Null() : Value::DateTime(45000 * kTicksPerDay + i * 301LL));
      row.push_back(Value::DateTime2(638000000000000000LL + i));
      row.push_back(Value::Decimal(static_cast<Int128>(i) * 1234567 - 5000000000LL, 10));
      row.push_back(i % 3 == 0 ? Value::Null() : Value::Decimal(i % 2 ? huge + i : -huge - i, 2));
      row.push_back(Value::Float(i / 3.0));
      row.push_back(i % 11 == 0  ? Value::Null()
                    : i % 4 == 0 ? Value::String("")
                    : i % 4 == 1 ? Value::String("电机外壳 " + std::to_string(i))
                                 : Value::String("a name longer than the inline size, row " +
                                                 std::to_string(i)));
      row.push_back(Value::Null());
      t.rows.push_back(std::move(row));
      t.row_ids.push_back(10 + 3LL * i);
    }
    return t;
  }

  void Write(SqliteStore& store, const StoredTable& t) {
    ASSERT_TRUE(store.TryBeginWrite());
    store.CreateTable(t.name, t.columns);
    Insert(store, t);
  }
  void Insert(SqliteStore& store, const StoredTable& t) {
    ASSERT_TRUE(store.TryBeginWrite());
    std::vector<StoredRow> rows;
    for (size_t i = 0; i < t.rows.size(); ++i) rows.emplace_back(t.row_ids[i], &t.rows[i]);
    std::vector<SqlType> types;
    for (const StoredColumn& c : t.columns) types.push_back(c.type);
    store.InsertRows(t.name, types, rows);
    store.SetTableInfo(t.name, 1, store.WriteVersion());
    store.Commit();
  }

  std::string path_;
};

TEST_F(ColumnSnapshotTest, ATableComesBackFromItsSnapshotExactly) {
  const StoredTable original = Wide();
  Write(*SqliteStore::Open(path_, Mode::kCreate), original);
  auto store = SqliteStore::Open(path_, Mode::kExisting);
  const ColumnSnapshots snapshots(path_);
  const std::string file = snapshots.FileFor("ICStockBillEntry");
  EXPECT_EQ(file, path_ + ".columns/icstockbillentry.cols");

  const std::optional<StoredTable> from_sqlite = store->LoadTable("icstockbillentry");
  ASSERT_TRUE(from_sqlite);
  ExpectSameRows(*from_sqlite, original);
  ASSERT_TRUE(std::filesystem::exists(file)) << "a large table read from SQLite gets a snapshot";

  StoredTable from_snapshot;
  from_snapshot.name = from_sqlite->name;
  from_snapshot.columns = from_sqlite->columns;
  SnapshotKey key{*store->Stamp(), from_sqlite->version, 10, 10 + 3LL * (kRows - 1)};
  ASSERT_TRUE(snapshots.Read(key, from_snapshot));
  ExpectSameRows(from_snapshot, original);

  // Rows on demand: none made until asked for, each made once, the same values.
  StoredTable on_demand;
  on_demand.name = from_sqlite->name;
  on_demand.columns = from_sqlite->columns;
  ASSERT_TRUE(snapshots.Read(key, on_demand, /*rows_on_demand=*/true));
  ASSERT_TRUE(on_demand.snapshot);
  EXPECT_TRUE(on_demand.rows.empty());
  EXPECT_EQ(on_demand.row_ids, original.row_ids);
  std::vector<std::vector<Value>> rows(kRows);
  std::vector<uint8_t> made(kRows, 0);
  std::vector<uint32_t> odd;
  for (uint32_t i = 1; i < kRows; i += 2) odd.push_back(i);
  on_demand.snapshot->MakeRows(&odd, rows, made);
  EXPECT_TRUE(rows[0].empty());
  EXPECT_EQ(rows[1].size(), original.columns.size());
  rows[1][0] = Value::Int(-1);  // made already: left as it is
  on_demand.snapshot->MakeRows(nullptr, rows, made);
  EXPECT_EQ(rows[1][0].int_value(), -1);
  rows[1][0] = original.rows[1][0];
  on_demand.rows = std::move(rows);
  ExpectSameRows(on_demand, original);
  // Integer and datetime columns as arrays; a column of another kind is not one.
  for (const auto& [column, ticks] : std::vector<std::pair<size_t, bool>>{{0, false}, {1, false}, {2, true}, {8, false}}) {
    std::vector<int64_t> values;
    std::vector<uint8_t> nulls;
    ASSERT_TRUE(on_demand.snapshot->IntegerColumn(column, ticks, values, nulls)) << column;
    ASSERT_EQ(values.size(), original.rows.size());
    for (size_t i = 0; i < values.size(); ++i) {
      const Value& v = original.rows[i][column];
      ASSERT_EQ(nulls[i] != 0, v.is_null()) << column << ", row " << i;
      if (!v.is_null()) {
        ASSERT_EQ(values[i], ticks ? v.datetime_ticks() : v.int_value()) << column << ", row " << i;
      }
    }
  }
  std::vector<int64_t> values;
  std::vector<uint8_t> nulls;
  EXPECT_FALSE(on_demand.snapshot->IntegerColumn(4, false, values, nulls));
  EXPECT_FALSE(on_demand.snapshot->IntegerColumn(2, false, values, nulls));

  // Another state, other columns: not this snapshot.
  using Change = std::function<void(SnapshotKey&, StoredTable&)>;
  for (const Change& change : std::vector<Change>{
           [](SnapshotKey& k, StoredTable&) { ++k.version; },
           [](SnapshotKey& k, StoredTable&) { --k.high_rowid; },
           [](SnapshotKey& k, StoredTable&) { ++k.stamp.log_changed_ns; },
           [](SnapshotKey& k, StoredTable&) { ++k.stamp.log_salts; },
           [](SnapshotKey& k, StoredTable&) { ++k.stamp.change_counter; },
           [](SnapshotKey&, StoredTable& t) { t.columns[4].type = SqlType::Decimal(23, 9); },
           [](SnapshotKey&, StoredTable& t) { t.columns[7].nullable = false; }}) {
    SnapshotKey other = key;
    StoredTable t;
    t.name = from_sqlite->name;
    t.columns = from_sqlite->columns;
    change(other, t);
    EXPECT_FALSE(snapshots.Read(other, t));
    EXPECT_TRUE(t.rows.empty());
  }
}

// The store takes a snapshot of the state it reads as it is: a snapshot made of other rows for
// the current state is what the next load returns, so the loads below that see SQLite's rows
// did pass it over.
TEST_F(ColumnSnapshotTest, LoadsUseASnapshotOnlyOfTheFileAsItIs) {
  StoredTable original = Wide();
  Write(*SqliteStore::Open(path_, Mode::kCreate), original);
  const ColumnSnapshots snapshots(path_);
  auto store = SqliteStore::Open(path_, Mode::kExisting);
  std::optional<StoredTable> loaded = store->LoadTable("ICStockBillEntry");
  ASSERT_TRUE(loaded);

  StoredTable doctored = *loaded;
  doctored.rows[5][1] = Value::Int(42);
  const SnapshotKey key{*store->Stamp(), loaded->version, 10, 10 + 3LL * (kRows - 1)};
  snapshots.Write(key, doctored);
  ExpectSameRows(*store->LoadTable("ICStockBillEntry"), doctored);

  // A commit through a store: the doctored snapshot goes unused.
  StoredTable more = original;
  more.rows.resize(1);
  more.row_ids = {10 + 3LL * kRows};
  Insert(*SqliteStore::Open(path_, Mode::kExisting), more);
  original.rows.push_back(more.rows[0]);
  original.row_ids.push_back(more.row_ids[0]);
  ExpectSameRows(*store->LoadTable("ICStockBillEntry"), original);

  // Another program's change, which no table version shows.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "UPDATE ICStockBillEntry SET FSmall = 7 WHERE rowid = 10", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  original.rows[0][0] = Value::Int(7);
  ExpectSameRows(*store->LoadTable("ICStockBillEntry"), original);
  ExpectSameRows(*store->LoadTable("ICStockBillEntry"), original);  // now from its new snapshot
}

// A snapshot file that was cut short, overwritten or is not one at all is passed over.
TEST_F(ColumnSnapshotTest, DamagedSnapshotsArePassedOver) {
  const StoredTable original = Wide();
  Write(*SqliteStore::Open(path_, Mode::kCreate), original);
  auto store = SqliteStore::Open(path_, Mode::kExisting);
  ASSERT_TRUE(store->LoadTable("ICStockBillEntry"));
  const std::string file = ColumnSnapshots(path_).FileFor("ICStockBillEntry");
  const auto size = std::filesystem::file_size(file);
  std::string whole;
  {
    std::ifstream in(file, std::ios::binary);
    whole.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  auto damaged = [&](const std::function<void(std::string&)>& damage) {
    std::string bytes = whole;
    damage(bytes);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  };
  const std::vector<std::function<void(std::string&)>> damages = {
      [](std::string& b) { b.resize(b.size() - 1); },
      [](std::string& b) { b.push_back('x'); },
      [&](std::string& b) {
        std::fill(b.begin() + static_cast<std::ptrdiff_t>(size / 3), b.end(), '\xff');
      },
      [](std::string& b) { b = "not a snapshot"; },
  };
  for (size_t i = 0; i < damages.size(); ++i) {
    damaged(damages[i]);
    const std::optional<StoredTable> t = store->LoadTable("ICStockBillEntry");
    ASSERT_TRUE(t) << "damage " << i;
    ExpectSameRows(*t, original);
  }
}

// The snapshots hold the file's data: they are no more readable than the file.
TEST_F(ColumnSnapshotTest, SnapshotsTakeTheFilesPermissions) {
  Write(*SqliteStore::Open(path_, Mode::kCreate), Wide());
  ASSERT_EQ(::chmod(path_.c_str(), 0600), 0);
  ASSERT_TRUE(SqliteStore::Open(path_, Mode::kExisting)->LoadTable("ICStockBillEntry"));
  struct stat folder, file;
  ASSERT_EQ(::stat((path_ + ".columns").c_str(), &folder), 0);
  ASSERT_EQ(::stat(ColumnSnapshots(path_).FileFor("ICStockBillEntry").c_str(), &file), 0);
  EXPECT_EQ(folder.st_mode & 0777, 0700u);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
}

TEST_F(ColumnSnapshotTest, SnapshotsCanBeTurnedOff) {
  Write(*SqliteStore::Open(path_, Mode::kCreate), Wide());
  ::setenv("ORVDATA_COLUMN_SNAPSHOTS", "off", 1);
  auto store = SqliteStore::Open(path_, Mode::kExisting);
  ::unsetenv("ORVDATA_COLUMN_SNAPSHOTS");
  ASSERT_TRUE(store->LoadTable("ICStockBillEntry"));
  EXPECT_FALSE(std::filesystem::exists(path_ + ".columns"));
}

}  // namespace
}  // namespace orv::tsql
