// Report 401 (planned and finished quantities per item) on a small company database, grouped by
// the standard client fragments, with the answers worked out by hand.
#include <string>

#include "engine_fixture.h"
#include "reports/production/report401.h"

namespace orv::reports_engine {
namespace {

// Items: 101 Widget (base pcs, stock box = 12 pcs, 2 quantity / 4 price decimals),
//        102 Gadget (base pcs, stock pcs, 0 / 2 decimals).
// MO-001: 101 in box, 10 box = 120 pcs planned, 4 box = 48 pcs finished, closed.
// MO-002: 101 in pcs, 30 planned, 30 finished, closed.
// MO-003: 102 in pcs, 5 planned, nothing finished, closed.
// MO-004: 101, approved but not closed: left out by the default CheckClose 0.
class Report401EngineTest : public EngineReportTest {
 protected:
  void SetUp() override {
    EngineReportTest::SetUp();
    InsertUnits();
    Exec(
        "Insert Into t_ICItem (FItemID,FNumber,FShortNumber,FName,FModel,FUnitID,FStoreUnitID,"
        "FQtyDecimal,FPriceDecimal) Values\n"
        "(101,'P.001','W1','Widget','W-1',1,2,2,4),\n"
        "(102,'P.002','G2','Gadget','G-2',1,1,0,2)");
    Exec(
        "Insert Into ICMO (FInterID,FBillNo,FDate,FItemID,FBatchNo,FUnitID,FAuxQty,FQty,"
        "FAuxFinishQty,FFinishQty,FStatus,FCancellation) Values\n"
        "(1,'MO-001','2025-06-02',101,'B1',2,10,120,4,48,3,0),\n"
        "(2,'MO-002','2025-06-03',101,'B2',1,30,30,30,30,3,0),\n"
        "(3,'MO-003','2025-06-04',102,'B3',1,5,5,0,0,3,0),\n"
        "(4,'MO-004','2025-06-05',101,'B4',1,70,70,0,0,1,0)");
  }

  std::shared_ptr<ado::Recordset> Call(std::shared_ptr<automation::Dictionary> fragments) {
    auto filter =
        MakeDictionary({{"bLongNumber", true}, {"BDate", "2025-06-01"}, {"EDate", "2025-06-30"}});
    return data_->GetRpt401Data(dsn_, fragments, filter);
  }
};

// Worked per task line (stock quantity = line quantity * Cast(line coefficient / stock
// coefficient As Decimal(23,10)), rounded to the item's quantity decimals):
//   MO-001: base Round(120, 2) = 120, finished 48; ratio 12 / 12 = 1: stock 10, finished 4
//   MO-002: base 30, finished 30; ratio Cast(1 / 12) = 0.0833333333:
//           Round(30 * 0.0833333333, 2) = Round(2.499999999, 2) = 2.50 for both
//   MO-003: base 5, finished 0; ratio 1: stock 5, finished 0
// Per item: P.001 base 150, finished 78, unfinished 72; stock 12.50, finished 6.50, unfinished
// 6.00. P.002 base 5, finished 0, unfinished 5; stock 5, 0, 5. A unit name stays Null where its
// quantity is 0.
TEST_F(Report401EngineTest, StandardFragmentsGiveOneRowPerItem) {
  const ResultTable table = ReadAll(Call(reports::Rpt401StandardFragments()));
  EXPECT_EQ(
      Pick(table, {"FItemNumber", "FBaseQty", "FFinishBQty", "FUnFinishBQty", "FStockQty",
                   "FFinishSQty", "FUnFinishSQty"}),
      (Rows{{"P.001", D10("150"), D10("78"), D10("72"), D10("12.50"), D10("6.50"), D10("6.00")},
            {"P.002", D10("5"), D10("0"), D10("5"), D10("5"), D10("0"), D10("5")}}));
  EXPECT_EQ(Pick(table, {"FItemShortNumber", "FItemName", "FModel", "FBaseUnitName",
                         "FFinishBUnitName", "FUnFinishBUnitName", "FStockUnitName",
                         "FFinishSUnitName", "FUnFinishSUnitName", "FQtyDecimal", "FPriceDecimal"}),
            (Rows{{"W1", "Widget", "W-1", "pcs", "pcs", "pcs", "box", "box", "box", "2", "4"},
                  {"G2", "Gadget", "G-2", "pcs", "NULL", "pcs", "pcs", "NULL", "pcs", "0", "2"}}));
}

TEST_F(Report401EngineTest, ItemFilterNarrowsTheClientSelection) {
  auto fragments = reports::Rpt401StandardFragments();
  fragments->SetItem("ITEMFILTER", "t2.FNumber='P.002'");
  const ResultTable table = ReadAll(Call(fragments));
  EXPECT_EQ(Pick(table, {"FItemNumber", "FBaseQty"}), (Rows{{"P.002", D10("5")}}));
}

TEST_F(Report401EngineTest, FailingClientFragmentGivesTheServiceErrorAndTheNextCallStartsClean) {
  auto broken = reports::Rpt401StandardFragments();
  broken->SetItem("Select", "Select * Into #DATA From #NoSuchTable");
  broken->SetItem("Groupby", "");
  const automation::ErrorInfo error = ErrorOf([&] { Call(broken); });
  EXPECT_EQ(error.number, -7000);
  EXPECT_EQ(error.source, std::string(kServiceName) + "::GetRpt401Data");
  EXPECT_EQ(error.description, "Invalid object name '#NoSuchTable'.");

  // #T401 was left on the connection; the next call drops it before creating it again.
  const ResultTable table = ReadAll(Call(reports::Rpt401StandardFragments()));
  EXPECT_EQ(Pick(table, {"FItemNumber", "FUnFinishBQty"}),
            (Rows{{"P.001", D10("72")}, {"P.002", D10("5")}}));
}

}  // namespace
}  // namespace orv::reports_engine
