// Report 499 (work-in-process roll-forward) on a small company database: candidates from every
// source, the period start from the period before across a year boundary, input, output and
// period-end quantities, costs and prices, worked out by hand.
#include <string>

#include "engine_fixture.h"
#include "reports/cost/rpt499_client.h"

namespace orv::reports_engine {
namespace {

// Calendar: 2024/11, 2024/12, 2025/1 (the report period; the one before is 2024/12).
// Items: 101 Widget (stock box = 12 pcs, 2 quantity / 3 price decimals), 102 Gadget (stock pcs,
//        0 / 2), 103 Gizmo (stock pcs, 2 / 2), 201 Steel (a material).
// Task orders: 1 (101, B1), 2 (102, no batch), 3 (103, B3), 6 (102, B6).
// Stock bills:
//   21 blue issue 2025-01-10 for task 1: header 101/B1, 36 pcs of production; line 500
//   22 blue stock-in 2025-01-20 from task 1: 2 box (24 pcs), 400
//   23 blue stock-in 2025-01-15 from task 2: 4 pcs, 80
//   24 blue issue 2024-12-20 for task 3: header 103/B3; line 200
//   25 red issue 2025-01-05 reversing 24: header 103/B3, -2 pcs of production; line -40
//   26 red stock-in 2025-01-25 reversing 22: header 101/B1; -1 box (-12 pcs), -200
//   27 blue stock-in 2024-12-28 from task 6: 10 pcs, 150
//   28 red stock-in 2025-01-08 reversing 27: header 102/B6; line batch B6, -3 pcs, -45
// Fee apportionments: 41 2025-01-31 approved 101/B1 work 30, making 20, the rest Null;
//   42 2024-12-31 approved 101/B1 work 99; 43 2025-01-15 not approved 101/B1 work 1000.
// Work in process (t_ICProduction): 2024/12 end 101/B1 24, 102/'' 5;
//   2025/1 end 101/B1 1.005, 102/Null 1, 103/B5 start 3 and end 2.5.
// Product cost (t_ICPPrice): 2024/12 101/B1 240, 101/B4 75.5; 2025/1 101/B1 390, 102/'' 20.
class Report499EngineTest : public EngineReportTest {
 protected:
  void SetUp() override {
    EngineReportTest::SetUp();
    InsertUnits();
    Exec(
        "Insert Into t_PeriodDate (FYear,FPeriod,FStartDate,FEndDate) Values\n"
        "(2024,11,'2024-11-01','2024-11-30'),(2024,12,'2024-12-01','2024-12-31'),\n"
        "(2025,1,'2025-01-01','2025-01-31')");
    Exec(
        "Insert Into t_ICItem (FItemID,FNumber,FShortNumber,FName,FModel,FUnitID,FStoreUnitID,"
        "FQtyDecimal,FPriceDecimal) Values\n"
        "(101,'P.001','W1','Widget','W-1',1,2,2,3),\n"
        "(102,'P.002','G2','Gadget','G-2',1,1,0,2),\n"
        "(103,'P.003','Z3','Gizmo','Z-3',1,1,2,2),\n"
        "(201,'M.001','S1','Steel','S-1',3,3,3,2)");
    Exec(
        "Insert Into ICMO (FInterID,FBillNo,FDate,FItemID,FBatchNo,FUnitID,FStatus,FCancellation)"
        " Values\n"
        "(1,'MO-001','2024-12-10',101,'B1',1,1,0),(2,'MO-002','2025-01-02',102,Null,1,1,0),\n"
        "(3,'MO-003','2024-12-15',103,'B3',1,1,0),(6,'MO-006','2024-12-20',102,'B6',1,1,0)");
    Exec(
        "Insert Into ICStockBill (FInterID,FBillNo,FTranType,FDate,FROB,FStatus,FCancellation,"
        "FMOItemID,FBatchNo,FMOQty,FMOBaseUnitID) Values\n"
        "(21,'OUT-021',24,'2025-01-10',1,1,0,101,'B1',36,1),\n"
        "(22,'IN-022',2,'2025-01-20',1,1,0,Null,Null,0,Null),\n"
        "(23,'IN-023',2,'2025-01-15',1,1,0,Null,Null,0,Null),\n"
        "(24,'OUT-024',24,'2024-12-20',1,1,0,103,'B3',10,1),\n"
        "(25,'OUT-025',24,'2025-01-05',-1,1,0,103,'B3',-2,1),\n"
        "(26,'IN-026',2,'2025-01-25',-1,1,0,101,'B1',0,Null),\n"
        "(27,'IN-027',2,'2024-12-28',1,1,0,Null,Null,0,Null),\n"
        "(28,'IN-028',2,'2025-01-08',-1,1,0,102,'B6',0,Null)");
    Exec(
        "Insert Into ICStockBillEntry (FInterID,FEntryID,FItemID,FUnitID,FBatchNo,FAuxQty,FQty,"
        "FAmount,FSourceTranType,FSourceInterID,FMOInterID) Values\n"
        "(21,1,201,3,Null,50,50,500,85,1,1),\n"
        "(22,1,101,2,'B1',2,24,400,85,1,1),\n"
        "(23,1,102,1,Null,4,4,80,85,2,2),\n"
        "(24,1,201,3,Null,20,20,200,85,3,3),\n"
        "(25,1,201,3,Null,-4,-4,-40,24,24,3),\n"
        "(26,1,101,2,'B1',-1,-12,-200,2,22,1),\n"
        "(27,1,102,1,'B6',10,10,150,85,6,6),\n"
        "(28,1,102,1,'B6',-3,-3,-45,2,27,6)");
    Exec(
        "Insert Into ICApportionFee (FInterID,FBillNo,FTranType,FDate,FStatus,FCancellation)"
        " Values\n"
        "(41,'AF-041',87,'2025-01-31',1,0),(42,'AF-042',87,'2024-12-31',1,0),"
        "(43,'AF-043',87,'2025-01-15',0,0)");
    Exec(
        "Insert Into ICApportionFeeEntry (FInterID,FEntryID,FItemID,FBatchNo,FSourceTranType,"
        "FWorkFee,FMakingFee,FAuxMaterialFee,FWaterElecFee,FDepreciationFee,FOtherFee) Values\n"
        "(41,1,101,'B1',2,30,20,Null,Null,Null,Null),\n"
        "(42,1,101,'B1',2,99,0,0,0,0,0),\n"
        "(43,1,101,'B1',2,1000,0,0,0,0,0)");
    Exec(
        "Insert Into t_ICProduction (FInterID,FYear,FPeriod,FItemID,FBatchNo,FPeriodStartNum,"
        "FPeriodStartCost,FPeriodEndNum,FPeriodEndCost) Values\n"
        "(51,2024,12,101,'B1',0,0,24,0),(52,2024,12,102,'',0,0,5,0),\n"
        "(53,2025,1,101,'B1',0,0,1.005,0),(54,2025,1,102,Null,0,0,1,0),\n"
        "(55,2025,1,103,'B5',3,0,2.5,0)");
    Exec(
        "Insert Into t_ICPPrice (FYear,FPeriod,FItemID,FBatchNo,FPeriodEndCost) Values\n"
        "(2024,12,101,'B1',240),(2024,12,101,'B4',75.5),(2025,1,101,'B1',390),(2025,1,102,'',20)");
  }

