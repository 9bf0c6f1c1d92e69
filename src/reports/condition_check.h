// Checking a caller's conditions against the report catalogue before a report runs: every key
// must be one the report reads (a misspelt one is refused with the closest key suggested),
// every value must fit its key's type (the message names the key), a range must not run
// backwards, and Orderby may only name result columns with an optional direction, since its
// text is placed into the report's SQL as written. The checked conditions become the Filter
// dictionary the report reads, with the defaults of the keys not given.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "automation/collections.h"
#include "automation/variant.h"
#include "reports/catalog.h"

namespace orv::reports::catalog {

// A condition the report cannot take; the text says which key, why, and what to give instead.
class ConditionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Conditions as given: key and value, in order (a later key replaces an earlier one).
using GivenConditions = std::vector<std::pair<std::string, automation::Variant>>;

// The Filter of `report`: the given conditions checked (ConditionError otherwise), keys in the
// report's spelling, and the defaults for `facts` of the keys not given (ConditionError when a
// default needs a fact the data source does not have).
std::shared_ptr<automation::Dictionary> BuildFilter(const ReportEntry& report,
                                                    const GivenConditions& given,
                                                    const SourceFacts& facts);

// The client SQL of 401 and 499: `standard` with the given keys (Select, Groupby, ITEMFILTER,
// EndSel, any letter case) replacing its fragments; ConditionError for any other key.
std::shared_ptr<automation::Dictionary> BuildDsql(std::shared_ptr<automation::Dictionary> standard,
                                                  const GivenConditions& given);

// Checks an Orderby text: "COLUMN [ASC|DESC]" items separated by commas, each COLUMN a result
// column of the report. Returns it normalised (single spaces); ConditionError otherwise.
std::string CheckOrderBy(const ReportEntry& report, const std::string& text);

// Checks an accounting year and period against the data source's calendar facts.
void CheckPeriod(int32_t year, int32_t period, const SourceFacts& facts);

// The known name closest to `name` (edit distance, any letter case), when it is close enough
// to be a likely misspelling; "" otherwise.
std::string ClosestName(const std::string& name, const std::vector<std::string>& known);

// Whether text is a valid calendar date written yyyy-mm-dd.
bool IsIsoDate(std::string_view text);

}  // namespace orv::reports::catalog
