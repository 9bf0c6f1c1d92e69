// PRIMARY KEY and UNIQUE constraints and unique indexes: the keys a CREATE TABLE declares, the
// check that a statement which added or changed rows left no two rows with equal key values,
// and the names CREATE and ALTER TABLE give keys and DEFAULT constraints declared without one.
#pragma once

#include <vector>

#include "tsql/catalog/catalog.h"
#include "tsql/syntax/ast.h"

namespace orv::tsql {

struct StatementContext;

// The keys of a table being created, on its columns (already made): 8110 for a second
// PRIMARY KEY, 1911 for a column that is not there, 8111 for a nullable PRIMARY KEY column.
// NameKeys gives each key an object id of its own, and a name to those declared without one.
std::vector<TableKey> KeysOfDefinition(const ast::CreateTableStmt& stmt, const Table& table);
void NameKeys(Table& table);
// The same for the DEFAULT constraints of the columns that have a default: an object id, and a
// name for those declared without one.
void NameDefaults(Table& table);

// Whether a change of these columns can break a key of the table (a change of a column a
// filtered unique index's filter reads can bring a row under it).
bool ChangesKeyColumns(const Table& table, const std::vector<int>& columns);

// Raises 2627 (2601 for a unique index) when two rows hold the same values in every column of
// a key of the table, naming the key and the values; a filtered unique index compares only the
// rows its filter covers. The rows as they were before the statement's change had none; rows
// only appended since the last check are the only ones looked up. `adding`: the keys are being
// added to a table with rows (ALTER TABLE ADD, CREATE UNIQUE INDEX), which raises 1505 instead.
void CheckKeys(const Table& table, StatementContext& cx, bool adding = false);

}  // namespace orv::tsql
