// Complete report batches, as the service sends them, parse into the expected statements.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "parser_test_util.h"

namespace orv::tsql {
namespace {

using testing::Dump;
using testing::DumpName;

std::string ReadData(const std::string& name) {
  std::ifstream in(std::string(ORV_TEST_DATA_DIR) + "/tsql/syntax/data/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string KindList(const ast::Batch& batch) {
  using K = ast::StmtKind;
  static const std::map<K, const char*> kNames = {
      {K::Select, "Select"},       {K::Insert, "Insert"},       {K::Update, "Update"},
      {K::Delete, "Delete"},       {K::CreateTable, "CreateTable"}, {K::DropTable, "DropTable"},
      {K::CreateView, "CreateView"}, {K::DropView, "DropView"},   {K::CreateIndex, "CreateIndex"},
      {K::DropIndex, "DropIndex"}, {K::Truncate, "Truncate"},   {K::If, "If"},
      {K::Block, "Block"},         {K::Set, "Set"},             {K::Print, "Print"},
      {K::Declare, "Declare"},     {K::Empty, "Empty"}};
  std::string out;
  for (const auto& s : batch.statements) {
    out += (out.empty() ? "" : " ") + std::string(kNames.count(s->kind) ? kNames.at(s->kind) : "Other");
  }
  return out;
}

struct BatchCase {
  const char* file;
  const char* kinds;
};

class ReportBatches : public ::testing::TestWithParam<BatchCase> {};

TEST_P(ReportBatches, StatementSequence) {
  std::string text = ReadData(GetParam().file);
  ASSERT_FALSE(text.empty());
  ast::Batch batch;
  try {
    batch = ParseBatch(text);
  } catch (const SqlException& e) {
    FAIL() << GetParam().file << ": Msg " << e.number() << " line " << e.error().line << ": "
           << e.what();
  }
  EXPECT_EQ(KindList(batch), GetParam().kinds);
  // Statement spans are in order and inside the text.
  uint32_t last = 0;
  for (const auto& s : batch.statements) {
    EXPECT_LE(last, s->pos.offset);
    EXPECT_LT(s->pos.offset, s->end_offset);
    EXPECT_LE(s->end_offset, text.size());
    last = s->end_offset;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Reports, ReportBatches,
    ::testing::Values(
        BatchCase{"report400_batch1.sql",
                  "If If If CreateTable Insert Update Update Set CreateTable Insert Update "
                  "Update Update CreateTable Insert Insert Insert Update Insert Update Update "
                  "Update Update Update Update Update"},
        BatchCase{"report400_batch2.sql", "Select DropTable DropTable DropTable"},
        BatchCase{"report401_batch1.sql", "If If If Set CreateTable Insert"},
        BatchCase{"report401_batch2.sql", "Select Update Update Update Update Select If"},
        BatchCase{"report410_batch1.sql",
                  "If Set CreateTable Insert Insert Update Insert Update Update Update"},
        BatchCase{"report410_batch2.sql", "Select DropTable"},
        BatchCase{"report498_batch.sql", "If CreateTable Insert Update Update Update"},
        BatchCase{"report498_final.sql", "Select DropTable"},
        BatchCase{"report499_candidates.sql",
                  "Set If CreateTable If CreateTable Insert Insert Insert Insert Insert Insert "
                  "Select"},
        BatchCase{"report499_incost.sql", "Update"}, BatchCase{"report499_output.sql", "Update"},
        BatchCase{"report499_endprice.sql", "Update Insert"},
        BatchCase{"report499_last.sql", "Select If If If If If"},
        BatchCase{"lookup_lastperiod.sql", "Select"}, BatchCase{"lookup_curdate.sql", "Select"},
        BatchCase{"lookup_scale.sql", "Select"}, BatchCase{"lookup_maxlevel.sql", "Select"},
        BatchCase{"lookup_propdesc.sql", "Select"}, BatchCase{"lookup_decimal.sql", "Select"},
        BatchCase{"lookup_unit.sql", "Select"}));

TEST(ReportBatchDetails, Report400SubtotalsAndTotals) {
  ast::Batch b = ParseBatch(ReadData("report400_batch1.sql"));
  ASSERT_EQ(b.statements.size(), 26u);
  // #Data has 58 columns; the last is "FIsTotal int Not null default (0)".
  const auto& data = b.statements[13]->As<ast::CreateTableStmt>();
  ASSERT_EQ(data.columns.size(), 58u);
  EXPECT_EQ(data.columns[46].name, "FSumSort");
  EXPECT_EQ(Dump(*data.columns[46].default_value), "int:0");
  EXPECT_EQ(data.columns[57].name, "FIsTotal");
  EXPECT_EQ(data.columns[57].nullable, std::optional<bool>(false));
  // "..., 3, 102From #Data Group by FMOBillNOSort"
  const auto& sub = b.statements[16]->As<ast::InsertStmt>();
  const ast::QuerySpec& spec = *sub.select->spec;
  ASSERT_EQ(spec.items.size(), 13u);
  EXPECT_EQ(spec.items[1].alias, "FDateSort");
  EXPECT_EQ(Dump(*spec.items[1].expr), "(subquery)");
  EXPECT_EQ(Dump(*spec.items[12].expr), "int:102");
  EXPECT_EQ(Dump(*spec.from[0]), "#Data");
  EXPECT_EQ(Dump(*spec.group_by[0]), "FMOBillNOSort");
  // The subtotal naming keeps the full-width text.
  const auto& naming = b.statements[17]->As<ast::UpdateStmt>();
  EXPECT_EQ(Dump(*naming.sets[1].value), "(+ t1.FName str:'（小计）')");
  // The receipt insert selects a UNION ALL whose second part aliases a subquery.
  const auto& receipts = b.statements[9]->As<ast::InsertStmt>();
  ASSERT_EQ(receipts.select->kind, ast::QueryExpr::Kind::Union);
  EXPECT_TRUE(receipts.select->union_all);
  EXPECT_EQ(receipts.select->right->spec->items[2].alias, "FInterID");
  // The sort-key update targets the aliased #Data through a left join.
  const auto& sort_keys = b.statements[24]->As<ast::UpdateStmt>();
  EXPECT_EQ(DumpName(sort_keys.target), "#Data");
  EXPECT_EQ(Dump(*sort_keys.from[0]),
            "(left #Data d1, #T400 tb400 on (and (< d1.FGroupSort int:4) (= d1.FMOBillNOSort "
            "tb400.FBillNo)))");
}

TEST(ReportBatchDetails, Report410CommentEndsTheConditionLine) {
  ast::Batch b = ParseBatch(ReadData("report410_batch1.sql"));
  const auto& rows = b.statements[3]->As<ast::InsertStmt>();
  const ast::Expr& where = *rows.select->spec->where;
  ASSERT_EQ(where.kind, ast::ExprKind::And);
  EXPECT_EQ(Dump(*where.args[1]), "(<= datediff(DAY, getdate(), v1.FPlanFinishDate) int:7)");
  EXPECT_EQ(Dump(*where.args.back()), "(= v1.FCancelLation int:0)");
  const auto& totals = b.statements[6]->As<ast::InsertStmt>();
  EXPECT_EQ(Dump(*totals.select->spec->items[1].expr), "CHAR(int:255)");
}

TEST(ReportBatchDetails, Report499LineCommentsInsideTheWhereClause) {
  ast::Batch b = ParseBatch(ReadData("report499_candidates.sql"));
  // The red/blue builder ends two lines with "--红" and "--兰"; the conditions after them
  // still belong to the WHERE clause.
  const auto& red = b.statements[6]->As<ast::InsertStmt>();
  const ast::QuerySpec& spec = *red.select->spec;
  EXPECT_TRUE(spec.distinct);
  ASSERT_EQ(spec.where->kind, ast::ExprKind::And);
  std::vector<std::string> parts;
  for (const auto& a : spec.where->args) parts.push_back(Dump(*a));
  EXPECT_NE(std::find(parts.begin(), parts.end(), "(= Red.FRob (neg int:1))"), parts.end());
  EXPECT_NE(std::find(parts.begin(), parts.end(), "(= Red.FTranType int:2)"), parts.end());
  EXPECT_EQ(parts.back(), "(= RedEntry.FMOInterid v2.FInterID)");
  // "Right Join (Select distinct ...) v"
  const auto& temp_table = b.statements[10]->As<ast::InsertStmt>();
  EXPECT_EQ(Dump(*temp_table.select->spec->from[0]),
            "(right T_ICItem t, (derived) v on (= v.FItemID t.FItemID))");
}

TEST(ReportBatchDetails, Report498DerivedUnionGluedAlias) {
  ast::Batch b = ParseBatch(ReadData("report498_batch.sql"));
  const auto& detail = b.statements[2]->As<ast::InsertStmt>();
  const ast::TableRef& from = *detail.select->spec->from[0];
  ASSERT_EQ(from.kind, ast::TableRef::Kind::Join);
  ASSERT_EQ(from.left->kind, ast::TableRef::Kind::Derived);
  EXPECT_EQ(from.left->alias, "Mx");
  EXPECT_EQ(from.left->derived->kind, ast::QueryExpr::Kind::Union);
  // The red branch joins ")BE On ...".
  const ast::QuerySpec& red = *from.left->derived->right->spec;
  EXPECT_EQ(red.from[0]->left->left->left->right->alias, "BE");
}

}  // namespace
}  // namespace orv::tsql
