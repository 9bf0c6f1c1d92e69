// Statement shapes: queries, DML, DDL, control flow and session statements.
#include <gtest/gtest.h>

#include "parser_test_util.h"

namespace orv::tsql {
namespace {

using testing::Dump;
using testing::DumpName;
using testing::DumpType;

ast::Batch Parse(std::string_view text) { return ParseBatch(text); }

std::vector<ast::StmtKind> Kinds(const ast::Batch& batch) {
  std::vector<ast::StmtKind> kinds;
  for (const auto& s : batch.statements) kinds.push_back(s->kind);
  return kinds;
}

const ast::QuerySpec& Spec(const ast::Statement& stmt) {
  return *stmt.As<ast::SelectStmt>().query->spec;
}

TEST(ParserSelect, ClausesAndItems) {
  ast::Batch b = Parse(
      "select distinct top (10) percent with ties a, t.*, b AS x, c y, z = d + 1, e 'w', * "
      "into #out from t1 where a > 1 group by a, b having count(*) > 1");
  const ast::QuerySpec& s = Spec(*b.statements[0]);
  EXPECT_TRUE(s.distinct);
  EXPECT_TRUE(s.top_percent);
  EXPECT_TRUE(s.with_ties);
  EXPECT_EQ(Dump(*s.top), "int:10");
  ASSERT_EQ(s.items.size(), 7u);
  std::vector<std::string> got;
  for (const auto& item : s.items) got.push_back(Dump(*item.expr) + "|" + item.alias);
  EXPECT_EQ(got,
            (std::vector<std::string>{"a|", "t.*|", "b|x", "c|y", "(+ d int:1)|z", "e|w", "*|"}));
  EXPECT_EQ(DumpName(s.into), "#out");
  EXPECT_EQ(Dump(*s.where), "(> a int:1)");
  EXPECT_EQ(s.group_by.size(), 2u);
  EXPECT_EQ(Dump(*s.having), "(> count(*) int:1)");
}

TEST(ParserSelect, TopWithoutParenthesesTakesOneToken) {
  ast::Batch b = Parse("select top 10 * from t");
  const ast::QuerySpec& s = Spec(*b.statements[0]);
  EXPECT_EQ(Dump(*s.top), "int:10");
  ASSERT_EQ(s.items.size(), 1u);
  EXPECT_EQ(Dump(*s.items[0].expr), "*");
}

TEST(ParserSelect, JoinsAndDerivedTables) {
  ast::Batch b = Parse(
      "select * from ICMO v1 Inner Join t_ICItem t1 On v1.FItemID=t1.FItemID "
      "Left  Join  SEOrder v2 on  v2.FInterID = v1.FOrderInterID "
      "left outer join a on 1=1 right join b on 1=1 full outer join c on 1=1 cross join d, "
      "(Select * from t_Stock Where FTypeID<>502) S, (select 1 x)Mx, (select 2 y) as Q, "
      "tempdb..#t, dbo.t_ICItem WITH (NOLOCK)");
  const ast::QuerySpec& s = Spec(*b.statements[0]);
  ASSERT_EQ(s.from.size(), 6u);
  EXPECT_EQ(Dump(*s.from[0]),
            "(cross (full (right (left (left (inner ICMO v1, t_ICItem t1 on (= v1.FItemID "
            "t1.FItemID)), SEOrder v2 on (= v2.FInterID v1.FOrderInterID)), a on (= int:1 "
            "int:1)), b on (= int:1 int:1)), c on (= int:1 int:1)), d)");
  EXPECT_EQ(Dump(*s.from[1]), "(derived) S");
  EXPECT_EQ(Dump(*s.from[2]), "(derived) Mx");
  EXPECT_EQ(Dump(*s.from[3]), "(derived) Q");
  EXPECT_EQ(Dump(*s.from[4]), "tempdb..#t");
  EXPECT_EQ(Dump(*s.from[5]), "dbo.t_ICItem");
}

TEST(ParserSelect, UnionChainsAndOrderBy) {
  ast::Batch b =
      Parse("select a from t union all select b from u union select c from v order by 1 desc, a");
  const auto& q = *b.statements[0]->As<ast::SelectStmt>().query;
  ASSERT_EQ(q.kind, ast::QueryExpr::Kind::Union);
  EXPECT_FALSE(q.union_all);
  ASSERT_EQ(q.left->kind, ast::QueryExpr::Kind::Union);
  EXPECT_TRUE(q.left->union_all);
  ASSERT_EQ(q.order_by.size(), 2u);
  EXPECT_EQ(Dump(*q.order_by[0].expr), "int:1");
  EXPECT_TRUE(q.order_by[0].descending);
  EXPECT_FALSE(q.order_by[1].descending);
}

TEST(ParserDml, InsertForms) {
  ast::Batch b = Parse(
      "insert into #t (a, b) values (1, DEFAULT), (2, 'x')\n"
      "Insert #t select a from u union all select b from v\n"
      "insert t default values\n"
      "Insert Into #Data (FPeriod,FSumSort)\n select FPeriod,102 From #Data Group by FPeriod");
  ASSERT_EQ(b.statements.size(), 4u);
  const auto& i0 = b.statements[0]->As<ast::InsertStmt>();
  EXPECT_EQ(i0.columns, (std::vector<std::string>{"a", "b"}));
  ASSERT_EQ(i0.values.size(), 2u);
  EXPECT_EQ(Dump(*i0.values[0][1]), "DEFAULT");
  EXPECT_EQ(Dump(*i0.values[1][1]), "str:'x'");
  const auto& i1 = b.statements[1]->As<ast::InsertStmt>();
  EXPECT_TRUE(i1.columns.empty());
  ASSERT_TRUE(i1.select);
  EXPECT_EQ(i1.select->kind, ast::QueryExpr::Kind::Union);
  EXPECT_TRUE(b.statements[2]->As<ast::InsertStmt>().default_values);
  EXPECT_EQ(b.statements[3]->As<ast::InsertStmt>().columns.size(), 2u);
}

TEST(ParserDml, UpdateWithFromAndAliases) {
  ast::Batch b = Parse(
      " Update t1 Set  \r\n        t1.FBSPlanQty=Round(t1.FPlanAuxQty,t4.FQtyDecimal),\r\n"
      "  FName = DEFAULT From #T400 t1,t_ICItem t4 Where t1.FItemID=t4.FItemID\r\n"
      "update top (5) #T400_1 set FMOBillNO =ICMO.FBillNO From  ICMO where ICMO.FInterID  = "
      "#T400_1.FICMOInterID");
  ASSERT_EQ(b.statements.size(), 2u);
  const auto& u = b.statements[0]->As<ast::UpdateStmt>();
  EXPECT_EQ(DumpName(u.target), "t1");
  ASSERT_EQ(u.sets.size(), 2u);
  EXPECT_EQ(DumpName(u.sets[0].column), "t1.FBSPlanQty");
  EXPECT_EQ(Dump(*u.sets[1].value), "DEFAULT");
  EXPECT_EQ(u.from.size(), 2u);
  EXPECT_EQ(Dump(*u.where), "(= t1.FItemID t4.FItemID)");
  const auto& u2 = b.statements[1]->As<ast::UpdateStmt>();
  EXPECT_EQ(Dump(*u2.top), "int:5");
  EXPECT_EQ(Dump(*u2.where), "(= ICMO.FInterID #T400_1.FICMOInterID)");
}

TEST(ParserDml, DeleteForms) {
  ast::Batch b = Parse("delete from #t where a = 1 delete t from t join u on t.a=u.a");
  const auto& d0 = b.statements[0]->As<ast::DeleteStmt>();
  EXPECT_EQ(DumpName(d0.target), "#t");
  EXPECT_TRUE(d0.from.empty());
  const auto& d1 = b.statements[1]->As<ast::DeleteStmt>();
  EXPECT_EQ(DumpName(d1.target), "t");
  ASSERT_EQ(d1.from.size(), 1u);
  EXPECT_FALSE(d1.where);
}

TEST(ParserDdl, CreateTableColumns) {
  ast::Batch b = Parse(
      "Create Table #T(FInterID int null default 0,FTranType int,\r\n"
      "  FQty Decimal(23,10) Not Null Default(0), FName varchar(max) COLLATE Chinese_PRC_CI_AS,"
      "  FSort Varchar(355) Default 0,FNeg int default -1, FDef datetime DEFAULT (getdate()),"
      "  id bigint identity(10, -2) primary key, code char(3) not null default ('x') unique,"
      "  k int constraint df_k default 5, FIsTotal int Not null default (0),"
      "  constraint pk primary key clustered (id desc, code), unique (k),)");
  const auto& t = b.statements[0]->As<ast::CreateTableStmt>();
  EXPECT_EQ(DumpName(t.name), "#T");
  ASSERT_EQ(t.columns.size(), 11u);
  std::vector<std::string> got;
  for (const auto& c : t.columns) {
    std::string s = c.name + " " + DumpType(c.type);
    if (c.nullable) s += *c.nullable ? " null" : " notnull";
    if (c.default_value) s += " default=" + Dump(*c.default_value);
    if (c.identity) {
      s += " identity(" + std::to_string(c.identity_seed) + "," +
           std::to_string(c.identity_increment) + ")";
    }
    if (c.primary_key) s += " pk";
    if (c.unique) s += " unique";
    got.push_back(s);
  }
  EXPECT_EQ(got, (std::vector<std::string>{
                     "FInterID int null default=int:0", "FTranType int",
                     "FQty decimal(23,10) notnull default=int:0", "FName varchar(max)",
                     "FSort varchar(355) default=int:0", "FNeg int default=(neg int:1)",
                     "FDef datetime default=getdate()", "id bigint identity(10,-2) pk",
                     "code char(3) notnull default=str:'x' unique", "k int default=int:5",
                     "FIsTotal int notnull default=int:0"}));
  ASSERT_EQ(t.keys.size(), 2u);
  EXPECT_EQ(t.keys[0].name, "pk");
  EXPECT_TRUE(t.keys[0].primary);
  EXPECT_EQ(t.keys[0].columns, (std::vector<std::string>{"id", "code"}));
  EXPECT_EQ(t.keys[1].name, "");
  EXPECT_FALSE(t.keys[1].primary);
  EXPECT_EQ(t.keys[1].columns, (std::vector<std::string>{"k"}));
  EXPECT_EQ(t.columns[9].key_name, "");  // the name of k's DEFAULT
}

TEST(ParserDdl, ViewsIndexesDropsTruncate) {
  const char* text =
      "create view dbo.v_x (a, b) as select 1, 2 from t\n"
      "drop view if exists v1, v2\n"
      "create unique nonclustered index ix on #t (a asc, b desc)\n"
      "create index ix2 on t (c)\n"
      "drop index t.ix drop index ix2 on t\n"
      "truncate table #t\n"
      "drop table if exists #a, tempdb..#b";
  ast::Batch b = Parse(text);
  ASSERT_EQ(b.statements.size(), 8u);
  const auto& v = b.statements[0]->As<ast::CreateViewStmt>();
  EXPECT_EQ(DumpName(v.name), "dbo.v_x");
  EXPECT_EQ(v.columns, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(v.query_text, "select 1, 2 from t");
  const auto& dv = b.statements[1]->As<ast::DropViewStmt>();
  EXPECT_TRUE(dv.if_exists);
  EXPECT_EQ(dv.names.size(), 2u);
  const auto& ci = b.statements[2]->As<ast::CreateIndexStmt>();
  EXPECT_TRUE(ci.unique);
  EXPECT_EQ(ci.index_name, "ix");
  EXPECT_EQ(ci.columns, (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(b.statements[3]->As<ast::CreateIndexStmt>().unique);
  const auto& di = b.statements[4]->As<ast::DropIndexStmt>();
  EXPECT_EQ(DumpName(di.table) + "/" + di.index_name, "t/ix");
  const auto& di2 = b.statements[5]->As<ast::DropIndexStmt>();
  EXPECT_EQ(DumpName(di2.table) + "/" + di2.index_name, "t/ix2");
  EXPECT_EQ(DumpName(b.statements[6]->As<ast::TruncateStmt>().table), "#t");
  const auto& dt = b.statements[7]->As<ast::DropTableStmt>();
  EXPECT_TRUE(dt.if_exists);
  ASSERT_EQ(dt.names.size(), 2u);
  EXPECT_EQ(DumpName(dt.names[1]), "tempdb..#b");
}

TEST(ParserControl, IfElseBlocksAndSeparators) {
  ast::Batch b = Parse(
      "IF  object_id('tempdb..#Data') is not null drop table #Data;Set Nocount ON;\r\n"
      "if 1=1 begin print 'a'; print 'b' end else print 'c'\r\n"
      "if 1=0 select 1; else select 2;;");
  EXPECT_EQ(Kinds(b),
            (std::vector<ast::StmtKind>{ast::StmtKind::If, ast::StmtKind::Set, ast::StmtKind::If,
                                        ast::StmtKind::If, ast::StmtKind::Empty}));
  const auto& if0 = b.statements[0]->As<ast::IfStmt>();
  EXPECT_EQ(Dump(*if0.condition), "(isnotnull object_id(str:'tempdb..#Data'))");
  EXPECT_EQ(if0.then_branch->kind, ast::StmtKind::DropTable);
  EXPECT_FALSE(if0.else_branch);
  const auto& set = b.statements[1]->As<ast::SetStmt>();
  EXPECT_EQ(set.option, "NOCOUNT");
  EXPECT_EQ(set.value, "ON");
  const auto& if1 = b.statements[2]->As<ast::IfStmt>();
  EXPECT_EQ(if1.then_branch->As<ast::BlockStmt>().statements.size(), 2u);
  ASSERT_TRUE(if1.else_branch);
  EXPECT_EQ(if1.else_branch->kind, ast::StmtKind::Print);
  EXPECT_TRUE(b.statements[3]->As<ast::IfStmt>().else_branch);
}

TEST(ParserControl, SetPrintDeclare) {
  ast::Batch b = Parse(
      "SET DATEFORMAT dmy SET ansi_nulls off SET ROWCOUNT 10 SET LOCK_TIMEOUT -1 "
      "SET ANSI_NULLS, ANSI_PADDING ON SET TRANSACTION ISOLATION LEVEL READ UNCOMMITTED "
      "PRINT 'x' + 'y' DECLARE @v varchar(10) = 'a', @n AS int");
  std::vector<std::string> sets;
  for (const auto& s : b.statements) {
    if (s->kind == ast::StmtKind::Set) {
      sets.push_back(s->As<ast::SetStmt>().option + "=" + s->As<ast::SetStmt>().value);
    }
  }
  EXPECT_EQ(sets, (std::vector<std::string>{"DATEFORMAT=dmy", "ANSI_NULLS=OFF", "ROWCOUNT=10",
                                            "LOCK_TIMEOUT=-1", "ANSI_NULLS=ON", "ANSI_PADDING=ON",
                                            "TRANSACTION ISOLATION LEVEL=READ UNCOMMITTED"}));
  ASSERT_EQ(b.statements.size(), 10u);
  EXPECT_EQ(Dump(*b.statements[7]->As<ast::PrintStmt>().value), "(+ str:'x' str:'y')");
  const auto& d0 = b.statements[8]->As<ast::DeclareStmt>();
  EXPECT_EQ(d0.variable + " " + DumpType(d0.type) + " " + Dump(*d0.initial),
            "v varchar(10) str:'a'");
  const auto& d1 = b.statements[9]->As<ast::DeclareStmt>();
  EXPECT_EQ(d1.variable + " " + DumpType(d1.type), "n int");
  EXPECT_FALSE(d1.initial);
}

TEST(ParserPositions, StatementsAndExpressions) {
  std::string text = "Set NoCount On\r\n  select a,\r\n   b from t;\r\nprint 1";
  ast::Batch b = Parse(text);
  ASSERT_EQ(b.statements.size(), 3u);
  const auto& sel = *b.statements[1];
  EXPECT_EQ(sel.pos.line, 2);
  EXPECT_EQ(sel.pos.column, 3);
  EXPECT_EQ(text.substr(sel.pos.offset, sel.end_offset - sel.pos.offset),
            "select a,\r\n   b from t");
  const auto& item = Spec(sel).items[1];
  EXPECT_EQ(item.expr->pos.line, 3);
  EXPECT_EQ(item.expr->pos.column, 4);
  EXPECT_EQ(Spec(sel).from[0]->pos.line, 3);
  EXPECT_EQ(b.statements[0]->end_offset, 14u);
  EXPECT_EQ(b.statements[2]->end_offset, text.size());
}

}  // namespace
}  // namespace orv::tsql
