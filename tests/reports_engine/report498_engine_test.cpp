// Report 498 (cost of the products received in a period) on a small company database: blue and
// red stock-in lines, a left-out stock type, the period's fee apportionments, the material fee
// as the remainder and the unit price, worked out by hand.
#include <algorithm>
#include <string>

#include "engine_fixture.h"

namespace orv::reports_engine {
namespace {

// Period 2025/6 is 2025-06-01 .. 2025-06-30 (2025/5 precedes it).
// Items: 101 Widget (stock unit box = 12 base, 2 quantity / 3 price decimals),
//        102 Gadget (stock unit pcs, 0 / 2 decimals).
// Task orders: 1 (101, batch B1), 2 (102, B2), 3 (101, B3).
// Product stock-in bills (type 2, status 1) and their lines, quantities in base units:
//   11 blue 06-05: 101 from task 1, 120 pcs, amount 1000
//   12 blue 06-10: 101 from task 1, 50 pcs, 450.62; and 24 pcs, 200 into stock 2 (type 502)
//   13 red 06-12: reverses 11: -24 pcs, -180
//   14 blue 06-08: 102 from task 2, 5 pcs, 100;  15 red 06-20 reverses it fully: -5, -100
//   16 blue 06-15: 101 from task 3, 12 pcs, 30
//   17 blue 05-28 (previous period): 101 from task 1, 120 pcs, 999
//   18 red 06-03: reverses 17 (a blue bill of May): -12 pcs, -99
// Fee apportionments (type 87):
//   31 06-30 approved: 101/B1 work 100, making 50, aux 20.5, water 10, depreciation 5,
//      other 4.45; 101/B3 work 40, making 10; 102/B9 work 7 (nothing received for B9)
//   32 05-31 approved: 101/B1 work 999 (previous period)
//   33 06-15 not approved: 101/B1 work 1000
class Report498EngineTest : public EngineReportTest {
 protected:
  void SetUp() override {
    EngineReportTest::SetUp();
    InsertUnits();
    Exec(
        "Insert Into t_PeriodDate (FYear,FPeriod,FStartDate,FEndDate) Values\n"
        "(2025,5,'2025-05-01','2025-05-31'),(2025,6,'2025-06-01','2025-06-30')");
    Exec(
        "Insert Into t_ICItem (FItemID,FNumber,FShortNumber,FName,FModel,FUnitID,FStoreUnitID,"
        "FQtyDecimal,FPriceDecimal) Values\n"
        "(101,'P.001','W1','Widget','W-1',1,2,2,3),\n"
        "(102,'P.002','G2','Gadget','G-2',1,1,0,2)");
    Exec(
        "Insert Into t_Stock (FItemID,FNumber,FName,FTypeID) Values (1,'S1','Main',500),"
        "(2,'S2','Consigned',502)");
    Exec(
        "Insert Into ICMO (FInterID,FBillNo,FDate,FItemID,FBatchNo,FUnitID,FAuxQty,FQty,FStatus,"
        "FCancellation) Values\n"
        "(1,'MO-001','2025-05-20',101,'B1',1,300,300,3,0),\n"
        "(2,'MO-002','2025-06-01',102,'B2',1,5,5,3,0),\n"
        "(3,'MO-003','2025-06-01',101,'B3',1,12,12,3,0)");
    Exec(
        "Insert Into ICStockBill (FInterID,FBillNo,FTranType,FDate,FROB,FStatus,FCancellation)"
        " Values\n"
        "(11,'IN-011',2,'2025-06-05',1,1,0),(12,'IN-012',2,'2025-06-10',1,1,0),\n"
        "(13,'IN-013',2,'2025-06-12',-1,1,0),(14,'IN-014',2,'2025-06-08',1,1,0),\n"
        "(15,'IN-015',2,'2025-06-20',-1,1,0),(16,'IN-016',2,'2025-06-15',1,1,0),\n"
        "(17,'IN-017',2,'2025-05-28',1,1,0),(18,'IN-018',2,'2025-06-03',-1,1,0)");
    Exec(
        "Insert Into ICStockBillEntry (FInterID,FEntryID,FItemID,FUnitID,FAuxQty,FQty,FAmount,"
        "FSourceTranType,FSourceInterID,FDCStockID) Values\n"
        "(11,1,101,1,120,120,1000,85,1,1),\n"
        "(12,1,101,1,50,50,450.62,85,1,1),(12,2,101,1,24,24,200,85,1,2),\n"
        "(13,1,101,1,-24,-24,-180,2,11,1),\n"
        "(14,1,102,1,5,5,100,85,2,1),(15,1,102,1,-5,-5,-100,2,14,1),\n"
        "(16,1,101,1,12,12,30,85,3,1),\n"
        "(17,1,101,1,120,120,999,85,1,1),(18,1,101,1,-12,-12,-99,2,17,1)");
    Exec(
        "Insert Into ICApportionFee (FInterID,FBillNo,FTranType,FDate,FStatus) Values\n"
        "(31,'AF-031',87,'2025-06-30',1),(32,'AF-032',87,'2025-05-31',1),"
        "(33,'AF-033',87,'2025-06-15',0)");
    Exec(
        "Insert Into ICApportionFeeEntry (FInterID,FEntryID,FItemID,FBatchNo,FSourceTranType,"
        "FWorkFee,FMakingFee,FAuxMaterialFee,FWaterElecFee,FDepreciationFee,FOtherFee) Values\n"
        "(31,1,101,'B1',2,100,50,20.5,10,5,4.45),\n"
        "(31,2,101,'B3',2,40,10,0,0,0,0),\n"
        "(31,3,102,'B9',2,7,0,0,0,0,0),\n"
        "(32,1,101,'B1',2,999,0,0,0,0,0),\n"
        "(33,1,101,'B1',2,1000,0,0,0,0,0)");
  }

