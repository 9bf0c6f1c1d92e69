// What a data-source file holds after commits, seen by opening it again: row changes in and out
// of transactions, rolled-back work, tables and views made and dropped (also both in one
// transaction), identities; and that a commit writes the rows it changed, not the table.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tsql/engine.h"
#include "tsql/storage/heap_policy.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace {

class PersistenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "persist_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".orvdb";
    Remove();
  }
  void TearDown() override { Remove(); }
  void Remove() {
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path_ + suffix).c_str());
    std::filesystem::remove_all(path_ + ".columns");
  }

  // Runs batches on the file (made if need be) in a session that is closed afterwards.
  void Write(const std::vector<std::string>& batches) {
    Session s(OpenDatabase(path_, {.create = true}));
    for (const std::string& batch : batches) {
      for (const StatementResult& r : s.ExecuteBatch(batch)) {
        EXPECT_NE(r.kind, StatementResult::Kind::Error) << batch << ": " << r.error.message;
      }
    }
  }

  // The rows of a query on the file opened anew, one "a|b" line each.
  std::vector<std::string> Read(const std::string& query) {
    Session s(OpenDatabase(path_));
    std::vector<std::string> lines;
    for (const StatementResult& r : s.ExecuteBatch(query)) {
      EXPECT_NE(r.kind, StatementResult::Kind::Error) << query << ": " << r.error.message;
      for (size_t i = 0; i < r.row_count(); ++i) {
        std::string line;
        for (size_t c = 0; c < r.columns.size(); ++c) {
          const Value& v = r.at(i, c);
          line += (c ? "|" : "") + (v.is_null() ? std::string("NULL") : ToText(v, r.columns[c].type));
        }
        lines.push_back(line);
      }
    }
    return lines;
  }

  std::string path_;
};

TEST_F(PersistenceTest, CommittedWorkIsThereRolledBackWorkIsNot) {
  Write({"create table t (id int identity(1,1), v varchar(10) not null)\n"
         "insert into t (v) values ('a'), ('b'), ('c')",
         "update t set v = 'B' where id = 2\ndelete from t where id = 1",
         "begin tran\ninsert into t (v) values ('rolled')\nupdate t set v = 'x'\nrollback",
         "begin tran\ninsert into t (v) values ('d')\nsave tran s\ndelete from t\nrollback tran s\ncommit"});
  // (The rolled-back insert took identity 4: it is not handed out again.)
  EXPECT_EQ(Read("select id, v from t order by id"), (std::vector<std::string>{"2|B", "3|c", "5|d"}));
  Write({"insert into t (v) values ('e')"});
  EXPECT_EQ(Read("select max(id) from t"), std::vector<std::string>{"6"});
}

TEST_F(PersistenceTest, TablesAndViewsMadeAndDropped) {
  Write({"create table keep (a int)\ninsert into keep values (1)\ncreate table old (z int)\n"
         "create view kv as select a from keep",
         "begin tran\ncreate table brief (b int)\ninsert into brief values (1)\ndrop table brief\n"
         "drop table old\ncreate table old (y varchar(5))\ninsert into old values ('again')\n"
         "drop view kv\ncreate view kv as select a * 10 as a10 from keep\ncommit",
         "begin tran\ndrop table keep\ncreate table gone (g int)\nrollback",
         "select a into copy from keep"});
  EXPECT_EQ(Read("select case when object_id('brief') is null and object_id('gone') is null then 'ok' end, "
                 "(select y from old), (select a10 from kv), (select a from copy)"),
            std::vector<std::string>{"ok|again|10|1"});
}

