// The engine's public face and the storage hooks: batches and their results, sessions sharing a
// database, what commits hand to the data-source file, the table loader, the clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <chrono>
#include <thread>

#include "tsql/catalog/catalog.h"
#include "tsql/catalog/change_log.h"
#include "tsql/catalog/session_state.h"
#include "tsql/engine.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace {

using Kind = StatementResult::Kind;

TEST(EngineApi, SyntaxErrorReturnsOneErrorAndRunsNothing) {
  Session s(OpenDatabase(":memory:"));
  auto r = s.ExecuteBatch("create table t (a int)\nselect * from t where a = = 1");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, Kind::Error);
  EXPECT_EQ(r[0].error.number, 102);
  EXPECT_EQ(s.database().FindTable("t"), nullptr);
}

TEST(EngineApi, ErrorsCarryTheStatementLine) {
  Session s(OpenDatabase(":memory:"));
  // The batch does not compile: its first statement does not run either.
  auto r = s.ExecuteBatch("select 1\n\nselect nope");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].error.number, 207);
  EXPECT_EQ(r[0].error.line, 3);
  EXPECT_EQ(r[0].error.message, "Invalid column name 'nope'.");
}

TEST(EngineApi, RowsCarryColumnNamesTypesAndNullability) {
  Session s(OpenDatabase(":memory:"));
  auto r = s.ExecuteBatch("create table t (a int not null, b varchar(5))\n"
                          "insert into t values (1, 'x')\nselect a, b as bee, a + 1 from t");
  ASSERT_EQ(r.size(), 2u);
  const auto& rows = r[1];
  ASSERT_EQ(rows.kind, Kind::Rows);
  ASSERT_EQ(rows.columns.size(), 3u);
  EXPECT_EQ(rows.columns[0].name, "a");
  EXPECT_FALSE(rows.columns[0].nullable);
  EXPECT_EQ(rows.columns[1].name, "bee");
  EXPECT_EQ(rows.columns[1].type, SqlType::VarChar(5));
  EXPECT_TRUE(rows.columns[1].nullable);
  EXPECT_EQ(rows.columns[2].name, "");
  EXPECT_EQ(rows.rows[0][2].int_value(), 2);
}

TEST(EngineApi, PermanentTablesAreSharedTempTablesArePrivate) {
  auto db = OpenDatabase(":memory:");
  Session a(db), b(db);
  a.ExecuteBatch("create table shared_t (v int)\ninsert into shared_t values (7)\n"
                 "create table #mine (v int)");
  auto r = b.ExecuteBatch("select v from shared_t\nselect * from #mine");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].rows[0][0].int_value(), 7);
  EXPECT_EQ(r[1].error.number, 208);
  // Each session may have its own #mine.
  auto c = b.ExecuteBatch("create table #mine (w int)\nselect w from #mine");
  EXPECT_EQ(c.back().kind, Kind::Rows);
}

TEST(EngineApi, SamePathGivesSameDatabase) {
  const std::string path = ::testing::TempDir() + "orv_engine_api_same.db";
  std::remove(path.c_str());
  auto a = OpenDatabase(path, {.create = true});
  auto b = OpenDatabase(path);
  EXPECT_EQ(a.get(), b.get());
  EXPECT_NE(OpenDatabase(":memory:").get(), OpenDatabase(":memory:").get());
}

// A data-source file in memory: one stored table "Stored" (v int: 42) that takes a while to
// read, so that the batch's helper thread and the statements ask for it at the same time; it
// counts its reads and notes the permanent tables each commit writes.
struct FakeFile : DataFile {
  std::shared_ptr<std::atomic<int>> loads = std::make_shared<std::atomic<int>>(0);
  std::shared_ptr<std::vector<std::vector<std::string>>> commits =
      std::make_shared<std::vector<std::vector<std::string>>>();

