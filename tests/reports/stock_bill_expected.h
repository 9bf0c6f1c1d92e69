// The two stock-bill SELECT texts as they must read, written out line by line, with the
// varying parts as parameters.
#pragma once

#include <string>

namespace cost_test {

// `types_condition` is the text between "  And (" and ")" on the sixth line.
inline std::string ExpectedStockBill(const std::string& fields, const std::string& types_condition,
                                     const std::string& src_type, const std::string& qs,
                                     const std::string& qe, const std::string& add_where) {
  std::string s;
  s += "Select " + fields + "\r\n";
  s += "From ICStockBillEntry  u1\r\n";
  s += "Inner Join ICStockBill v1 on u1.FInterID = v1.FInterID \r\n";
  s += "Inner Join ICMO v2 on v2.FInterID=u1.FSourceInterID \r\n";
  s += "Where v1.FCancellation=0 and v2.FCancellation=0 and v1.FStatus=1 and "
       "u1.FSourceInterID>0\r\n";
  s += "  And (" + types_condition + ")\r\n";
  s += "  And u1.FSourceTranType=" + src_type + "\r\n";
  s += "  And (v1.FDate>=" + qs + "\r\n";
  s += "  And v1.FDate<=" + qe + ")\r\n";
  s += add_where;
  return s;
}

inline std::string ExpectedRedBlue(const std::string& fields, const std::string& type,
                                   const std::string& qs, const std::string& qe,
                                   const std::string& add_where) {
  std::string s;
  s += "Select " + fields + "\r\n";
  s += "From ICStockBillEntry RedEntry\r\n";
  s += "Inner Join ICStockBill Red on Red.FInterID = RedEntry.FInterID\r\n";
  s += "Inner Join ICStockBill Blue on Blue.FInterID = RedEntry.FSourceInterID\r\n";
  s += "Inner Join ICStockBillEntry BlueEntry on BlueEntry.FInterID = Blue.FInterID\r\n";
  s += "Inner Join ICMO v2 on v2.FInterID=BlueEntry.FSourceInterID\r\n";
  s += "Where v2.FCancellation=0 and red.FCancellation=0 and Red.FStatus=1 and Blue.FStatus=1\r\n";
  s += "  and RedEntry.FSourceTranType = " + type + " And BlueEntry.FSourceTranType = 85\r\n";
  s += "  and Red.FRob = -1 --红\r\n";
  s += "  and Blue.Frob=1 --兰\r\n";
  s += "  and Red.FTranType=" + type + "\r\n";
  s += "  and blue.FTranType=" + type + "\r\n";
  s += "  and (Red.FDate>=" + qs + "\r\n";
  s += "  and  Red.FDate<=" + qe + ") and RedEntry.FMOInterid=v2.FInterID\r\n";
  s += add_where;
  return s;
}

}  // namespace cost_test