// ALTER TABLE and sp_rename change the stored definition and rows; a rolled-back ALTER leaves
// them, and a table altered after rows changed in the same transaction keeps those rows.
TEST_F(PersistenceTest, AlteredTablesAreStoredAsAltered) {
  Write({"create table t (id int, name varchar(5))\ninsert into t values (1, '7'), (2, '42')",
         "alter table t add d int not null default 5",
         "begin tran\ninsert into t (id, name) values (3, '9')\nalter table t alter column name int\n"
         "alter table t drop column id\ncommit",
         "begin tran\nalter table t add gone int\nrollback",
         "exec sp_rename 't.d', 'dd', 'COLUMN'\nexec sp_rename 't', 'u'",
         "insert into u (name) values (1)"});
  EXPECT_EQ(Read("select name, dd from u order by name"),
            (std::vector<std::string>{"1|5", "7|5", "9|5", "42|5"}));
  EXPECT_EQ(Read("select COLUMN_NAME + ' ' + DATA_TYPE from INFORMATION_SCHEMA.COLUMNS "
                 "where TABLE_NAME = 'u' order by ORDINAL_POSITION"),
            (std::vector<std::string>{"name int", "dd int"}));
  EXPECT_EQ(Read("select isnull(object_id('t'), 0)"), std::vector<std::string>{"0"});
}

// PRIMARY KEY, UNIQUE and CHECK constraints, indexes (unique, filtered or neither, in their
// order) and computed columns are stored
// with the table and hold after the file is opened anew, through an ALTER TABLE and a rename (a key follows its columns), and not for
// a table made again under the same name without them.
TEST_F(PersistenceTest, ConstraintsHoldAfterReopening) {
  Write({"create table k (a int, id int constraint pk_k primary key, code varchar(5) unique, check (id < 100))\n"
         "insert into k values (0, 1, 'x')",
         "alter table k drop column a\nexec sp_rename 'k', 'kk'\ncreate table n (v int, w as v * 2, check (v < 100))\ncreate unique index ix_v on n (v)\n"
         "alter table n nocheck constraint all",
         "create table gone (id int primary key)\ndrop table gone\ncreate table gone (id int)",
         "create table f (id int primary key, code int, live bit)\ncreate index ix_plain on f (live)\n"
         "create unique index ix_uq on f (id, code)\ncreate unique index ix_live on f (code) where live = 1",
         "create table dd (a int constraint df_dd_a default 3, b int default 4)"});
  // Described from the file, without loading the table.
  EXPECT_EQ(Read("select count(*), min(name), max(type) from sys.key_constraints where parent_object_id <> object_id('f')"),
            std::vector<std::string>{"2|pk_k|UQ"});
  EXPECT_EQ(Read("select name from sys.indexes where is_unique = 1 and is_unique_constraint = 0 and is_primary_key = 0 "
                 "and object_id = object_id('n')"),
            std::vector<std::string>{"ix_v"});
  auto error_of = [&](const std::string& batch) {
    Session s(OpenDatabase(path_));
    for (const StatementResult& r : s.ExecuteBatch(batch)) {
      if (r.kind == StatementResult::Kind::Error) return r.error.message;
    }
    return std::string();
  };
  EXPECT_EQ(error_of("insert into kk values (1, 'y')"),
            "Violation of PRIMARY KEY constraint 'pk_k'. Cannot insert duplicate key in object 'dbo.kk'. "
            "The duplicate key value is (1).");
  EXPECT_NE(error_of("insert into kk values (2, 'X')").find("UNIQUE KEY"), std::string::npos);
  EXPECT_NE(error_of("insert into kk values (200, 'z')").find("CHECK constraint"), std::string::npos);
  EXPECT_EQ(Read("select definition from sys.check_constraints where parent_object_id = object_id('kk')"),
            std::vector<std::string>{"(id < 100)"});
  EXPECT_EQ(error_of("insert into gone values (1), (1)"), "");
  EXPECT_NE(error_of("insert into n values (1), (1)").find("unique index 'ix_v'"), std::string::npos);
  EXPECT_EQ(Read("insert into n values (4), (400) select w from n where v = 4"), std::vector<std::string>{"8"});
  EXPECT_EQ(Read("select is_disabled, is_not_trusted from sys.check_constraints where parent_object_id = object_id('n')"),
            std::vector<std::string>{"1|1"});
  EXPECT_EQ(Read("select count(*) from kk"), std::vector<std::string>{"1"});
  EXPECT_EQ(Read("select name, is_unique, has_filter from sys.indexes where object_id = object_id('f') "
                 "and index_id > 1 order by index_id"),
            (std::vector<std::string>{"ix_plain|0|0", "ix_uq|1|0", "ix_live|1|1"}));
  EXPECT_NE(error_of("insert into f values (1, 7, 1), (2, 7, 1)").find("unique index 'ix_live'"), std::string::npos);
  EXPECT_EQ(Read("insert into f values (1, 7, 0), (2, 7, 0) select count(*) from f"), std::vector<std::string>{"2"});
  const std::vector<std::string> defaults =
      Read("select name, is_system_named from sys.default_constraints where parent_object_id = object_id('dd') "
           "order by parent_column_id");
  ASSERT_EQ(defaults.size(), 2u);
  EXPECT_EQ(defaults[0], "df_dd_a|0");
  EXPECT_EQ(defaults[1].substr(0, 10), "DF__dd__b_");
  EXPECT_EQ(Read("alter table dd drop constraint df_dd_a insert dd default values select a, b from dd"),
            std::vector<std::string>{"NULL|4"});
}

