// The catalog views clients and DBAs query first: INFORMATION_SCHEMA.TABLES, COLUMNS, VIEWS,
// ROUTINES and sys.tables, columns, types, objects, schemas, views, procedures, databases,
// built as read-only tables of the catalog as it is when a statement names them.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "tsql/catalog/catalog.h"
#include "tsql/catalog/session_state.h"
#include "tsql/types/result_column.h"

namespace orv::tsql {

// The columns of a view, as binding its query gives them (the binder supplies it: the catalog
// cannot bind); empty when its query does not bind.
using ViewColumns = std::function<std::vector<ResultColumn>(const View&)>;

// The view `schema.name` ("sys" or "INFORMATION_SCHEMA", any case) as a table of rows; null
// when there is no such view. The column views list the columns of views too when
// `view_columns` is given. Those of `database` "tempdb" list the session's #tables and table
// variables (under the names tempdb gives them) instead of the data source's objects; any
// other database part, or none, means the data source.
std::shared_ptr<Table> BuildSystemView(SessionState& session, std::string_view database,
                                       std::string_view schema, std::string_view name,
                                       const ViewColumns& view_columns = {});

// The system_type_id SQL Server gives a type (56 for int, 167 for varchar, ...).
int SystemTypeId(const SqlType& type);
// The storage bytes of a column of this type as sys.columns shows them (-1 for (max)).
int MaxLength(const SqlType& type);

// The name of the object with this id (tables, views and procedures), as OBJECT_NAME gives it.
std::optional<std::string> ObjectNameOf(Database& db, int32_t object_id);

}  // namespace orv::tsql
