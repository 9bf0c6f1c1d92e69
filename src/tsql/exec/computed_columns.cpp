// Binding computed columns and working out their values.
#include "tsql/exec/computed_columns.h"

#include <algorithm>

#include "tsql/exec/exec.h"
#include "tsql/exec/statements.h"
#include "tsql/exec/table_checks.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

// The expression bound with the table as its only source (the row being made is its row).
BExprPtr BindComputed(const Table& table, const ColumnDef& column, BoundSpec& spec, StatementContext& cx) {
  for (const ColumnDef& other : table.columns) {
    if (other.computed && ExprReadsColumn(*column.computed, other.name)) {
      ThrowError(1759, {column.name, table.name, other.name});
    }
  }
  return BindRowCondition(table, *column.computed, spec, cx);
}

}  // namespace

bool HasComputedColumns(const Table& table) {
  return std::any_of(table.columns.begin(), table.columns.end(),
                     [](const ColumnDef& c) { return c.computed != nullptr; });
}

SqlType ComputedColumnType(const Table& table, const ColumnDef& column, StatementContext& cx) {
  BoundSpec spec;
  return BindComputed(table, column, spec, cx)->type;
}

ComputedColumns::ComputedColumns(const Table& table, StatementContext& cx, const char* statement)
    : table_(table), cx_(cx), statement_(statement) {
  for (size_t c = 0; c < table.columns.size(); ++c) {
    if (!table.columns[c].computed) continue;
    specs_.push_back(std::make_unique<BoundSpec>());
    columns_.emplace_back(c, BindComputed(table, table.columns[c], *specs_.back(), cx));
  }
}

void ComputedColumns::Fill(Row& row) const {
  EvalCtx ctx;
  ctx.env = &cx_.env;
  const Row* source[1] = {&row};
  ctx.srcs = source;
  for (const auto& [position, expr] : columns_) {
    const ColumnDef& column = table_.columns[position];
    Value v = Eval(*expr, ctx);
    if (!(expr->type == column.type)) v = Convert(v, expr->type, column.type, CastMode::Assignment);
    if (v.is_null() && !column.nullable) {
      ThrowError(515, {column.name, QualifiedTableName(table_, cx_.session), statement_});
    }
    row[position] = std::move(v);
  }
}

void AddComputedValues(const Table& table, RowUpdates& updates, StatementContext& cx) {
  std::vector<int> computed;
  for (size_t c = 0; c < table.columns.size(); ++c) {
    if (table.columns[c].computed) computed.push_back(static_cast<int>(c));
  }
  if (computed.empty() || updates.positions.empty()) return;
  const ComputedColumns fill(table, cx, "UPDATE");
  const size_t n = updates.positions.size();
  const size_t ncols = updates.columns.size();
  std::vector<Value> values;
  values.reserve(n * (ncols + computed.size()));
  const std::vector<Row>& rows = table.rows();
  Row row;
  for (size_t j = 0; j < n; ++j) {
    row = rows[updates.positions[j]];
    Value* given = updates.values.data() + j * ncols;
    for (size_t k = 0; k < ncols; ++k) row[static_cast<size_t>(updates.columns[k])] = given[k];
    fill.Fill(row);
    for (size_t k = 0; k < ncols; ++k) values.push_back(std::move(given[k]));
    for (int c : computed) values.push_back(std::move(row[static_cast<size_t>(c)]));
  }
  updates.columns.insert(updates.columns.end(), computed.begin(), computed.end());
  updates.values = std::move(values);
}

}  // namespace orv::tsql
