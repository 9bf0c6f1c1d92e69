#include "reports/cost/stock_bill_sql.h"

#include "automation/variant.h"
#include "reports/cost/batch_text.h"
#include "sqltext/quote.h"

namespace orv::reports {
namespace {

// The quoted "yyyy-mm-dd" form of a date text.
std::string QuotedDate(std::string_view date) {
  return sqltext::Q(automation::Format(automation::Variant(date), "YYYY-MM-DD"));
}

// " 1=0 " followed by " Or v1.FTranType=<type>" for every element of the comma-separated
// list. Splitting follows the platform's Split: an empty text has no elements, every comma
// separates (so "2," has an empty second element).
std::string TranTypeCondition(const automation::Variant& tran_types) {
  std::string condition = " 1=0 ";
  const std::string list = automation::CStr(tran_types);
  if (list.empty()) return condition;
  size_t begin = 0;
  while (true) {
    const size_t comma = list.find(',', begin);
    condition.append(" Or v1.FTranType=");
    condition.append(list, begin, comma == std::string::npos ? std::string::npos : comma - begin);
    if (comma == std::string::npos) break;
    begin = comma + 1;
  }
  return condition;
}

}  // namespace

std::string BuildStockBillSql(std::string_view fields, std::string_view src_tran_type,
                              const automation::Variant& tran_types, std::string_view start_date,
                              std::string_view end_date, const std::string& add_where) {
  const std::string condition = TranTypeCondition(tran_types);
  const std::string qs = QuotedDate(start_date);
  const std::string qe = QuotedDate(end_date);
  cost::BatchText s;
  s.Line("Select ", fields);
  s.Line("From ICStockBillEntry  u1");
  s.Line("Inner Join ICStockBill v1 on u1.FInterID = v1.FInterID ");
  s.Line("Inner Join ICMO v2 on v2.FInterID=u1.FSourceInterID ");
  s.Line(
      "Where v1.FCancellation=0 and v2.FCancellation=0 and v1.FStatus=1 and u1.FSourceInterID>0");
  s.Line("  And (", condition, ")");
  s.Line("  And u1.FSourceTranType=", src_tran_type);
  s.Line("  And (v1.FDate>=", qs);
  s.Line("  And v1.FDate<=", qe, ")");
  s.Raw(add_where);
  return s.Text();
}

std::string BuildRedBlueStockBillSql(std::string_view fields, const std::string& tran_type,
                                     std::string_view start_date, std::string_view end_date,
                                     std::string_view add_where) {
  const std::string qs = QuotedDate(start_date);
  const std::string qe = QuotedDate(end_date);
  cost::BatchText s;
  s.Line("Select ", fields);
  s.Line("From ICStockBillEntry RedEntry");
  s.Line("Inner Join ICStockBill Red on Red.FInterID = RedEntry.FInterID");
  s.Line("Inner Join ICStockBill Blue on Blue.FInterID = RedEntry.FSourceInterID");
  s.Line("Inner Join ICStockBillEntry BlueEntry on BlueEntry.FInterID = Blue.FInterID");
  s.Line("Inner Join ICMO v2 on v2.FInterID=BlueEntry.FSourceInterID");
  s.Line("Where v2.FCancellation=0 and red.FCancellation=0 and Red.FStatus=1 and Blue.FStatus=1");
  s.Line("  and RedEntry.FSourceTranType = ", tran_type, " And BlueEntry.FSourceTranType = 85");
  s.Line("  and Red.FRob = -1 --红");
  s.Line("  and Blue.Frob=1 --兰");
  s.Line("  and Red.FTranType=", tran_type);
  s.Line("  and blue.FTranType=", tran_type);
  s.Line("  and (Red.FDate>=", qs);
  s.Line("  and  Red.FDate<=", qe, ") and RedEntry.FMOInterid=v2.FInterID");
  s.Raw(add_where);
  return s.Text();
}

}  // namespace orv::reports
