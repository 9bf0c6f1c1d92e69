// Unit conversion: the factor that turns a quantity in one unit of measure into another.
#pragma once

#include <cstdint>
#include <string>

#include "ado/connection.h"

namespace orv::lookups {

std::string ToUnitCoefficientSql(int32_t to_unit_id);  // two spaces before "From"
std::string FromUnitCoefficientSql(int32_t from_unit_id);

// from-coefficient / to-coefficient. -1 when the to-unit is missing or its coefficient is not
// above 0 (the from-unit is then not queried); the to-coefficient itself when the from-unit is
// missing. Failures propagate unchanged.
double ChangeUnitCoefficient(ado::Connection& connection, int32_t from_unit_id, int32_t to_unit_id);

}  // namespace orv::lookups
