// The catalog procedures that ODBC drivers and SQL tools call to list what a database holds
// (sp_tables, sp_columns, sp_stored_procedures, sp_sproc_columns, sp_pkeys, sp_fkeys,
// sp_statistics, sp_special_columns), the one people type first, sp_help, and the two it calls,
// sp_helpindex and sp_helpconstraint. They are written
// in T-SQL over the catalog views and run as any procedure does; a database's own procedure of
// the same name does not replace them.
#pragma once

#include <memory>
#include <string_view>

#include "tsql/catalog/catalog.h"

namespace orv::tsql {

// The system procedure of this name (any case), parsed anew for each call; null for others.
std::shared_ptr<Procedure> SystemProcedure(std::string_view name);

}  // namespace orv::tsql
