// Report 406 (material usage per task order) on a small company database: product rows,
// material rows over, equal to and under plan on a closed and on an open task order, the
// difference rate, subtotals and the total, with the answers worked out by hand.
#include <string>

#include "engine_fixture.h"

namespace orv::reports_engine {
namespace {

// Items: 101 Widget, the product (base pcs, stock box = 12, 2 quantity / 4 price decimals);
//        201 Steel (base kg, stock t = 1000 kg, 3 / 2 decimals);
//        202 Bolt (base pcs, stock box = 12, 0 / 2 decimals).
// MO-001 (closed, status 3): 24 pcs planned and finished, rate 100. Materials:
//   e1 Steel in kg: standard 10, plan 12, actual 15 (over)
//   e2 Bolt in box: standard 2 box = 24 pcs, plan the same, actual the same (equal)
//   e3 Steel in g: standard 500 g = 0.5 kg, plan 600 g = 0.6 kg, actual 400 g = 0.4 kg (under)
// MO-002 (open, status 1): 12 pcs planned, 6 finished, rate 50. Materials:
//   e1 Bolt in pcs: standard 10, plan 10, actual 13 (over, but the task is open)
//   e2 Steel in kg: all quantities 0
class Report406EngineTest : public EngineReportTest {
 protected:
  void SetUp() override {
    EngineReportTest::SetUp();
    InsertUnits();
    Exec(
        "Insert Into t_ICItem (FItemID,FNumber,FShortNumber,FName,FModel,FUnitID,FStoreUnitID,"
        "FQtyDecimal,FPriceDecimal) Values\n"
        "(101,'P.001','W1','Widget','W-1',1,2,2,4),\n"
        "(201,'M.001','S1','Steel','S-1',3,4,3,2),\n"
        "(202,'M.002','B2','Bolt','B-2',1,2,0,2)");
    Exec(
        "Insert Into ICMO (FInterID,FBillNo,FTranType,FDate,FItemID,FBatchNo,FUnitID,FAuxQty,FQty,"
        "FAuxFinishQty,FFinishQty,FFinishRate,FStatus,FCancellation,FExp) Values\n"
        "(1,'MO-001',85,'2025-06-02',101,'B1',1,24,24,24,24,100,3,0,'closed one'),\n"
        "(2,'MO-002',85,'2025-06-03',101,'B2',1,12,12,6,6,50,1,0,Null)");
    Exec(
        "Insert Into ICMOEntry (FInterID,FEntryID,FItemID,FUnitID,FAuxQty,FQty,FAuxPlanQty,"
        "FPlanQty,FAuxDiscountQty,FDiscountQty) Values\n"
        "(1,1,201,3,10,10,12,12,15,15),\n"
        "(1,2,202,2,2,24,2,24,2,24),\n"
        "(1,3,201,5,500,0.5,600,0.6,400,0.4),\n"
        "(2,1,202,1,10,10,10,10,13,13),\n"
        "(2,2,201,3,0,0,0,0,0,0)");
  }

