// Recordset and Field: a client-side cursor over rows held in memory, and the rest of the
// batch's results for NextRecordset.
#include <utility>

#include "ado/ado_errors.h"
#include "ado/connection.h"
#include "automation/ascii.h"

namespace orv::ado {

const automation::Variant& Field::Value() const {
  if (!value_) RaiseAdoError(adoerr::kNoCurrentRecord);
  return *value_;
}

std::shared_ptr<Recordset> Recordset::FromResult(ProviderResult result,
                                                 std::deque<ProviderResult> rest) {
  auto recordset = std::make_shared<Recordset>();
  recordset->cursor_location_ = adUseClient;
  recordset->cursor_type_ = adOpenStatic;
  recordset->Load(std::move(result), std::move(rest));
  return recordset;
}

void Recordset::Load(ProviderResult result, std::deque<ProviderResult> rest) {
  rest_ = std::move(rest);
  closed_by_caller_ = false;
  fields_.clear();
  position_ = 0;
  if (result.kind != ProviderResult::Kind::Rows) {
    // A row count (or nothing) is a result without rows: the recordset stays closed.
    open_ = false;
    columns_.clear();
    rows_.clear();
    source_.reset();
    return;
  }
  open_ = true;
  columns_ = std::move(result.columns);
  rows_ = std::move(result.rows);
  source_ = std::move(result.source);
  // Short rows would leave fields without a value; pad them so every field has one.
  for (auto& row : rows_) row.resize(columns_.size(), automation::Variant::Null());
  fields_.reserve(columns_.size());
  for (const ColumnInfo& column : columns_) fields_.emplace_back(column, nullptr);
  BindFields();
}

void Recordset::BindFields() {
  const bool has_current = position_ >= 0 && position_ < static_cast<int64_t>(RowTotal());
  std::vector<automation::Variant>* row = nullptr;
  if (has_current && source_) {
    source_->Fetch(static_cast<size_t>(position_), current_);
    current_.resize(columns_.size(), automation::Variant::Null());
    row = &current_;
  } else if (has_current) {
    row = &rows_[static_cast<size_t>(position_)];
  }
  for (size_t i = 0; i < fields_.size(); ++i) fields_[i].value_ = row ? &(*row)[i] : nullptr;
}

void Recordset::SetActiveConnection(std::shared_ptr<Connection> connection) {
  connection_ = std::move(connection);
}

void Recordset::Open(std::string_view source) {
  if (open_) RaiseAdoError(adoerr::kObjectOpen);
  if (!connection_ || !connection_->IsOpen()) RaiseAdoError(adoerr::kNoConnection);
  std::deque<ProviderResult> results = connection_->RunBatch(source);
  ProviderResult first;
  if (!results.empty()) {
    first = std::move(results.front());
    results.pop_front();
  }
  Load(std::move(first), std::move(results));
}

void Recordset::RequireOpen() const {
  if (!open_) RaiseAdoError(adoerr::kObjectClosed);
}

bool Recordset::EOF() const {
  RequireOpen();
  return position_ >= static_cast<int64_t>(RowTotal());
}

bool Recordset::BOF() const {
  RequireOpen();
  // Rows are only ever read forward from the first one, so the cursor stands before the first
  // row only when there is none.
  return RowTotal() == 0;
}

int32_t Recordset::RecordCount() const {
  if (!open_) return -1;
  // A server-side forward-only cursor does not know its count, as with a real server.
  if (cursor_location_ == adUseServer && cursor_type_ == adOpenForwardOnly) return -1;
  return static_cast<int32_t>(RowTotal());
}

size_t Recordset::FieldCount() const {
  RequireOpen();
  return fields_.size();
}

const Field& Recordset::Fields(size_t index) const {
  RequireOpen();
  if (index >= fields_.size()) RaiseAdoError(adoerr::kItemNotFound);
  return fields_[index];
}

const Field& Recordset::Fields(std::string_view name) const {
  RequireOpen();
  for (const Field& field : fields_) {
    if (automation::EqualsIgnoreCase(field.Name(), name)) return field;
  }
  RaiseAdoError(adoerr::kItemNotFound);
}

void Recordset::MoveNext() {
  RequireOpen();
  if (position_ >= static_cast<int64_t>(RowTotal())) RaiseAdoError(adoerr::kNoCurrentRecord);
  ++position_;
  BindFields();
}

void Recordset::MoveFirst() {
  RequireOpen();
  if (RowTotal() == 0) RaiseAdoError(adoerr::kNoCurrentRecord);
  position_ = 0;
  BindFields();
}

std::vector<std::vector<automation::Variant>> Recordset::TakeRemainingRows() {
  RequireOpen();
  std::vector<std::vector<automation::Variant>> taken;
  if (source_) {
    const size_t total = source_->size();
    taken.resize(total - static_cast<size_t>(position_));
    for (size_t r = static_cast<size_t>(position_); r < total; ++r) {
      std::vector<automation::Variant>& row = taken[r - static_cast<size_t>(position_)];
      source_->Fetch(r, row);
      row.resize(columns_.size(), automation::Variant::Null());
    }
    // The rows before the cursor were read already; none of them is read again.
    source_.reset();
    current_.clear();
  } else if (position_ == 0) {
    taken.swap(rows_);
  } else {
    const auto first = rows_.begin() + position_;
    taken.assign(std::make_move_iterator(first), std::make_move_iterator(rows_.end()));
    rows_.erase(first, rows_.end());
  }
  position_ = static_cast<int64_t>(rows_.size());
  BindFields();
  return taken;
}

std::shared_ptr<const RowSource> Recordset::TakeRowSource() {
  RequireOpen();
  if (!source_ || position_ != 0) return nullptr;
  std::shared_ptr<const RowSource> taken = std::move(source_);
  source_.reset();
  current_.clear();
  position_ = 0;
  BindFields();
  return taken;
}

void Recordset::Close() {
  RequireOpen();
  open_ = false;
  closed_by_caller_ = true;
  rows_.clear();
  source_.reset();
  current_.clear();
  columns_.clear();
  rest_.clear();
  position_ = 0;
  // Field references handed out earlier stay valid but have no current record.
  BindFields();
}

std::shared_ptr<Recordset> Recordset::NextRecordset() {
  if (closed_by_caller_) RaiseAdoError(adoerr::kObjectClosed);
  while (!rest_.empty()) {
    ProviderResult result = std::move(rest_.front());
    rest_.pop_front();
    switch (result.kind) {
      case ProviderResult::Kind::Message:
        continue;
      case ProviderResult::Kind::Error:
        if (connection_) connection_->last_errors_ = {result.error};
        RaiseProviderError(result.error);
      case ProviderResult::Kind::Rows:
      case ProviderResult::Kind::RowCount: {
        auto next = std::make_shared<Recordset>();
        next->connection_ = connection_;
        next->cursor_location_ = cursor_location_;
        next->cursor_type_ = cursor_type_;
        next->lock_type_ = lock_type_;
        next->Load(std::move(result), std::move(rest_));
        rest_.clear();
        return next;
      }
    }
  }
  return nullptr;
}

}  // namespace orv::ado