  std::shared_ptr<Table> LoadTable(std::string_view name) override {
    if (!NamesEqual(name, "stored")) return nullptr;
    ++*loads;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto t = std::make_shared<Table>();
    t->name = "Stored";
    t->columns.push_back(ColumnDef{"v", SqlType::Int(), true, {}, "", false, 1, 1, {}, "", ""});
    t->mutable_rows().push_back({Value::Int(42)});
    t->NumberRows();
    t->checked_at = 0;
    return t;
  }
  // Nobody else writes this file: every table in memory is current.
  int64_t Refresh(Database& db, bool) override {
    db.ForEachTable([](const std::shared_ptr<Table>& t) { t->checked_at = 0; });
    return 0;
  }
  bool TryBeginWrite(Database&) override { return true; }
  std::vector<std::string> StoredTableNames() override { return {"Stored"}; }
  std::optional<Definition> StoredDefinition(std::string_view name) override {
    if (!NamesEqual(name, "stored")) return std::nullopt;
    return Definition{"Stored", {ColumnDef{"v", SqlType::Int(), true, {}, "", false, 1, 1, {}, "", ""}}, {}, {}};
  }
  void Commit(Database&, const ChangeLog& log) override {
    std::vector<std::string> names;
    for (const ChangeLog::Record& r : log.records()) {
      if (r.table && !r.table->temporary) names.push_back(r.table->name);
    }
    names.erase(std::unique(names.begin(), names.end()), names.end());
    commits->push_back(names);
  }
  void AbortWrite() override {}
};

// A database in memory behind a FakeFile, with the file's counters.
struct FakeSource {
  std::shared_ptr<Database> db = OpenDatabase(":memory:");
  std::shared_ptr<std::atomic<int>> loads;
  std::shared_ptr<std::vector<std::vector<std::string>>> commits;
  FakeSource() {
    auto file = std::make_unique<FakeFile>();
    loads = file->loads;
    commits = file->commits;
    db->AttachFile(std::move(file));
  }
};

TEST(EngineApi, CommitsWriteChangedPermanentTablesOnly) {
  FakeSource source;
  auto commits = source.commits;
  Session s(source.db);
  s.ExecuteBatch("create table p (v int)\ncreate table #t (v int)\ninsert into #t values (1)");
  EXPECT_EQ(*commits, std::vector<std::vector<std::string>>{{"p"}});
  commits->clear();
  s.ExecuteBatch("insert into #t values (2)\nselect * from p\nupdate p set v = 1");  // no row changed
  EXPECT_TRUE(commits->empty());
  s.ExecuteBatch("begin tran\ninsert into p values (3)\ninsert into p values (4)");
  EXPECT_TRUE(commits->empty());
  s.ExecuteBatch("commit");
  EXPECT_EQ(*commits, std::vector<std::vector<std::string>>{{"p"}});
}

TEST(EngineApi, TableLoaderSuppliesEachTableOnceHoweverManyAskForIt) {
  FakeSource source;
  auto db = source.db;
  auto loads = source.loads;
  Session s(db);
  auto r = s.ExecuteBatch("select v from STORED\nselect v from stored");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[1].rows[0][0].int_value(), 42);
  EXPECT_EQ(*loads, 1);
  // Another session of the same database finds it in memory.
  Session other(db);
  EXPECT_EQ(other.ExecuteBatch("select v from stored")[0].rows[0][0].int_value(), 42);
  EXPECT_EQ(*loads, 1);
}

// The catalog views, OBJECT_ID and the catalog procedures describe a stored table without
// reading its rows, and it keeps its object id once they are read.
TEST(EngineApi, DescribingAStoredTableDoesNotLoadIt) {
  FakeSource source;
  auto db = source.db;
  auto loads = source.loads;
  Session s(db);
  auto r = s.ExecuteBatch(
      "select object_id('stored'), (select count(*) from sys.columns), (select count(*) from "
      "INFORMATION_SCHEMA.TABLES), col_length('stored', 'v'), columnproperty(object_id('stored'), "
      "'v', 'AllowsNull'), objectproperty(object_id('stored'), 'IsUserTable'), ident_seed('stored')"
      "\nexec sp_columns 'stored'\nexec sp_help 'stored'");
  ASSERT_GE(r.size(), 3u);
  ASSERT_EQ(r[0].kind, StatementResult::Kind::Rows);
  const std::vector<Value>& row = r[0].rows[0];
  const int64_t id = row[0].int_value();
  EXPECT_EQ(row[1].int_value(), 1);
  EXPECT_EQ(row[2].int_value(), 1);
  EXPECT_EQ(row[3].int_value(), 4);
  EXPECT_EQ(row[4].int_value(), 1);
  EXPECT_EQ(row[5].int_value(), 1);
  EXPECT_TRUE(row[6].is_null());  // no identity column
  EXPECT_EQ(*loads, 0);
  r = s.ExecuteBatch("select v, object_id('stored') from stored");
  EXPECT_EQ(*loads, 1);
  EXPECT_EQ(r[0].rows[0][1].int_value(), id);
}