  // Client texts that keep one #DATA row per #T499 row, in item and batch order.
  static std::shared_ptr<automation::Dictionary> DetailFragments() {
    return MakeDictionary({{"Select", "Select * Into #DATA From #T499 Where 1=1 ##ITEMFILTER##"},
                           {"Groupby", ""},
                           {"ITEMFILTER", ""},
                           {"EndSel", "Select * From #DATA Order By FNumber,FBatchNo"}});
  }

  ResultTable Run(int16_t year, int16_t period, std::shared_ptr<automation::Dictionary> fragments,
                  std::initializer_list<std::pair<const char*, Variant>> filter = {}) {
    return ReadAll(data_->Get499HappenData(dsn_, year, period, fragments, MakeDictionary(filter)));
  }
};

const char* const kQuantityColumns[] = {
    "FPeriodStartNum", "FPeriodStartCost", "FCurInNum",     "FCurInCost",      "FCurOutNum",
    "FCurOutPrice",    "FCurOutCost",      "FPeriodEndNum", "FPeriodEndPrice", "FPeriodEndCost"};

Rows PickRoll(const ResultTable& table, std::initializer_list<const char*> keys) {
  Rows out = Pick(table, keys);
  const Rows values = Pick(
      table, {kQuantityColumns[0], kQuantityColumns[1], kQuantityColumns[2], kQuantityColumns[3],
              kQuantityColumns[4], kQuantityColumns[5], kQuantityColumns[6], kQuantityColumns[7],
              kQuantityColumns[8], kQuantityColumns[9]});
  for (size_t i = 0; i < out.size(); ++i) {
    out[i].insert(out[i].end(), values[i].begin(), values[i].end());
  }
  return out;
}

// Candidates (item, batch): blue bills of January from a task: 101/B1 (21, 22), 102/Null (23);
// red stock-in reversing a task's blue stock-in: 101/B1 (26), 102/B6 (28); red issue reversing a
// task's blue issue: 103/B3 (25); work in process at the end of 2024/12: 101/B1, 102/''; at the
// start of 2025/1: 103/B5; product cost of 2024/12: 101/B1, 101/B4. Null and '' stay apart.
//
// Per row (quantities in the item's stock unit):
//   start    = end of 2024/12 in t_ICProduction, cost = t_ICPPrice of 2024/12:
//              101/B1 24 and 240; 101/B4 cost 75.5; 102/Null and 102/'' both 5 (Null matches '')
//   in cost  = 101/B1: issue line 500 + fees 30 + 20 (Nulls as 0) = 550; fees of December and the
//              unapproved one do not count;
//              103/B3: red issue line -40 (sign kept);
//              102/B6: red stock-in 28 reverses a December bill, |-45| = 45
//   in qty   = issue headers of January: 101/B1 36 pcs / 12 = 3; 103/B3 -2.
//              Red stock-in lines of January count (absolute, converted) because some task's blue
//              stock-in line lies before January (bill 27): 26 adds 1 box to 101/B1 (header item
//              and batch), 28 adds 3 to 102/B6; 28 reverses a December bill and adds 3 again.
//              101/B1 3 + 1 = 4; 102/B6 3 + 3 = 6; 103/B3 -2
//   out      = blue stock-in from tasks plus red ones against January blue bills:
//              101/B1 2 box, 400 and -1 box, -200: 1 and 200, price Round(200 / 1, 3) = 200;
//              102/Null 4 pcs, 80 (both 102 rows), price Round(80 / 4, 2) = 20
//   end      = 2025/1: 101/B1 Round(1.005, 2) = 1.01, cost 390, price Round(390 / 1.01, 3) =
//              Round(386.1386.., 3) = 386.139; 102/Null and '' 1, cost 20, price 20;
//              103/B5 2.5, cost 0, price 0 (its own start of 3 is not a period-start figure)
TEST_F(Report499EngineTest, RollForwardPerItemAndBatch) {
  const ResultTable table = Run(2025, 1, DetailFragments());
  const std::string z = D10("0");
  EXPECT_EQ(
      PickRoll(table, {"FNumber", "FBatchNo", "FItemID", "FName", "FModel", "FUnit"}),
      (Rows{{"P.001", "B1", "101", "Widget", "W-1", "box", D10("24"), D10("240"), D10("4"),
             D10("550"), D10("1"), D10("200"), D10("200"), D10("1.01"), D10("386.139"), D10("390")},
            {"P.001", "B4", "101", "Widget", "W-1", "box", z, D10("75.5"), z, z, z, z, z, z, z, z},
            {"P.002", "NULL", "102", "Gadget", "G-2", "pcs", D10("5"), z, z, z, D10("4"), D10("20"),
             D10("80"), D10("1"), D10("20"), D10("20")},
            {"P.002", "", "102", "Gadget", "G-2", "pcs", D10("5"), z, z, z, D10("4"), D10("20"),
             D10("80"), D10("1"), D10("20"), D10("20")},
            {"P.002", "B6", "102", "Gadget", "G-2", "pcs", z, z, D10("6"), D10("45"), z, z, z, z, z,
             z},
            {"P.003", "B3", "103", "Gizmo", "Z-3", "pcs", z, z, D10("-2"), D10("-40"), z, z, z, z,
             z, z},
            {"P.003", "B5", "103", "Gizmo", "Z-3", "pcs", z, z, z, z, z, z, z, D10("2.5"), z, z}}));
  EXPECT_EQ(Pick(table, {"FSumSort"}), (Rows{{"0"}, {"0"}, {"0"}, {"0"}, {"0"}, {"0"}, {"0"}}));
}

// The standard client texts sum per item and recompute the prices from the sums:
//   P.001 start 24, cost 240 + 75.5 = 315.5; in 4, 550; out 1, 200, price 200;
//         end 1.01, 390, price Round(390 / 1.01, 3) = 386.139
//   P.002 start 5 + 5 = 10; in 6, 45; out 4 + 4 = 8, 80 + 80 = 160, price Round(160 / 8, 2) = 20;
//         end 1 + 1 = 2, 20 + 20 = 40, price 20
//   P.003 in -2, -40; end 2.5, cost 0, price Round(0 / 2.5, 2) = 0
TEST_F(Report499EngineTest, StandardFragmentsSumPerItem) {
  const ResultTable table = Run(2025, 1, reports::Rpt499StandardFragments());
  const std::string z = D10("0");
  EXPECT_EQ(PickRoll(table, {"FNumber", "FName", "FModel", "FUnit"}),
            (Rows{{"P.001", "Widget", "W-1", "box", D10("24"), D10("315.5"), D10("4"), D10("550"),
                   D10("1"), D10("200"), D10("200"), D10("1.01"), D10("386.139"), D10("390")},
                  {"P.002", "Gadget", "G-2", "pcs", D10("10"), z, D10("6"), D10("45"), D10("8"),
                   D10("20"), D10("160"), D10("2"), D10("20"), D10("40")},
                  {"P.003", "Gizmo", "Z-3", "pcs", z, z, D10("-2"), D10("-40"), z, z, z, D10("2.5"),
                   z, z}}));
}

TEST_F(Report499EngineTest, ItemRangeNarrowsTheCopy) {
  const ResultTable table =
      Run(2025, 1, DetailFragments(), {{"BItemNumber", "P.002"}, {"EItemNumber", "P.003"}});
  EXPECT_EQ(
      Pick(table, {"FNumber", "FBatchNo"}),
      (Rows{{"P.002", "NULL"}, {"P.002", ""}, {"P.002", "B6"}, {"P.003", "B3"}, {"P.003", "B5"}}));
  // Reversed bounds copy nothing; one bound alone copies everything.
  EXPECT_EQ(Run(2025, 1, DetailFragments(), {{"BItemNumber", "P.003"}, {"EItemNumber", "P.001"}})
                .rows.size(),
            0u);
  EXPECT_EQ(Run(2025, 1, DetailFragments(), {{"BItemNumber", "P.003"}}).rows.size(), 7u);
}

TEST_F(Report499EngineTest, PeriodWithoutCandidatesGivesAnEmptyResult) {
  // 2024/11 is the first period: no period before it, no bills, no work in process.
  const ResultTable table = Run(2024, 11, reports::Rpt499StandardFragments());
  EXPECT_EQ(table.rows.size(), 0u);
  EXPECT_EQ(table.columns.size(), 14u);
}

TEST_F(Report499EngineTest, FailingClientTextGivesTheServiceErrorAndTheNextCallStartsClean) {
  auto broken = reports::Rpt499StandardFragments();
  broken->SetItem("Select", "Select * Into #DATA From #NoSuchTable");
  broken->SetItem("Groupby", "");
  const automation::ErrorInfo error = ErrorOf([&] { Run(2025, 1, broken); });
  EXPECT_EQ(error.number, -7000);
  EXPECT_EQ(error.source, std::string(kServiceName) + "Get499HappenData");
  EXPECT_EQ(error.description, "Invalid object name '#NoSuchTable'.");

  // #T499Detail, #T499, #Temp and #TempTable stayed on the connection; the next call drops them
  // before creating them again.
  EXPECT_EQ(Pick(Run(2025, 1, DetailFragments()), {"FNumber", "FBatchNo"}).size(), 7u);
}

}  // namespace
}  // namespace orv::reports_engine
