// Report 410 (task-order alarm) on a small company database with the clock fixed at
// 2025-06-16 09:30: the alarm window from the system profile, task-order rows, subtotals per
// month and item, month totals and the percentage texts, worked out by hand.
#include <string>

#include "engine_fixture.h"

namespace orv::reports_engine {
namespace {

// Items: 101 Widget (base pcs, 2 quantity / 4 price decimals), 102 Gadget (0 / 2 decimals).
// Alarm window 7 days: DATEDIFF(day, 2025-06-16, planned finish) <= 7, i.e. planned finish on
// or before 2025-06-23.
//   MO-001 May, 101: plan 80, finished 10, due 06-20 (4 days), approved      -> listed
//   MO-002 May, 101: plan 30, finished 0, due 06-10 (overdue), not approved  -> listed
//   MO-003 May, 102: plan 3, finished 1, due 06-23 (7 days), closed          -> listed
//   MO-004 June, 101: due 06-24 (8 days)                                     -> not listed
//   MO-005 June, 101: finish rate 100, due 06-12                             -> not listed
//   MO-006 June, 101: plan 20, finished 5, due 06-18, approved               -> listed
//   MO-007 June, 101: cancelled, due 06-17                                   -> not listed
class Report410EngineTest : public EngineReportTest {
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
        "Insert Into ICMO (FInterID,FBillNo,FTranType,FDate,FItemID,FUnitID,FAuxQty,FQty,"
        "FAuxFinishQty,FFinishQty,FFinishRate,FStatus,FCancellation,FBeginDate,FPlanFinishDate)"
        " Values\n"
        "(1,'MO-001',85,'2025-05-10',101,1,80,80,10,10,12.5,1,0,'2025-05-10','2025-06-20'),\n"
        "(2,'MO-002',85,'2025-05-20',101,1,30,30,0,0,0,0,0,'2025-05-20','2025-06-10'),\n"
        "(3,'MO-003',85,'2025-05-15',102,1,3,3,1,1,33.33,3,0,'2025-05-15','2025-06-23'),\n"
        "(4,'MO-004',85,'2025-06-01',101,1,10,10,0,0,0,1,0,'2025-06-01','2025-06-24'),\n"
        "(5,'MO-005',85,'2025-06-05',101,1,10,10,10,10,100,1,0,'2025-06-05','2025-06-12'),\n"
        "(6,'MO-006',85,'2025-06-08',101,1,20,20,5,5,25,1,0,'2025-06-08','2025-06-18'),\n"
        "(7,'MO-007',85,'2025-06-09',101,1,10,10,0,0,0,1,1,'2025-06-09','2025-06-17')");
  }

  void SetAlarmDays(const char* value) {
    Exec(std::string("Insert Into t_SystemProfile (FCategory,FKey,FValue) Values "
                     "('IC','ManufactureAlarmDateCount','") +
         value + "')");
  }

  ResultTable Run() {
    auto filter = MakeDictionary({{"bLongNumber", true},
                                  {"BWorkDate", "2025-01-01"},
                                  {"EWorkDate", "2025-12-31"},
                                  {"BFinishDate", "2025-01-01"},
                                  {"EFinishDate", "2025-12-31"}});
    return ReadAll(data_->GetRpt410Data(dsn_, filter));
  }
};