TEST(EngineApi, ADroppedStoredTableIsNotLoadedAgainBeforeTheCommit) {
  Session s(FakeSource().db);
  auto r = s.ExecuteBatch("begin tran\ndrop table stored\nselect v from stored");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, Kind::Error);
  EXPECT_EQ(r[0].error.number, 208);
  // Rolled back, the drop never happened.
  r = s.ExecuteBatch("rollback\nselect v from stored");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].rows[0][0].int_value(), 42);
}

TEST(EngineApi, DefaultTextIsKeptForStorage) {
  Session s(OpenDatabase(":memory:"));
  s.ExecuteBatch("create table d (a decimal(23,10) Not Null Default(0), b int default 5, "
                 "c varchar(9) default 'x,y' not null, e datetime)");
  auto t = s.database().FindTable("d");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->columns[0].default_sql, "0");
  EXPECT_EQ(t->columns[1].default_sql, "5");
  EXPECT_EQ(t->columns[2].default_sql, "'x,y'");
  EXPECT_EQ(t->columns[3].default_sql, "");
  auto parsed = ParseDefaultExpr(t->columns[2].default_sql);
  ASSERT_NE(parsed, nullptr);
  EXPECT_EQ(parsed->text, "x,y");
}

TEST(EngineApi, ClockPrecedence) {
  auto db = OpenDatabase(":memory:");
  Session s(db);
  int64_t fixed = MakeDateTime(2024, 1, 5, 10, 0, 0);
  db->SetDemoClock(MakeDateTime(2023, 6, 1));
  auto r = s.ExecuteBatch("select getdate()");
  EXPECT_EQ(r[0].rows[0][0].datetime_ticks(), MakeDateTime(2023, 6, 1));
  s.SetClock(fixed);
  r = s.ExecuteBatch("select current_timestamp");
  EXPECT_EQ(r[0].rows[0][0].datetime_ticks(), fixed);
}

// The engine's limit holds for every session, whatever it set for itself.
TEST(EngineApi, EngineMemoryLimitEndsAStatementAndTheSessionGoesOn) {
  Session s(OpenDatabase(":memory:"));
  s.ExecuteBatch("create table d (d int)\ninsert into d values (0), (1), (2), (3), (4), (5), (6), (7), (8), (9)");
  const int64_t engine = EngineMemoryLimit();
  SetEngineMemoryLimit(64 << 20);
  std::vector<StatementResult> r = s.ExecuteBatch(
      "select count(*) from d a, d b, d c, d e, d f, d g, d h, d i\nselect count(*) from d");
  SetEngineMemoryLimit(engine);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].error.number, 701);
  EXPECT_EQ(r[0].error.severity, 17);
  EXPECT_EQ(r[1].rows[0][0].int_value(), 10);
}

TEST(EngineApi, FailedStatementChangesNothing) {
  Session s(OpenDatabase(":memory:"));
  s.ExecuteBatch("create table t (a int, b varchar(3) not null)\ninsert into t values (1, 'x'), (2, 'y')");
  auto r = s.ExecuteBatch("update t set b = case when a = 2 then 'long!' else 'z' end\n"
                          "insert into t values (3, 'ok'), (4, null)\nselect a, b from t");
  ASSERT_EQ(r.back().kind, Kind::Rows);
  ASSERT_EQ(r.back().rows.size(), 2u);
  EXPECT_EQ(r.back().rows[0][1].string_value(), "x");
  EXPECT_EQ(r[0].error.number, 8152);
}

// A shared row set outlives later batches that change, empty and drop its table, and a
// session that does not share gets the same rows as its own.
TEST(EngineApi, SharedRowsStayAsSelectedAcrossLaterBatches) {
  auto texts = [](const StatementResult& r) {
    std::vector<std::string> out;
    for (size_t i = 0; i < r.row_count(); ++i) {
      std::string line;
      for (size_t c = 0; c < r.columns.size(); ++c) {
        const Value& v = r.at(i, c);
        line += (c ? "|" : "") + (v.is_null() ? std::string("NULL") : ToText(v, r.columns[c].type));
      }
      out.push_back(line);
    }
    return out;
  };
  const std::vector<std::string> expected = {"3|c", "2|NULL", "1|a"};
  const char* setup = "create table t (a int, b varchar(30))\n"
                      "insert into t values (1, 'a'), (2, NULL), (3, 'c')";
  const char* select = "select a, b from t order by a desc";

  Session sharing(OpenDatabase(":memory:"));
  sharing.SetShareResultRows(true);
  sharing.ExecuteBatch(setup);
  std::vector<StatementResult> held = sharing.ExecuteBatch(select);
  ASSERT_EQ(held.size(), 1u);
  ASSERT_NE(held[0].shared_rows, nullptr);
  EXPECT_TRUE(held[0].rows.empty());
  for (const char* change : {"update t set b = 'changed a longer text than inline'",
                             "insert into t values (4, 'd')", "delete from t where a = 3",
                             "truncate table t", "drop table t"}) {
    sharing.ExecuteBatch(change);
    EXPECT_EQ(texts(held[0]), expected) << change;
  }
  held[0].MaterializeRows();
  EXPECT_EQ(held[0].shared_rows, nullptr);
  EXPECT_EQ(texts(held[0]), expected);

  Session own(OpenDatabase(":memory:"));
  own.ExecuteBatch(setup);
  std::vector<StatementResult> copied = own.ExecuteBatch(select);
  EXPECT_EQ(copied[0].shared_rows, nullptr);
  EXPECT_EQ(texts(copied[0]), expected);
}

