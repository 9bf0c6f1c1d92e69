// The two SELECT texts over stock bills raised from production task orders that report 499
// embeds in its candidate batch: blue bills of given types (BuildStockBillSql) and red bills
// that reverse a blue bill of the same type (BuildRedBlueStockBillSql). Text only, no database.
#pragma once

#include <string>
#include <string_view>

#include "automation/variant.h"

namespace orv::reports {

// Entries of approved (status 1), not cancelled bills whose type is one of `tran_types` (a
// comma-separated list, elements used unquoted and untrimmed; an empty list selects nothing),
// dated from `start_date` to `end_date` inclusive, raised from a not cancelled production task
// of source type `src_tran_type`. Selects `fields`; `add_where` is appended last, unchanged,
// with no CR LF after it. Dates go through Format "YYYY-MM-DD" and are then quoted.
std::string BuildStockBillSql(std::string_view fields, std::string_view src_tran_type,
                              const automation::Variant& tran_types, std::string_view start_date,
                              std::string_view end_date, const std::string& add_where);

// Entries of approved, not cancelled red bills of type `tran_type` dated in the period whose
// source is an approved blue bill of the same type that was raised from the same, not
// cancelled production task (source type 85). `add_where` follows the last line's CR LF.
std::string BuildRedBlueStockBillSql(std::string_view fields, const std::string& tran_type,
                                     std::string_view start_date, std::string_view end_date,
                                     std::string_view add_where);

}  // namespace orv::reports