// A file whose check table predates the checks' state gets the column with a write, also when
// the first write that added it was rolled back.
TEST_F(PersistenceTest, AnOlderFileGetsWhatLaterVersionsKeep) {
  Write({"create table c (a int check (a > 0) default 1)"});
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &raw), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(raw,
                         "create table old_checks as select table_name, name, column_name, condition from orv_checks;"
                         "drop table orv_checks; alter table old_checks rename to orv_checks; drop table orv_defaults",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(raw);
  // A default stored without its name gets the same made-up one each time the file is read,
  // and keeps it once the table is written again.
  const std::vector<std::string> made_up = Read("select name from sys.default_constraints");
  ASSERT_EQ(made_up.size(), 1u);
  EXPECT_EQ(made_up[0].substr(0, 10), "DF__c__a__");
  EXPECT_EQ(Read("select name from sys.default_constraints"), made_up);
  {
    Session s(OpenDatabase(path_));
    EXPECT_EQ(s.ExecuteBatch("insert c values (-1)").at(0).error.number, 547);
    for (const StatementResult& r : s.ExecuteBatch("alter table c nocheck constraint all")) {
      EXPECT_NE(r.kind, StatementResult::Kind::Error) << r.error.message;
    }
  }
  EXPECT_EQ(Read("insert c values (-2) select count(*), max(is_disabled + 0) from c, sys.check_constraints"),
            std::vector<std::string>{"1|1"});
  EXPECT_EQ(Read("select name from sys.default_constraints"), made_up);
}

// A column's default, as the catalog views show it, is the same after the file is opened anew.
TEST_F(PersistenceTest, DefaultsShowTheSameAfterReopening) {
  const std::string query =
      "select COLUMN_NAME, isnull(COLUMN_DEFAULT, 'none') from INFORMATION_SCHEMA.COLUMNS "
      "where TABLE_NAME = 'dflt' order by ORDINAL_POSITION";
  Write({"create table dflt (a int default 7, b nvarchar(4) default N'x', c int)"});
  EXPECT_EQ(Read(query), (std::vector<std::string>{"a|(7)", "b|(N'x')", "c|none"}));
}

