// What a data source says about "now": its own date, its current accounting period and the
// first day of that period's year, its number of periods a year and the alarm day count of
// report 410. The report defaults are computed from these (reports/catalog.h), so a report run
// on a company database in December 2026 defaults to December 2026, whatever the demo says.
#pragma once

#include <string>

#include "reports/catalog.h"

namespace orv::service {

// Reads the facts through the service's look-ups on the connection broker's look-up
// connection of `dsn`. What cannot be read stays empty (0 or ""): a data source without an
// accounting calendar still runs the reports whose conditions do not need it.
reports::catalog::SourceFacts ReadSourceFacts(const std::string& dsn);

}  // namespace orv::service