// Only row sets of a table's columns as they are share rows; anything computed is copied.
TEST(EngineApi, OnlyPlainColumnsOfOneTableAreShared) {
  Session s(OpenDatabase(":memory:"));
  s.SetShareResultRows(true);
  s.ExecuteBatch("create table t (a int, b varchar(5))\ninsert into t values (1, 'x'), (2, 'y')\n"
                 "create table u (a int)\ninsert into u values (1)");
  const struct {
    const char* sql;
    bool shared;
  } cases[] = {
      {"select * from t", true},
      {"select b from t where a = 2 order by a", true},
      {"select t.b from t order by t.a desc", true},
      {"select a + 1 from t", false},
      {"select distinct b from t", false},
      {"select top 1 a from t order by a", false},
      {"select b from t order by a + 0", false},
      {"select count(*) from t", false},
      {"select t.a from t join u on u.a = t.a", false},
      {"select a from (select a from t) d", false},
      {"select a from t union all select a from u", false},
  };
  for (const auto& c : cases) {
    std::vector<StatementResult> r = s.ExecuteBatch(c.sql);
    ASSERT_EQ(r.size(), 1u) << c.sql;
    ASSERT_EQ(r[0].kind, Kind::Rows) << c.sql << ": " << r[0].error.message;
    EXPECT_EQ(r[0].shared_rows != nullptr, c.shared) << c.sql;
  }
}

// ORDER BY over enough rows to be sorted in two halves and merged: the order is right and
// stays stable (rows with equal keys in table order), whether the rows are shared or copied.
TEST(EngineApi, LargeSortsAreStable) {
  for (const bool share : {true, false}) {
    Session s(OpenDatabase(":memory:"));
    s.SetShareResultRows(share);
    std::vector<StatementResult> setup = s.ExecuteBatch(
        "create table d (d int)\n"
        "insert into d values (0), (1), (2), (3), (4), (5), (6), (7), (8), (9)\n"
        "create table big (id int, k int, t varchar(3))\n"
        "insert into big select n, (n * 79) % 13, case when n % 5 = 0 then null else "
        "char(65 + n % 3) end from (select a.d * 100000 + b.d * 10000 + c.d * 1000 + e.d * 100 + "
        "f.d * 10 + g.d as n from d a, d b, d c, d e, d f, d g where a.d < 3) x");
    ASSERT_EQ(setup.back().kind, Kind::RowCount) << setup.back().error.message;
    std::vector<StatementResult> r = s.ExecuteBatch("select id, k, t from big order by t, k desc");
    ASSERT_EQ(r.size(), 1u);
    const StatementResult& rows = r[0];
    ASSERT_EQ(rows.row_count(), 300000u);
    for (size_t i = 1; i < rows.row_count(); ++i) {
      const Value& t0 = rows.at(i - 1, 2);
      const Value& t1 = rows.at(i, 2);
      ASSERT_FALSE(!t0.is_null() && t1.is_null()) << "NULLs first, row " << i;
      if (t0.is_null() != t1.is_null()) continue;
      if (!t0.is_null() && t0.string_value() != t1.string_value()) {
        ASSERT_LT(t0.string_value(), t1.string_value()) << i;
        continue;
      }
      const int64_t k0 = rows.at(i - 1, 1).int_value(), k1 = rows.at(i, 1).int_value();
      ASSERT_GE(k0, k1) << i;
      if (k0 == k1) {
        ASSERT_LT(rows.at(i - 1, 0).int_value(), rows.at(i, 0).int_value()) << i;
      }
    }
  }
}

}  // namespace
}  // namespace orv::tsql