  // Rows in batch order (the report itself gives them in no defined order).
  ResultTable Run(int16_t year, int16_t period,
                  std::initializer_list<std::pair<const char*, Variant>> filter_entries) {
    ResultTable table = ReadAll(data_->Get498HappenData(
        dsn_, year, period, automation::NewDictionary(), MakeDictionary(filter_entries)));
    const size_t batch = table.Column("FBatchNo");
    std::sort(table.rows.begin(), table.rows.end(),
              [batch](const auto& a, const auto& b) { return Text(a[batch]) < Text(b[batch]); });
    return table;
  }
};

// Quantities are base / 12 (box) for 101 and base / 1 for 102, rounded to the item's decimals:
//   101/B1: 120 / 12 = 10; 50 / 12 = 4.1666.. -> 4.17; red -24 / 12 = -2; stock 2 and May left
//           out, and the red bill 18 reverses a May bill: none of them counts.
//           received 10 + 4.17 - 2 = 12.17; amount 1000 + 450.62 - 180 = 1270.62
//           fees of bill 31 only: 20.5 + 100 + 50 + 5 + 10 + 4.45 = 189.95
//           material 1270.62 - 189.95 = 1080.67
//           price Round(1270.62 / 12.17, 3) = Round(104.40591.., 3) = 104.406
//   101/B3: 12 / 12 = 1, amount 30, fees 40 + 10 = 50, material 30 - 50 = -20, price 30
//   102/B2: 5 - 5 = 0 received, 100 - 100 = 0; no fees; price 0 (no division)
TEST_F(Report498EngineTest, PeriodCostPerItemAndBatch) {
  const ResultTable table = Run(2025, 6, {{"BatchNo", "FBATCHNO"}});
  EXPECT_EQ(
      Pick(table, {"FItemID", "FNumber", "FName", "FModel", "FBatchNo", "FUnit", "FInNum", "FPrice",
                   "FTotalFee", "FSumSort"}),
      (Rows{{"101", "P.001", "Widget", "W-1", "B1", "box", D10("12.17"), D10("104.406"),
             D10("1270.62"), "0"},
            {"102", "P.002", "Gadget", "G-2", "B2", "pcs", D10("0"), D10("0"), D10("0"), "0"},
            {"101", "P.001", "Widget", "W-1", "B3", "box", D10("1"), D10("30"), D10("30"), "0"}}));
  EXPECT_EQ(
      Pick(table, {"FBatchNo", "FMarterialFee", "FAuxMarterialFee", "FWorkFee", "FMakingFee",
                   "FDepreciationFee", "FWaterElecFee", "FOtherFee"}),
      (Rows{{"B1", D10("1080.67"), D10("20.5"), D10("100"), D10("50"), D10("5"), D10("10"),
             D10("4.45")},
            {"B2", D10("0"), D10("0"), D10("0"), D10("0"), D10("0"), D10("0"), D10("0")},
            {"B3", D10("-20"), D10("0"), D10("40"), D10("10"), D10("0"), D10("0"), D10("0")}}));
}

TEST_F(Report498EngineTest, BatchAndItemConditions) {
  EXPECT_EQ(Pick(Run(2025, 6, {{"BatchNo", "B3"}}), {"FBatchNo", "FTotalFee"}),
            (Rows{{"B3", D10("30")}}));
  // The comparison with "FBATCHNO" is case-sensitive: "fbatchno" is a batch number.
  EXPECT_EQ(Run(2025, 6, {{"BatchNo", "fbatchno"}}).rows.size(), 0u);
  EXPECT_EQ(Pick(Run(2025, 6,
                     {{"BatchNo", "FBATCHNO"}, {"BItemNumber", "P.002"}, {"EItemNumber", "P.002"}}),
                 {"FNumber", "FBatchNo"}),
            (Rows{{"P.002", "B2"}}));
  // One bound alone adds no item condition.
  EXPECT_EQ(Run(2025, 6, {{"BatchNo", "FBATCHNO"}, {"BItemNumber", "P.002"}}).rows.size(), 3u);
}

TEST_F(Report498EngineTest, PeriodMissingFromTheCalendarMatchesNothing) {
  // No 2030/1 row: both dates stay '', which the server reads as 1900-01-01.
  const ResultTable table = Run(2030, 1, {{"BatchNo", "FBATCHNO"}});
  EXPECT_EQ(table.rows.size(), 0u);
  EXPECT_EQ(table.columns.size(), 17u);
}

TEST_F(Report498EngineTest, PreviousPeriodHasItsOwnRows) {
  // May: bill 17 only (120 / 12 = 10 box, 999); fee 32 gives work 999, material 0; the red bill
  // 18 of June is outside May. Price Round(999 / 10, 3) = 99.9.
  EXPECT_EQ(Pick(Run(2025, 5, {{"BatchNo", "FBATCHNO"}}),
                 {"FBatchNo", "FInNum", "FTotalFee", "FWorkFee", "FMarterialFee", "FPrice"}),
            (Rows{{"B1", D10("10"), D10("999"), D10("999"), D10("0"), D10("99.9")}}));
}

}  // namespace
}  // namespace orv::reports_engine