// Rates are Round(quantity / plan * 100, FQtyDecimal) on task rows, Round(..., 4) on subtotal
// and total rows, then stored as Decimal(10,2):
//   MO-001  10 / 80 = 12.5          -> 12.50;  70 / 80 = 87.5        -> 87.50
//   MO-002  0 / 30                  -> 0.00;   30 / 30               -> 100.00
//   MO-003  1 / 3 * 100 = 33.33.., 0 decimals -> 33 -> 33.00; 2 / 3 -> 66.66.. -> 67 -> 67.00
//   MO-006  5 / 20                  -> 25.00;  15 / 20               -> 75.00
//   May P.001 subtotal: 110 planned, 10 finished, 100 unfinished:
//           10 / 110 * 100 = 9.0909.. -> 9.0909 -> 9.09; 100 / 110 -> 90.9091 -> 90.91
//   May P.002 subtotal: 3, 1, 2: 1 / 3 -> 33.3333 -> 33.33; 2 / 3 -> 66.6667 -> 66.67
//   May total (task rows only): 113, 11, 102: 11 / 113 * 100 = 9.7345.. -> 9.73;
//           102 / 113 * 100 = 90.2654.. -> 90.2655 -> 90.27
//   June P.001 subtotal and June total: 20, 5, 15 -> 25.00 and 75.00
TEST_F(Report410EngineTest, AlarmWindowRowsSubtotalsAndTotals) {
  SetAlarmDays("7");
  const ResultTable table = Run();

  // Order: FPeriod, FPNumberSort (the total's CHAR(255) after every item), FSumSort, FDate,
  // FMOBillNO.
  EXPECT_EQ(Pick(table, {"FPeriod", "FSumSort", "FMOBillNO", "FPNumber", "FAuxPlanQty", "FPlanQty",
                         "FAuxFinishQty", "FFinishQty", "FUnFinishAuxQty", "FUnFinishQty",
                         "FFinishRate", "FFinishRateStr", "FUnFinishRate", "FUnFinishRateStr",
                         "FQtyDecimal", "FPriceDecimal"}),
            (Rows{
                {"202505", "0", "MO-001", "P.001", D10("80"), D10("80"), D10("10"), D10("10"),
                 D10("70"), D10("70"), "12.50", "12.50", "87.50", "87.50", "2", "4"},
                {"202505", "0", "MO-002", "P.001", D10("30"), D10("30"), D10("0"), D10("0"),
                 D10("30"), D10("30"), "0.00", "0.00", "100.00", "100.00", "2", "4"},
                {"202505", "102", "NULL", "小计", D10("110"), D10("110"), D10("10"), D10("10"),
                 D10("100"), D10("100"), "9.09", "9.09", "90.91", "90.91", "4", "4"},
                {"202505", "0", "MO-003", "P.002", D10("3"), D10("3"), D10("1"), D10("1"), D10("2"),
                 D10("2"), "33.00", "33.00", "67.00", "67.00", "0", "2"},
                {"202505", "102", "NULL", "小计", D10("3"), D10("3"), D10("1"), D10("1"), D10("2"),
                 D10("2"), "33.33", "33.33", "66.67", "66.67", "4", "4"},
                {"202505", "101", "NULL", "合计", D10("113"), D10("113"), D10("11"), D10("11"),
                 D10("102"), D10("102"), "9.73", "9.73", "90.27", "90.27", "4", "4"},
                {"202506", "0", "MO-006", "P.001", D10("20"), D10("20"), D10("5"), D10("5"),
                 D10("15"), D10("15"), "25.00", "25.00", "75.00", "75.00", "2", "4"},
                {"202506", "102", "NULL", "小计", D10("20"), D10("20"), D10("5"), D10("5"),
                 D10("15"), D10("15"), "25.00", "25.00", "75.00", "75.00", "4", "4"},
                {"202506", "101", "NULL", "合计", D10("20"), D10("20"), D10("5"), D10("5"),
                 D10("15"), D10("15"), "25.00", "25.00", "75.00", "75.00", "4", "4"},
            }));

  // Task rows: status texts (1 approved, 0 not approved, 3 closed), dates and units; subtotals
  // carry the item number as their sort key.
  EXPECT_EQ(
      Pick(table, {"FInterID", "FPNumberSort", "FPName", "FClosed", "FDate", "FPlanDate",
                   "FPUnitName", "FPAuxUnitName"}),
      (Rows{
          {"1", "P.001", "Widget", "已审核", "2025-05-10", "2025-06-20", "pcs", "pcs"},
          {"2", "P.001", "Widget", "未审核", "2025-05-20", "2025-06-10", "pcs", "pcs"},
          {"0", "P.001", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL"},
          {"3", "P.002", "Gadget", "关闭", "2025-05-15", "2025-06-23", "pcs", "pcs"},
          {"0", "P.002", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL"},
          {"0", Cell(table, 5, "FPNumberSort"), "NULL", "NULL", "NULL", "NULL", "NULL", "NULL"},
          {"6", "P.001", "Widget", "已审核", "2025-06-08", "2025-06-18", "pcs", "pcs"},
          {"0", "P.001", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL"},
          {"0", Cell(table, 8, "FPNumberSort"), "NULL", "NULL", "NULL", "NULL", "NULL", "NULL"}}));
  EXPECT_NE(Cell(table, 5, "FPNumberSort"), "NULL");
}

TEST_F(Report410EngineTest, WithoutTheSettingOnlyDueTodayOrOverdueOrdersAreListed) {
  // Count 0: DATEDIFF(day, today, planned finish) <= 0 leaves MO-002 (06-10) alone; MO-005 is
  // overdue too but finished at rate 100.
  const ResultTable table = Run();
  EXPECT_EQ(Pick(table, {"FSumSort", "FMOBillNO", "FFinishRateStr"}),
            (Rows{{"0", "MO-002", "0.00"}, {"102", "NULL", "0.00"}, {"101", "NULL", "0.00"}}));
}

TEST_F(Report410EngineTest, NonNumericSettingFailsWithErrorMinusOne) {
  SetAlarmDays("abc");
  const automation::ErrorInfo error = ErrorOf([&] { Run(); });
  EXPECT_EQ(error.number, -1);
  EXPECT_EQ(error.source, std::string(kServiceName) + "::GetRpt410Data");
  EXPECT_EQ(error.description, "Type mismatch");
}

}  // namespace
}  // namespace orv::reports_engine