// One row inserted, one updated and one deleted in a table of thousands: the commit writes three
// rows, whatever the size of the table.
TEST_F(PersistenceTest, ACommitWritesTheRowsItChanged) {
  Write({"create table d (d int)\ninsert into d values (0),(1),(2),(3),(4),(5),(6),(7),(8),(9)\n"
         "select a.d * 1000 + b.d * 100 + c.d * 10 + e.d as n, 'row' as s into big from d a, d b, d c, d e"});
  Session s(OpenDatabase(path_));
  s.ExecuteBatch("select count(*) from big");
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &raw), SQLITE_OK);
  auto rows_changed_by = [&](const std::string& batch) {
    // The rows of `big` whose rowid or content changed, compared from a raw connection.
    std::vector<std::string> before, after;
    auto snapshot = [&](std::vector<std::string>& out) {
      sqlite3_stmt* st = nullptr;
      sqlite3_prepare_v2(raw, "SELECT rowid || ':' || n || ':' || s FROM big ORDER BY rowid", -1, &st, nullptr);
      while (sqlite3_step(st) == SQLITE_ROW) out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
      sqlite3_finalize(st);
    };
    snapshot(before);
    for (const StatementResult& r : s.ExecuteBatch(batch)) EXPECT_NE(r.kind, StatementResult::Kind::Error) << r.error.message;
    snapshot(after);
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    size_t changed = 0;
    for (const auto& line : after) changed += !std::binary_search(before.begin(), before.end(), line);
    for (const auto& line : before) changed += !std::binary_search(after.begin(), after.end(), line);
    return std::make_pair(changed, after.size());
  };
  const auto [changed, rows] = rows_changed_by(
      "begin tran\ninsert into big values (10000, 'new')\nupdate big set s = 'upd' where n = 5000\n"
      "delete from big where n = 7\ncommit");
  // The insert and delete change a line each; the update replaces one line by another.
  EXPECT_EQ(changed, 4u);
  EXPECT_EQ(rows, 10000u);
  // A change of the definition alone (an index, a constraint) amid row changes writes the
  // definition and the rows changed before and after it, not the whole table; rolled back, it
  // writes nothing.
  EXPECT_EQ(rows_changed_by("begin tran\ncreate index ix_n on big (n)\nalter table big add constraint ck_n check (n >= 0)\n"
                            "rollback"),
            std::make_pair(size_t{0}, size_t{10000}));
  EXPECT_EQ(rows_changed_by("begin tran\ninsert into big values (10001, 'new')\ncreate index ix_n on big (n)\n"
                            "update big set s = 'upd' where n in (5001, 10001)\ndelete from big where n = 8\n"
                            "alter table big add constraint ck_n check (n >= 0)\ninsert into big values (10002, 'new')\n"
                            "commit"),
            std::make_pair(size_t{5}, size_t{10001}));
  sqlite3_close(raw);
  EXPECT_EQ(Read("select count(*), sum(case when s = 'upd' then 1 else 0 end), max(n) from big"),
            std::vector<std::string>{"10001|3|10002"});
  EXPECT_EQ(Read("select count(*) from sys.indexes where name = 'ix_n' union all "
                 "select count(*) from sys.check_constraints where name = 'ck_n'"),
            (std::vector<std::string>{"1", "1"}));
}

