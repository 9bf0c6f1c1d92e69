// Unit conversion.
#include "lookups/unit_conversion.h"

#include "automation/variant.h"

namespace orv::lookups {

std::string ToUnitCoefficientSql(int32_t to_unit_id) {
  return "Select FCoefficient  From t_MeasureUnit Where FMeasureUnitID=" +
         std::to_string(to_unit_id);
}

std::string FromUnitCoefficientSql(int32_t from_unit_id) {
  return "Select FCoefficient From t_MeasureUnit Where FMeasureUnitID=" +
         std::to_string(from_unit_id);
}

double ChangeUnitCoefficient(ado::Connection& connection, int32_t from_unit_id,
                             int32_t to_unit_id) {
  double result = -1;
  double to_coefficient = 0;
  std::shared_ptr<ado::Recordset> rs =
      connection.Execute(ToUnitCoefficientSql(to_unit_id), nullptr, -1);
  if (!rs->EOF()) to_coefficient = automation::CDbl(rs->Fields(0).Value());
  if (to_coefficient > 0) {
    rs = connection.Execute(FromUnitCoefficientSql(from_unit_id));
    double working = to_coefficient;
    if (!rs->EOF()) working = automation::CDbl(rs->Fields(0).Value()) / to_coefficient;
    result = working;
    rs->Close();
  }
  return result;
}

}  // namespace orv::lookups
