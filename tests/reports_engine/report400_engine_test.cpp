// Report 400 (task execution summary) on a small company database: task-order, receipt,
// subtotal and grand-total rows with their quantities in task, base and stock units, worked out
// by hand from the rows inserted below.
#include <string>

#include "engine_fixture.h"

namespace orv::reports_engine {
namespace {

// Two closed task orders in June 2025 and two that the default status conditions leave out.
//
// Items: 101 Widget (base pcs, stock box = 12 pcs, 2 quantity decimals),
//        102 Gadget (base pcs, stock box, 0 quantity decimals).
// MO-001: item 101 in pcs, plan 100, finished 90. Receipts: blue IN-011 40 pcs, blue IN-012
//         5 box holding 60 base, red IN-013 -10 pcs reversing IN-011, and a cancelled IN-014.
// MO-002: item 102 in pk (coefficient 5 + scale 1 = 6 pcs), plan 7.4, nothing finished or
//         received.
// MO-003 is approved but not closed, MO-005 closed but cancelled: neither is listed.
class Report400EngineTest : public EngineReportTest {
 protected:
  void SetUp() override {
    EngineReportTest::SetUp();
    InsertUnits();
    Exec(
        "Insert Into t_ICItem (FItemID,FNumber,FShortNumber,FName,FModel,FUnitID,FStoreUnitID,"
        "FQtyDecimal,FPriceDecimal) Values\n"
        "(101,'P.001','W1','Widget','W-1',1,2,2,4),\n"
        "(102,'P.002','G2','Gadget','G-2',1,2,0,2)");
    Exec(
        "Insert Into ICMO (FInterID,FBillNo,FTranType,FDate,FItemID,FBatchNo,FUnitID,FAuxQty,FQty,"
        "FAuxFinishQty,FFinishQty,FFinishRate,FStatus,FCancellation,FBeginDate,FPlanFinishDate,"
        "FFinishDate,FExp) Values\n"
        "(1,'MO-001',85,'2025-06-02',101,'B1',1,100,100,90,90,90,3,0,'2025-06-02','2025-06-10',"
        "'2025-06-09','first'),\n"
        "(2,'MO-002',85,'2025-06-03',102,'B2',6,7.4,37,0,0,0,3,0,'2025-06-03','2025-06-20',Null,"
        "Null),\n"
        "(3,'MO-003',85,'2025-06-04',101,'B3',1,50,50,0,0,0,1,0,'2025-06-04','2025-06-20',Null,"
        "Null),\n"
        "(5,'MO-005',85,'2025-06-05',101,'B5',1,20,20,20,20,100,3,1,'2025-06-05','2025-06-06',"
        "'2025-06-06',Null)");
    Exec(
        "Insert Into ICStockBill (FInterID,FBillNo,FTranType,FDate,FROB,FStatus,FCancellation,"
        "FExplanation) Values\n"
        "(11,'IN-011',2,'2025-06-05',1,1,0,'blue 40'),\n"
        "(12,'IN-012',2,'2025-06-06',1,1,0,'blue 60'),\n"
        "(13,'IN-013',2,'2025-06-07',-1,1,0,'red 10'),\n"
        "(14,'IN-014',2,'2025-06-08',1,1,1,'cancelled')");
    Exec(
        "Insert Into ICStockBillEntry (FInterID,FEntryID,FItemID,FUnitID,FAuxQty,FQty,"
        "FSourceTranType,FSourceInterID) Values\n"
        "(11,1,101,1,40,40,85,1),\n"
        "(12,1,101,2,5,60,85,1),\n"
        "(13,1,101,1,-10,-10,2,11),\n"
        "(14,1,101,1,999,999,85,1)");
  }

