// The general query door and row packaging.
#include "service/query.h"

#include "automation/variant.h"

namespace orv::service {

std::shared_ptr<ado::Recordset> OpenDetached(const std::shared_ptr<ado::Connection>& connection,
                                             std::string_view strSql) {
  auto rs = std::make_shared<ado::Recordset>();
  rs->SetActiveConnection(connection);
  rs->SetCursorLocation(ado::adUseClient);
  rs->SetCursorType(ado::adOpenForwardOnly);
  rs->SetLockType(ado::adLockReadOnly);
  rs->Open(strSql);
  std::shared_ptr<ado::Recordset> result = rs;
  result->SetActiveConnection(nullptr);
  return result;
}

std::shared_ptr<automation::Dictionary> PackageRecord(ado::Recordset& rs) {
  if (rs.EOF()) return nullptr;
  auto row = automation::NewDictionary();
  for (size_t i = 0; i < rs.FieldCount(); ++i) {
    const ado::Field& field = rs.Fields(i);
    const automation::Variant value =
        automation::NullToDefault(field.Value(), automation::Variant(""));
    row->SetItem(field.Name(), automation::Variant(automation::Trim(automation::CStr(value))));
  }
  return row;
}

}  // namespace orv::service
