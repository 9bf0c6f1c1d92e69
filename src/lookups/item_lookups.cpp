// Item, currency and precision look-ups.
#include "lookups/item_lookups.h"

#include <cmath>

#include "automation/variant.h"
#include "sqltext/quote.h"

namespace orv::lookups {

namespace {

constexpr const char* kItemPropKeys[] = {"FItemClassID",   "FPropID",   "FName",
                                         "FSQLColumnName", "FSrcTable", "FSrcField",
                                         "FDisplayField"};

// A client-side, forward-only, read-only recordset of `sql` on `connection`.
std::shared_ptr<ado::Recordset> OpenClientRecordset(
    const std::shared_ptr<ado::Connection>& connection, const std::string& sql) {
  auto rs = std::make_shared<ado::Recordset>();
  rs->SetActiveConnection(connection);
  rs->SetCursorLocation(ado::adUseClient);
  rs->SetCursorType(ado::adOpenForwardOnly);
  rs->SetLockType(ado::adLockReadOnly);
  rs->Open(sql);
  return rs;
}

}  // namespace

std::string CurrencyScaleSql() {
  return "Select FScale\r\n"
         "From t_Currency\r\n"
         "where FCurrencyID=(Select top 1 FValue from t_Systemprofile Where FCategory='GL' And "
         "FKey='FBWB')\r\n";
}

std::string ItemMaxLevelSql(int32_t item_class_id) {
  return "Select Max(FLevel)-1 From t_Item Where FItemClassID=" + std::to_string(item_class_id);
}

std::string ItemPropDescSql(std::string_view language, std::string_view filter) {
  std::string sql = " Select FItemClassID,FPropID,";
  sql += sqltext::LanguageSuffix("FName", language);
  sql += " As FName ";
  sql += ",FSQLColumnName,FSrcTable,FSrcField,FDisplayField ";
  sql += " From t_ItemPropDesc Where FDataType<>11 And ";
  sql += filter;
  sql += " And FPageName in ('1.基本资料','2.物流资料','9.自定义')";
  sql += " Order By  FItemClassID,FPropID";
  sql += "\r\n";
  return sql;
}

std::string DecimalSql(std::string_view item_number) {
  return "select FPriceDecimal,FQtyDecimal from t_ICItem where FNumber=" + sqltext::Q(item_number);
}

int32_t GetCurrencyScale(ado::Connection& connection) {
  std::shared_ptr<ado::Recordset> rs = connection.Execute(CurrencyScaleSql());
  int32_t scale = 2;
  if (!rs->EOF()) scale = automation::CLng(rs->Fields("FScale").Value());
  rs->Close();
  return scale;
}

int32_t GetItemMaxLevel(const std::shared_ptr<ado::Connection>& connection, int32_t item_class_id) {
  std::shared_ptr<ado::Recordset> rs =
      OpenClientRecordset(connection, ItemMaxLevelSql(item_class_id));
  // Value & "": Null becomes the empty text, whose numeric value is 0.
  const automation::Variant& value = rs->Fields(0).Value();
  const std::string text = value.IsNull() ? std::string() : automation::CStr(value);
  const int32_t level = automation::CLng(automation::Variant(automation::Val(text)));
  return level == 0 ? 1 : level;
}

std::shared_ptr<automation::Vector> GetItemPropDesc(
    const std::shared_ptr<ado::Connection>& connection, std::string_view language,
    std::string_view filter) {
  std::shared_ptr<ado::Recordset> rs =
      OpenClientRecordset(connection, ItemPropDescSql(language, filter));
  auto properties = std::make_shared<automation::Vector>();
  while (!rs->EOF()) {
    auto row = automation::NewDictionary();
    for (const char* key : kItemPropKeys) row->SetItem(key, rs->Fields(key).Value());
    properties->Add(automation::Variant(automation::ObjectRef(row)));
    rs->MoveNext();
  }
  return properties;
}

void GetDecimal(ado::Connection& connection, std::string_view item_number, int32_t& qty_decimal,
                int32_t& price_decimal) {
  std::shared_ptr<ado::Recordset> rs = connection.Execute(DecimalSql(item_number));
  price_decimal = 2;
  qty_decimal = 2;
  if (rs->BOF()) return;
  const automation::Variant& price = rs->Fields("FPriceDecimal").Value();
  price_decimal = price.IsNull() ? 2 : automation::CLng(price);
  const automation::Variant& qty = rs->Fields("FQtyDecimal").Value();
  qty_decimal = qty.IsNull() ? 2 : automation::CLng(qty);
}

}  // namespace orv::lookups