  ResultTable Run(std::initializer_list<std::pair<const char*, Variant>> extra = {}) {
    auto filter =
        MakeDictionary({{"bLongNumber", true}, {"BDate", "2025-06-01"}, {"EDate", "2025-06-30"}});
    for (const auto& [key, value] : extra) filter->SetItem(key, value);
    return ReadAll(data_->GetRpt400Data(dsn_, filter));
  }
};

// Row kind and task order of every row, in result order.
Rows Keys(const ResultTable& table) { return Pick(table, {"FGroupSort", "FMOBillNOSort"}); }

TEST_F(Report400EngineTest, RowsQuantitiesSubtotalsAndGrandTotal) {
  const ResultTable table = Run();

  // Default order: FIsTotal, FNumberSort, FDateSort, FMOBillNOSort, FGroupSort. The three receipt
  // lines of MO-001 tie on every key, so only their kind is fixed.
  EXPECT_EQ(Keys(table), (Rows{{"0", "MO-001"},
                               {"1", "MO-001"},
                               {"1", "MO-001"},
                               {"1", "MO-001"},
                               {"3", "MO-001"},
                               {"0", "MO-002"},
                               {"3", "MO-002"},
                               {"4", "NULL"}}));

  // Quantities. Stock unit = base / 12, rounded to the item's quantity decimals:
  //   MO-001 plan   Round(100 * (1 + 0), 2) = 100;  Round(100 / 12, 2) = 8.33
  //          finish Round(90 * 1, 2) = 90;          Round(90 / 12, 2)  = 7.50
  //   IN-011 40 pcs: base 40 (as stored), stock Round(40 / 12, 2) = 3.33
  //   IN-012 5 box: base 60 (as stored), stock Round(60 / 12, 2) = 5.00
  //   IN-013 red -10 pcs: base -10, stock Round(-10 / 12, 2) = -0.83
  //   MO-002 plan Round(7.4, 0) = 7 pk; base Round(7 * (5 + 1), 0) = 42 (recomputed, the stored
  //          37 is replaced); stock Round(42 / 12, 0) = Round(3.5, 0) = 4
  //   Subtotal MO-001: received 40 + 5 - 10 = 35 (line units), 40 + 60 - 10 = 90 base,
  //          3.33 + 5.00 - 0.83 = 7.50 stock; unreceived 100 - 90 = 10, 8.33 - 7.50 = 0.83
  //   Subtotal MO-002: unreceived = plan: 42 and 4
  //   Grand total over kinds 0 and 1: plan 107 / 142 / 12.33, finish 90 / 90 / 7.50,
  //          received 35 / 90 / 7.50, unreceived 142 - 90 = 52 and 12.33 - 7.50 = 4.83
  const Rows quantities =
      Pick(table, {"FGroupSort", "FInterID", "FPlanAuxQty", "FBSPlanQty", "FCUPlanQty",
                   "FFinishAuxQty", "FBSFinishQty", "FCUFinishQty", "FStockAuxQty", "FBSStockQty",
                   "FCUStockQty", "FBSUnStockQty", "FCUUnStockQty"});
  const std::string z = D10("0");
  EXPECT_EQ(Sorted(quantities),
            Sorted(Rows{
                {"0", "1", D10("100"), D10("100"), D10("8.33"), D10("90"), D10("90"), D10("7.50"),
                 z, z, z, z, z},
                {"1", "11", z, z, z, z, z, z, D10("40"), D10("40"), D10("3.33"), z, z},
                {"1", "12", z, z, z, z, z, z, D10("5"), D10("60"), D10("5.00"), z, z},
                {"1", "13", z, z, z, z, z, z, D10("-10"), D10("-10"), D10("-0.83"), z, z},
                {"3", "NULL", D10("100"), D10("100"), D10("8.33"), D10("90"), D10("90"),
                 D10("7.50"), D10("35"), D10("90"), D10("7.50"), D10("10"), D10("0.83")},
                {"0", "2", D10("7"), D10("42"), D10("4"), z, z, z, z, z, z, z, z},
                {"3", "NULL", D10("7"), D10("42"), D10("4"), z, z, z, z, z, z, D10("42"), D10("4")},
                {"4", "NULL", D10("107"), D10("142"), D10("12.33"), D10("90"), D10("90"),
                 D10("7.50"), D10("35"), D10("90"), D10("7.50"), D10("52"), D10("4.83")},
            }));
}

TEST_F(Report400EngineTest, NamesUnitNamesAndSortKeys) {
  const ResultTable table = Run();
  ASSERT_EQ(table.rows.size(), 8u);

  // Identity columns: task rows carry the task order, receipt rows their bill, the subtotal the
  // item name with the subtotal mark, the grand total "合计" and no item or sort keys (the
  // sort-key update finds no task order for it and writes Null over 'zzzzzz').
  EXPECT_EQ(
      Sorted(
          Pick(table, {"FGroupSort", "FInterID", "FEntryID", "FItemID", "FTranType", "FStockBillNo",
                       "FName", "FNumberSort", "FSumSort", "FIsTotal", "FDateSort", "FNameSort"})),
      Sorted(Rows{
          {"0", "1", "NULL", "101", "85", "NULL", "Widget", "P.001", "0", "0", "2025-06-02",
           "Widget"},
          {"1", "11", "1", "101", "2", "IN-011", "NULL", "P.001", "0", "0", "2025-06-02", "Widget"},
          {"1", "12", "1", "101", "2", "IN-012", "NULL", "P.001", "0", "0", "2025-06-02", "Widget"},
          {"1", "13", "1", "101", "2", "IN-013", "NULL", "P.001", "0", "0", "2025-06-02", "Widget"},
          {"3", "NULL", "NULL", "101", "NULL", "NULL", "Widget（小计）", "P.001", "102", "0",
           "2025-06-02", "Widget"},
          {"0", "2", "NULL", "102", "85", "NULL", "Gadget", "P.002", "0", "0", "2025-06-03",
           "Gadget"},
          {"3", "NULL", "NULL", "102", "NULL", "NULL", "Gadget（小计）", "P.002", "102", "0",
           "2025-06-03", "Gadget"},
          {"4", "NULL", "NULL", "NULL", "NULL", "NULL", "合计", "NULL", "101", "1", "NULL", "NULL"},
      }));

  // Unit names: base pcs and stock box of the row's item, '' where the quantity they label is 0;
  // the unreceived names only on subtotals; none at all on the grand total. The task row's own
  // unit names: MO-002 is planned in pk and finished nothing ('').
  EXPECT_EQ(
      Sorted(Pick(table, {"FGroupSort", "FInterID", "FPlanUnitName", "FBSPlanUnitName",
                          "FCUPlanUnitName", "FFinishUnitName", "FBSFinishUnitName",
                          "FCUFinishUnitName", "FStockUnitName", "FBSStockUnitName",
                          "FCUStockUnitName", "FBSUnStockUnitName", "FCUUnStockUnitName"})),
      Sorted(Rows{
          {"0", "1", "pcs", "pcs", "box", "pcs", "pcs", "box", "NULL", "", "", "NULL", "NULL"},
          {"1", "11", "NULL", "", "", "NULL", "", "", "pcs", "pcs", "box", "NULL", "NULL"},
          {"1", "12", "NULL", "", "", "NULL", "", "", "box", "pcs", "box", "NULL", "NULL"},
          {"1", "13", "NULL", "", "", "NULL", "", "", "pcs", "pcs", "box", "NULL", "NULL"},
          {"3", "NULL", "NULL", "pcs", "box", "NULL", "pcs", "box", "NULL", "pcs", "box", "pcs",
           "box"},
          {"0", "2", "pk", "pcs", "box", "", "", "", "NULL", "", "", "NULL", "NULL"},
          {"3", "NULL", "NULL", "pcs", "box", "NULL", "", "", "NULL", "", "", "pcs", "box"},
          {"4", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
           "NULL", "NULL"},
      }));

  // Task-order details: the finish rate keeps 2 places in a Decimal(23,10) column, and the
  // receipt rows carry the bill's explanation and date.
  EXPECT_EQ(Cell(table, 0, "FFinishRate"), D10("90"));
  EXPECT_EQ(Cell(table, 0, "FExp"), "first");
  EXPECT_EQ(Cell(table, 0, "FDate"), "2025-06-02");
  EXPECT_EQ(Cell(table, 0, "FQtyDecimal"), "2");
  EXPECT_EQ(Cell(table, 0, "FPriceDecimal"), "4");
  EXPECT_EQ(Cell(table, 5, "FFinishRate"), D10("0"));
  EXPECT_EQ(Sorted(Pick(table, {"FStockBillNo", "FStockDate", "FExp"})),
            Sorted(Rows{{"NULL", "NULL", "first"},
                        {"IN-011", "2025-06-05", "blue 40"},
                        {"IN-012", "2025-06-06", "blue 60"},
                        {"IN-013", "2025-06-07", "red 10"},
                        {"NULL", "NULL", "NULL"},
                        {"NULL", "NULL", "NULL"},
                        {"NULL", "NULL", "NULL"},
                        {"NULL", "NULL", "NULL"}}));
}

TEST_F(Report400EngineTest, DisplayTypeOneLeavesOutExactlyTheSubtotals) {
  EXPECT_EQ(Keys(Run({{"DisplayType", 1}})), (Rows{{"0", "MO-001"},
                                                   {"1", "MO-001"},
                                                   {"1", "MO-001"},
                                                   {"1", "MO-001"},
                                                   {"0", "MO-002"},
                                                   {"4", "NULL"}}));
  EXPECT_EQ(Keys(Run({{"DisplayType", 2}})).size(), 8u);
}

TEST_F(Report400EngineTest, CallerOrderStillPutsTheGrandTotalLast) {
  // " order by FIsTotal,FNumberSort desc,FMOBillNOSort,FGroupSort"
  EXPECT_EQ(Keys(Run({{"Orderby", "FNumberSort desc"}})), (Rows{{"0", "MO-002"},
                                                                {"3", "MO-002"},
                                                                {"0", "MO-001"},
                                                                {"1", "MO-001"},
                                                                {"1", "MO-001"},
                                                                {"1", "MO-001"},
                                                                {"3", "MO-001"},
                                                                {"4", "NULL"}}));
}

TEST_F(Report400EngineTest, EmptySelectionGivesNoRows) {
  // No task order in August: the grand-total insert sums nothing, its Null sums are refused by
  // the not-null quantity columns, and #Data stays empty.
  const ResultTable table = Run({{"BDate", "2025-08-01"}, {"EDate", "2025-08-31"}});
  EXPECT_EQ(table.rows.size(), 0u);
  EXPECT_EQ(table.columns.size(), 58u);
}

TEST_F(Report400EngineTest, RejectedBatchGivesTheServiceErrorAndTheNextCallStartsClean) {
  // The caller's order names a column #Data does not have: batch 2 fails before it drops the
  // tables, which stay on the report connection.
  const automation::ErrorInfo error = ErrorOf([&] { Run({{"Orderby", "FNoSuchColumn"}}); });
  EXPECT_EQ(error.number, -7000);
  EXPECT_EQ(error.source, std::string(kServiceName) + "::GetRpt400Data");
  EXPECT_EQ(error.description, "Invalid column name 'FNoSuchColumn'.");

  // The guards of the next batch 1 drop the leftovers; the report comes out whole.
  EXPECT_EQ(Keys(Run()).size(), 8u);
}

}  // namespace
}  // namespace orv::reports_engine
