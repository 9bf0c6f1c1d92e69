// Two per-session controls for the server front end: a read-only session (report users) that
// may read and work in temporary tables but gets SQL Server's permission errors for changes to
// permanent tables, and Cancel, which stops a long batch from another thread.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tsql/engine.h"

namespace orv::tsql {
namespace {

using Kind = StatementResult::Kind;

TEST(ReadOnlySession, ChangesToPermanentTablesAreDenied) {
  auto db = OpenDatabase(":memory:");
  Session admin(db);
  admin.ExecuteBatch("create table items (id int, name varchar(20)); insert into items values (1, 'a')");
  Session reader(db);
  reader.SetReadOnly(true);

  // Reading and the reports' temporary-table work run as usual.
  auto ok = reader.ExecuteBatch(
      "create table #t (id int, name varchar(20)); insert into #t select id, name from items;"
      "update t set t.name = 'b' from #t t, items i where t.id = i.id; delete from #t where id = 2;"
      "select * into #copy from #t; create index ix on #t (id); truncate table #copy; drop table #copy;"
      "select name from #t");
  ASSERT_FALSE(ok.empty());
  for (const auto& r : ok) EXPECT_NE(r.kind, Kind::Error) << r.error.message;
  EXPECT_EQ(ok.back().at(0, 0).string_value(), "b");

  struct Case {
    const char* sql;
    int32_t number;
    const char* text;
  } cases[] = {
      {"insert into items values (2, 'x')", 229,
       "The INSERT permission was denied on the object 'items', database 'orvdata', schema 'dbo'."},
      {"update items set name = 'x'", 229,
       "The UPDATE permission was denied on the object 'items', database 'orvdata', schema 'dbo'."},
      {"delete i from items i join #t t on t.id = i.id", 229,
       "The DELETE permission was denied on the object 'items', database 'orvdata', schema 'dbo'."},
      {"merge items as i using #t as t on t.id = i.id when matched then delete;", 229,
       "The MERGE permission was denied on the object 'items', database 'orvdata', schema 'dbo'."},
      {"delete from #t output deleted.id, deleted.name into items", 229,
       "The INSERT permission was denied on the object 'items', database 'orvdata', schema 'dbo'."},
      {"truncate table items", 1088,
       "Cannot find the object \"items\" because it does not exist or you do not have permissions."},
      {"create table other (a int)", 262, "CREATE TABLE permission denied in database 'orvdata'."},
      {"select * into other from items", 262, "CREATE TABLE permission denied in database 'orvdata'."},
      {"create view v as select id from items", 262, "CREATE VIEW permission denied in database 'orvdata'."},
      {"drop table items", 3701, "Cannot drop the table 'items', because it does not exist or you do not have permission."},
      {"create index ix on items (id)", 1088,
       "Cannot find the object \"items\" because it does not exist or you do not have permissions."},
      {"alter table items add c int", 4902,
       "Cannot find the object \"items\" because it does not exist or you do not have permissions."},
      {"exec sp_rename 'items', 'things'", 15225,
       "No item by the name of 'items' could be found in the current database 'orvdata', given that "
       "@itemtype was input as '(null)'."},
  };
  for (const Case& c : cases) {
    // The denied statement fails on its own; the batch goes on.
    auto r = reader.ExecuteBatch(std::string(c.sql) + "\nselect 1");
    ASSERT_EQ(r.size(), 2u) << c.sql;
    EXPECT_EQ(r[0].kind, Kind::Error) << c.sql;
    EXPECT_EQ(r[0].error.number, c.number) << c.sql;
    EXPECT_EQ(r[0].error.message, c.text) << c.sql;
    EXPECT_EQ(r[1].kind, Kind::Rows) << c.sql;
  }
  // What the session is told about its roles says the same.
  auto roles = reader.ExecuteBatch(
      "select is_member('db_owner'), is_srvrolemember('sysadmin'), has_perms_by_name('items', 'OBJECT', 'INSERT'),"
      " has_perms_by_name('items', 'OBJECT', 'SELECT'), is_member('db_datareader')");
  ASSERT_EQ(roles.at(0).kind, Kind::Rows);
  for (size_t c = 0; c < 5; ++c) EXPECT_EQ(roles[0].at(0, c).int_value(), c < 3 ? 0 : 1) << c;
  auto after = admin.ExecuteBatch("select count(*), max(name) from items; insert into items values (3, 'c')");
  EXPECT_EQ(after[0].at(0, 0).int_value(), 1);
  EXPECT_EQ(after[0].at(0, 1).string_value(), "a");
  EXPECT_EQ(after[1].kind, Kind::RowCount) << "the other session may still write";
}

TEST(SessionCancel, StopsALongBatchPromptly) {
  auto db = OpenDatabase(":memory:");
  Session s(db);
  s.ExecuteBatch(
      "create table n (v int); insert into n values (0),(1),(2),(3),(4),(5),(6),(7),(8),(9);"
      "create table big (v int); insert into big select a.v + 10 * b.v + 100 * c.v + 1000 * d.v "
      "from n a, n b, n c, n d");
  // About 10^8 subquery comparisons: several seconds if it ran to the end.
  const std::string slow =
      "select 1 as a\nselect count(*) from big x where (select count(*) from big y where y.v < x.v) > 5000\n"
      "select 2 as b";
  std::vector<StatementResult> results;
  std::thread runner([&] { results = s.ExecuteBatch(slow); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto asked = std::chrono::steady_clock::now();
  s.Cancel();
  runner.join();
  const auto took = std::chrono::steady_clock::now() - asked;
  EXPECT_LT(took, std::chrono::seconds(2));
  ASSERT_EQ(results.size(), 2u) << "the statement after the cancelled one does not run";
  EXPECT_EQ(results[0].kind, Kind::Rows);
  EXPECT_EQ(results[1].kind, Kind::Error);
  EXPECT_EQ(results[1].error.number, 3617);
  EXPECT_EQ(results[1].error.line, 2);

  // A cancel with no batch running does not touch the next one.
  auto next = s.ExecuteBatch("select count(*) from big");
  ASSERT_EQ(next.size(), 1u);
  EXPECT_EQ(next[0].at(0, 0).int_value(), 10000);
}

}  // namespace
}  // namespace orv::tsql