  // CheckClose 2 adds no status condition, so the closed and the open task order are both
  // listed (CheckState 0: status above 0, not cancelled).
  ResultTable Run(std::initializer_list<std::pair<const char*, Variant>> extra = {}) {
    auto filter = MakeDictionary({{"bLongNumber", true},
                                  {"BDate", "2025-06-01"},
                                  {"EDate", "2025-06-30"},
                                  {"CheckClose", 2}});
    for (const auto& [key, value] : extra) filter->SetItem(key, value);
    return ReadAll(data_->GetRpt406Data(dsn_, filter));
  }
};

TEST_F(Report406EngineTest, MaterialRowsSubtotalsAndTotal) {
  const ResultTable table = Run();

  // Order: FPNumberSort, FDateSort, FMOBillNOSort, FGroupSort; material rows of one task have no
  // order among themselves, the total ('zzzzzz') comes last.
  EXPECT_EQ(Pick(table, {"FGroupSort", "FSumSort", "FMOBillNOSort", "FPNumberSort"}),
            (Rows{{"0", "0", "MO-001", "P.001"},
                  {"1", "0", "MO-001", "P.001"},
                  {"1", "0", "MO-001", "P.001"},
                  {"1", "0", "MO-001", "P.001"},
                  {"3", "102", "MO-001", "P.001"},
                  {"0", "0", "MO-002", "P.001"},
                  {"1", "0", "MO-002", "P.001"},
                  {"1", "0", "MO-002", "P.001"},
                  {"3", "102", "MO-002", "P.001"},
                  {"4", "101", "NULL", "zzzzzz"}}));

  // Standard, planned and actual quantities of the material rows. Stock = base / the stock
  // unit's coefficient, then every quantity rounded to the material's decimals:
  //   MO-001 e1 Steel: 10 / 1000 = 0.01, 12 / 1000 = 0.012, 15 / 1000 = 0.015
  //   MO-001 e2 Bolt: 24 / 12 = 2 for all three
  //   MO-001 e3 Steel: 0.5 / 1000 = 0.0005 -> Round(, 3) = 0.001; 0.0006 -> 0.001;
  //                    0.0004 -> 0.000
  //   MO-002 e1 Bolt: 10 / 12 = 0.8333 -> Round(, 0) = 1; 10 -> 1; 13 / 12 = 1.0833 -> 1
  //   MO-002 e2 Steel: all 0
  // The product rows keep their quantities unrounded and carry no material quantities; the
  // product's stock quantities are 24 / 12 = 2 and 2, and 12 / 12 = 1 and 6 / 12 = 0.5.
  const std::string z = D10("0");
  EXPECT_EQ(Sorted(Pick(table, {"FGroupSort", "FMOBillNOSort", "FItemNumber", "FStandardAuxQty",
                                "FBSStandardQty", "FCUStandardQty", "FPlanDAuxQty", "FBSPlanDQty",
                                "FCUPlanDQty", "FfactAuxQty", "FBSfactQty", "FCUfactQty"})),
            Sorted(Rows{
                {"0", "MO-001", "NULL", z, z, z, z, z, z, z, z, z},
                {"1", "MO-001", "M.001", D10("10"), D10("10"), D10("0.01"), D10("12"), D10("12"),
                 D10("0.012"), D10("15"), D10("15"), D10("0.015")},
                {"1", "MO-001", "M.002", D10("2"), D10("24"), D10("2"), D10("2"), D10("24"),
                 D10("2"), D10("2"), D10("24"), D10("2")},
                {"1", "MO-001", "M.001", D10("500"), D10("0.5"), D10("0.001"), D10("600"),
                 D10("0.6"), D10("0.001"), D10("400"), D10("0.4"), z},
                // Subtotal MO-001: 10 + 2 + 500 = 512, 10 + 24 + 0.5 = 34.5,
                // 0.01 + 2 + 0.001 = 2.011; 614, 36.6, 2.013; 417, 39.4, 2.015.
                {"3", "MO-001", "NULL", D10("512"), D10("34.5"), D10("2.011"), D10("614"),
                 D10("36.6"), D10("2.013"), D10("417"), D10("39.4"), D10("2.015")},
                {"0", "MO-002", "NULL", z, z, z, z, z, z, z, z, z},
                {"1", "MO-002", "M.002", D10("10"), D10("10"), D10("1"), D10("10"), D10("10"),
                 D10("1"), D10("13"), D10("13"), D10("1")},
                {"1", "MO-002", "M.001", z, z, z, z, z, z, z, z, z},
                {"3", "MO-002", "NULL", D10("10"), D10("10"), D10("1"), D10("10"), D10("10"),
                 D10("1"), D10("13"), D10("13"), D10("1")},
                // Total over kinds 0 and 1: 522, 44.5, 3.011; 624, 46.6, 3.013; 430, 52.4,
                // 3.015.
                {"4", "NULL", "NULL", D10("522"), D10("44.5"), D10("3.011"), D10("624"),
                 D10("46.6"), D10("3.013"), D10("430"), D10("52.4"), D10("3.015")},
            }));

  // Product quantities, the difference (actual - planned) and its rate, and the situation:
  //   MO-001 e1: 15 - 12 = 3; stock 3 / 1000 = 0.003; rate Round(3 / 12 * 100, 2) = 25.00; over
  //   MO-001 e2: 0 everywhere; no rate; equal
  //   MO-001 e3: 400 - 600 = -200 g; -0.2 kg; -0.0002 t -> Round(, 3) = 0;
  //              rate Round(-0.2 / 0.6 * 100, 2) = -33.33; under
  //   MO-002 e1: 3; 3; 3 / 12 = 0.25 -> Round(, 0) = 0; rate Round(3 / 10 * 100, 2) = 30.00;
  //              the task is open, so "unfinished" whatever the difference
  //   MO-002 e2: 0; no rate; unfinished
  //   Subtotals: MO-001 3 + 0 - 200 = -197, 3 + 0 - 0.2 = 2.8, 0.003; MO-002 3, 3, 0.
  //   Total: -194, 5.8, 0.003.
  // FFinishRate: the task's rate on product rows, Null elsewhere (0 turned to Null).
  EXPECT_EQ(Sorted(Pick(table, {"FGroupSort", "FMOBillNOSort", "FItemNumber", "FPlanAuxQty",
                                "FBSPlanQty", "FCUPlanQty", "FFinishAuxQty", "FBSFinishQty",
                                "FCUFinishQty", "FDiffAuxQty", "FBSDiffQty", "FCUDiffQty",
                                "FDiffRate", "FSituation", "FFinishRate"})),
            Sorted(Rows{
                {"0", "MO-001", "NULL", D10("24"), D10("24"), D10("2"), D10("24"), D10("24"),
                 D10("2"), z, z, z, "NULL", "NULL", "100.00"},
                {"1", "MO-001", "M.001", z, z, z, z, z, z, D10("3"), D10("3"), D10("0.003"),
                 "25.00", "超额", "NULL"},
                {"1", "MO-001", "M.002", z, z, z, z, z, z, z, z, z, "NULL", "正常", "NULL"},
                {"1", "MO-001", "M.001", z, z, z, z, z, z, D10("-200"), D10("-0.2"), z, "-33.33",
                 "节约", "NULL"},
                {"3", "MO-001", "NULL", D10("24"), D10("24"), D10("2"), D10("24"), D10("24"),
                 D10("2"), D10("-197"), D10("2.8"), D10("0.003"), "NULL", "NULL", "NULL"},
                {"0", "MO-002", "NULL", D10("12"), D10("12"), D10("1"), D10("6"), D10("6"),
                 D10("0.5"), z, z, z, "NULL", "NULL", "50.00"},
                {"1", "MO-002", "M.002", z, z, z, z, z, z, D10("3"), D10("3"), z, "30.00", "未完工",
                 "NULL"},
                {"1", "MO-002", "M.001", z, z, z, z, z, z, z, z, z, "NULL", "未完工", "NULL"},
                {"3", "MO-002", "NULL", D10("12"), D10("12"), D10("1"), D10("6"), D10("6"),
                 D10("0.5"), D10("3"), D10("3"), z, "NULL", "NULL", "NULL"},
                {"4", "NULL", "NULL", D10("36"), D10("36"), D10("3"), D10("30"), D10("30"),
                 D10("2.5"), D10("-194"), D10("5.8"), D10("0.003"), "NULL", "NULL", "NULL"},
            }));
}

TEST_F(Report406EngineTest, NamesAndUnitNames) {
  const ResultTable table = Run();

  // Product rows: the task unit and the product's base and stock units. Subtotals carry the
  // product name with the subtotal mark, the total "合计".
  EXPECT_EQ(Sorted(Pick(table, {"FGroupSort", "FMOBillNOSort", "FPName", "FPNumber",
                                "FPlanUnitName", "FBSPlanUnitName", "FCUPlanUnitName",
                                "FFinishUnitName", "FBSFinishUnitName", "FCUFinishUnitName", "FExp",
                                "FQtyDecimal", "FPriceDecimal"})),
            Sorted(Rows{
                {"0", "MO-001", "Widget", "P.001", "pcs", "pcs", "box", "pcs", "pcs", "box",
                 "closed one", "2", "4"},
                {"1", "MO-001", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
                 "NULL", "3", "2"},
                {"1", "MO-001", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
                 "NULL", "0", "2"},
                {"1", "MO-001", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
                 "NULL", "3", "2"},
                {"3", "MO-001", "Widget（小计）", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
                 "NULL", "NULL", "NULL", "NULL"},
                {"0", "MO-002", "Widget", "P.001", "pcs", "pcs", "box", "pcs", "pcs", "box", "NULL",
                 "2", "4"},
                {"1", "MO-002", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
                 "NULL", "0", "2"},
                {"1", "MO-002", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
                 "NULL", "3", "2"},
                {"3", "MO-002", "Widget（小计）", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
                 "NULL", "NULL", "NULL", "NULL"},
                {"4", "NULL", "合计", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
                 "NULL", "NULL", "NULL"},
            }));

  // Material rows: the line's own unit names the standard quantity (and the actual and
  // difference ones where they are not 0); the base and stock names are the material's, '' where
  // the quantity they label is 0. The planned quantity always carries the line unit's name.
  EXPECT_EQ(Sorted(Pick(
                table, {"FMOBillNOSort", "FItemNumber", "FItemName", "FStandardUnitName",
                        "FBSStandardUnitName", "FCUStandardUnitName", "FPlanDUnitName",
                        "FBSPlanDUnitName", "FCUPlanDUnitName", "FfactUnitName", "FBSfactUnitName",
                        "FCUfactUnitName", "FDiffUnitName", "FBSDiffUnitName", "FCUDiffUnitName"})),
            Sorted(Rows{
                {"MO-001", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
                 "NULL", "NULL", "NULL", "NULL", "NULL"},
                {"MO-001", "M.001", "Steel", "kg", "kg", "t", "kg", "kg", "t", "kg", "kg", "t",
                 "kg", "kg", "t"},
                {"MO-001", "M.002", "Bolt", "box", "pcs", "box", "box", "pcs", "box", "box", "pcs",
                 "box", "", "", ""},
                {"MO-001", "M.001", "Steel", "g", "kg", "t", "g", "kg", "t", "g", "kg", "t", "g",
                 "kg", "t"},
                {"MO-001", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
                 "NULL", "NULL", "NULL", "NULL", "NULL"},
                {"MO-002", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
                 "NULL", "NULL", "NULL", "NULL", "NULL"},
                {"MO-002", "M.002", "Bolt", "pcs", "pcs", "box", "pcs", "pcs", "box", "pcs", "pcs",
                 "box", "pcs", "pcs", "box"},
                {"MO-002", "M.001", "Steel", "kg", "", "", "kg", "", "", "", "", "", "", "", ""},
                {"MO-002", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
                 "NULL", "NULL", "NULL", "NULL", "NULL"},
                {"NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
                 "NULL", "NULL", "NULL", "NULL", "NULL"},
            }));
}

TEST_F(Report406EngineTest, DisplayTypeOneKeepsTheTotalButNoSubtotals) {
  EXPECT_EQ(Pick(Run({{"DisplayType", 1}}), {"FGroupSort"}),
            (Rows{{"0"}, {"1"}, {"1"}, {"1"}, {"0"}, {"1"}, {"1"}, {"4"}}));
}

TEST_F(Report406EngineTest, OnlyTheTotalRowWhenNothingMatches) {
  // CheckState 1 (status 0) and CheckClose 0 (status 3) contradict each other.
  const ResultTable table = Run({{"CheckState", 1}, {"CheckClose", 0}});
  EXPECT_EQ(Pick(table, {"FGroupSort", "FSumSort", "FPNumberSort", "FPName", "FPlanAuxQty",
                         "FBSDiffQty", "FFinishRate"}),
            (Rows{{"4", "101", "zzzzzz", "合计", "NULL", "NULL", "NULL"}}));
}

}  // namespace
}  // namespace orv::reports_engine