// A large table opened again comes from its column snapshot with its rows made as statements
// read them: filtered scans and joins make a few, a change or a full read makes the rest, and
// every answer is the one the table read from SQLite gives.
TEST_F(PersistenceTest, RowsMadeAsTheyAreReadGiveTheSameAnswers) {
  Write({"create table d (n int)\ninsert into d values (0),(1),(2),(3),(4),(5),(6),(7),(8),(9)\n"
         "create table t (id int not null, grp int, d datetime, amt decimal(18,2), name varchar(20))\n"
         "insert into t select id, id % 100, dateadd(day, id % 365, '2025-01-01'), id * 0.25,"
         " case when id % 13 = 0 then null else 'n' + cast(id as varchar(10)) end"
         " from (select a.n + 10 * b.n + 100 * c.n + 1000 * e.n + 10000 * f.n as id"
         " from d a, d b, d c, d e, d f) x where id < 60000"});
  const std::vector<std::string> batches = {
      "select id, name, amt from t where grp = 7 and d >= '2025-03-01' and d < '2025-03-09' order by id",
      "create table #k (id int)\ninsert into #k values (5), (77), (59999), (12345), (60001)\n"
      "select t.id, t.name, t.d from #k k join t on t.id = k.id order by t.id",
      "begin tran\nupdate t set amt = amt + 1 where grp = 3 and id < 1000\n"
      "select sum(amt), count(*) from t where grp = 3\nrollback\nselect sum(amt), count(name) from t",
  };
  auto run = [&] {
    std::vector<std::string> lines;
    for (const std::string& batch : batches) {
      for (std::string& line : Read(batch)) lines.push_back(std::move(line));
    }
    return lines;
  };
  const std::vector<std::string> from_sqlite = run();
  ASSERT_TRUE(std::filesystem::exists(path_ + ".columns/t.cols"));
  EXPECT_EQ(from_sqlite.size(), 14u);
  EXPECT_EQ(run(), from_sqlite);

  // Emptied in a transaction before most rows were made, then rolled back.
  EXPECT_EQ(Read("select count(*) from t where id = 42\nbegin tran\ntruncate table t\n"
                 "select count(*) from t\nrollback\nselect count(*), sum(amt), max(id) from t"),
            (std::vector<std::string>{"1", "0", "60000|449992500.00|59999"}));
}

// Where the process lets rows made of a snapshot go between statements (the command line), a
// table read again is made again: every answer stays the one the rows kept would give, a
// statement not followed by one naming the table leaves none of its rows made, and rows a
// result still holds stay.
TEST_F(PersistenceTest, RowsLetGoBetweenStatementsAreMadeAgain) {
  Write(
      {"create table d (n int)\ninsert into d values (0),(1),(2),(3),(4),(5),(6),(7),(8),(9)\n"
       "create table t (id int not null, grp int, amt decimal(18,2), name varchar(20))\n"
       "insert into t select id, id % 100, id * 0.25,"
       " case when id % 13 = 0 then null else 'n' + cast(id as varchar(10)) end"
       " from (select a.n + 10 * b.n + 100 * c.n + 1000 * e.n + 10000 * f.n as id"
       " from d a, d b, d c, d e, d f) x where id < 60000"});
  const std::string batch =
      "select sum(amt), count(name) from t\n"
      "select id, name from t where grp = 7 and id < 800 order by id\n"
      "create table #k (id int)\ninsert into #k values (5), (77), (59999), (12345)\n"
      "select t.id, t.name from #k k join t on t.id = k.id order by t.id\n"
      "begin tran\nupdate t set amt = amt + 1 where grp = 3 and id < 1000\n"
      "select sum(amt) from t where grp = 3\nrollback\n"
      "select count(*) from #k\n"
      "select max(name), sum(amt) from t";
  const std::vector<std::string> kept = Read(batch);
  ASSERT_EQ(kept.size(), 16u);
  ASSERT_TRUE(std::filesystem::exists(path_ + ".columns/t.cols"));

  struct LettingGo {  // the process-wide setting, put back however the test ends
    LettingGo() { LetSnapshotRowsGoAfterEachStatement(true); }
    ~LettingGo() { LetSnapshotRowsGoAfterEachStatement(false); }
  } letting_go;
  EXPECT_EQ(Read(batch), kept);
  {
    Session s(OpenDatabase(path_));
    s.ExecuteBatch("select sum(amt) from t\nselect 1");
    EXPECT_FALSE(s.database().FindTable("t")->AllRowsMade());
    s.SetShareResultRows(true);
    const std::vector<StatementResult> held = s.ExecuteBatch("select * from t\nselect 1");
    ASSERT_TRUE(held[0].shared_rows != nullptr);
    s.ExecuteBatch("select 2");
    EXPECT_TRUE(s.database().FindTable("t")->AllRowsMade());
    EXPECT_EQ(held[0].at(59999, 3).string_value(), "n59999");
  }
}

}  // namespace
}  // namespace orv::tsql
