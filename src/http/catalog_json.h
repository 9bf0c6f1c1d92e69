// The report catalogue as GET /api/reports gives it: per report its number and title, its
// conditions (caption, type, the default on this data source, allowed values, the other end of
// a range, what a code key's suggestions list), its columns with captions and the main ones,
// and for 498/499 the default accounting period, for 410 the alarm day count.
#pragma once

#include <nlohmann/json.hpp>

#include "reports/catalog.h"

namespace orv::http {

nlohmann::json ReportJson(const reports::catalog::ReportEntry& report,
                          const reports::catalog::SourceFacts& facts);

// The name of a code list for GET /api/lookups/codes ("item", "department", ...; "" for none).
const char* CodeListName(reports::catalog::CodeList list);

}  // namespace orv::http
