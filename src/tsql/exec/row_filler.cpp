// The new rows of a table: the plan of which columns take values, defaults or identities.
#include "tsql/exec/row_filler.h"

#include <algorithm>

namespace orv::tsql {

RowFiller::RowFiller(const Table& table, const std::vector<int>& targets, StatementContext& cx,
                     std::string statement)
    : table_(table),
      cx_(cx),
      statement_(std::move(statement)),
      slot_of_(table.columns.size(), -1),
      next_identity_(table.next_identity),
      defaults_(table, cx) {
  for (size_t i = 0; i < targets.size(); ++i) slot_of_[static_cast<size_t>(targets[i])] = static_cast<int>(i);
}

void CheckInsertedColumns(const Table& table, const std::vector<int>& columns, bool listed,
                          const SessionState& session) {
  for (int c : columns) {
    const ColumnDef& column = table.columns[static_cast<size_t>(c)];
    if (column.computed) ThrowError(271, {column.name});
  }
  const auto identity = std::find_if(table.columns.begin(), table.columns.end(),
                                     [](const ColumnDef& c) { return c.identity; });
  if (identity == table.columns.end()) return;
  const int at = static_cast<int>(identity - table.columns.begin());
  const bool given = std::find(columns.begin(), columns.end(), at) != columns.end();
  if (!IdentityInsertIsOn(session, table)) {
    if (given) ThrowError(544, {table.name});
    return;
  }
  if (!listed) ThrowError(8101, {table.name});
  if (!given) ThrowError(545, {table.name});
}

void RowFiller::Plan() {
  const size_t ncols = table_.columns.size();
  model_.resize(ncols);
  for (size_t c = 0; c < ncols; ++c) {
    const ColumnDef& col = table_.columns[c];
    if (col.computed) continue;  // worked out once the others are set
    if (slot_of_[c] < 0 && !col.identity) {
      Value v = defaults_.Get(c);
      if (defaults_.IsConstant(c) && (col.nullable || !v.is_null())) {
        model_[c] = std::move(v);
        continue;
      }
    }
    filled_.push_back(c);
  }
  if (HasComputedColumns(table_)) computed_ = std::make_unique<ComputedColumns>(table_, cx_, statement_.c_str());
  planned_ = true;
}

bool RowFiller::FillsWithoutEvaluating() {
  if (!planned_) Plan();
  if (computed_) return false;
  for (const size_t c : filled_) {
    if (slot_of_[c] < 0 && !table_.columns[c].identity && !defaults_.IsConstant(c)) return false;
  }
  return true;
}

bool RowFiller::FillsIdentity() {
  if (!planned_) Plan();
  for (const size_t c : filled_) {
    if (table_.columns[c].identity) return true;
  }
  return false;
}

void RowFiller::ReadyForThreads() {
  if (!planned_) Plan();
  if (qualified_.empty()) qualified_ = QualifiedTableName(table_, cx_.session);
}

void RowFiller::TookIdentity(const ColumnDef& column, const Value& value) {
  if (value.is_null()) return;  // refused: an identity column is NOT NULL
  const int64_t given = value.kind() == Value::Kind::Decimal ? static_cast<int64_t>(value.decimal_unscaled())
                                                             : value.int_value();
  last_identity_ = given;
  const int64_t after = given + column.identity_increment;
  const int64_t next = next_identity_.value_or(column.identity_seed);
  next_identity_ = column.identity_increment > 0 ? std::max(next, after) : std::min(next, after);
}

void RowFiller::NoteIdentity() const {
  SessionState& session = cx_.session;
  for (const ColumnDef& col : table_.columns) {
    if (!col.identity) continue;
    if (last_identity_) {
      session.last_identity = last_identity_;
      session.scope_identity = last_identity_;
    }
    return;
  }
  session.last_identity.reset();
}

void RowFiller::RefuseNull(const ColumnDef& column) {
  if (qualified_.empty()) qualified_ = QualifiedTableName(table_, cx_.session);
  ThrowError(515, {column.name, qualified_, statement_});
}

}  // namespace orv::tsql
