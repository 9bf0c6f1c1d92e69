// Query execution and result packaging: the general query door (a detached, client-side
// recordset of any SQL text) and the packaging of recordset rows into keyed dictionaries.
#pragma once

#include <memory>
#include <string_view>

#include "ado/connection.h"
#include "automation/collections.h"

namespace orv::service {

// Opens strSql (run unchanged) as a client-side, forward-only, read-only recordset on
// `connection` and detaches it: all rows are in memory and no connection is needed to read it.
std::shared_ptr<ado::Recordset> OpenDetached(const std::shared_ptr<ado::Connection>& connection,
                                             std::string_view strSql);

// The current row as a dictionary: key = field name, value = the field's text with Null as ""
// and leading and trailing spaces removed. nullptr at the end of the recordset; the recordset
// does not move. Text forms of numbers and dates are those of automation::CStr.
std::shared_ptr<automation::Dictionary> PackageRecord(ado::Recordset& rs);

}  // namespace orv::service
