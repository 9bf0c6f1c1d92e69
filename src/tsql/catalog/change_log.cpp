// The change log: row changes made and recorded, and their undo newest first.
#include "tsql/catalog/change_log.h"

#include <algorithm>

namespace orv::tsql {

ChangeLog::Record& ChangeLog::Add(Kind kind, const std::shared_ptr<Table>& table) {
  Record& r = records_.emplace_back();
  r.kind = kind;
  r.table = table;
  return r;
}

void ChangeLog::Insert(const std::shared_ptr<Table>& table, std::vector<Row>&& rows) {
  if (rows.empty()) return;
  Table& t = *table;
  std::vector<Row>& target = t.rows_to_append();
  Record& r = Add(Kind::kInsert, table);
  r.first = target.size();
  r.count = rows.size();
  // Room grows geometrically: a row at a time into a large table must not copy it each time.
  auto make_room = [](auto& v, size_t more) {
    if (v.capacity() < v.size() + more) v.reserve(std::max(v.size() + more, v.capacity() * 2));
  };
  if (target.empty() && rows.size() >= target.capacity()) {
    target = std::move(rows);
  } else {
    make_room(target, rows.size());
    for (Row& row : rows) target.push_back(std::move(row));
  }
  if (t.KeepsRowIds()) {
    r.first_id = t.next_row_id_;
    make_room(t.row_ids_, r.count);
    for (size_t i = 0; i < r.count; ++i) t.row_ids_.push_back(t.next_row_id_++);
  }
}

void ChangeLog::Delete(const std::shared_ptr<Table>& table, const std::vector<char>& doomed) {
  Table& t = *table;
  std::vector<Row>& rows = t.mutable_rows();
  const bool ids = t.KeepsRowIds();
  Record* r = nullptr;
  std::vector<Row> kept;
  std::vector<int64_t> kept_ids;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i < doomed.size() && doomed[i]) {
      if (!r) {
        r = &Add(Kind::kDelete, table);
        kept.reserve(rows.size());
        for (size_t k = 0; k < i; ++k) kept.push_back(std::move(rows[k]));
        if (ids) kept_ids.assign(t.row_ids_.begin(), t.row_ids_.begin() + static_cast<ptrdiff_t>(i));
      }
      r->positions.push_back(i);
      r->rows.push_back(std::move(rows[i]));
      if (ids) r->ids.push_back(t.row_ids_[i]);
    } else if (r) {
      kept.push_back(std::move(rows[i]));
      if (ids) kept_ids.push_back(t.row_ids_[i]);
    }
  }
  if (!r) return;
  rows = std::move(kept);
  if (ids) t.row_ids_ = std::move(kept_ids);
}

void ChangeLog::Truncate(const std::shared_ptr<Table>& table) {
  Table& t = *table;
  t.MakeAllRows();
  t.ForgetSnapshot();
  Record& r = Add(Kind::kTruncate, table);
  t.ForgetColumnArrays();
  r.old_rows = std::move(t.rows_);
  r.ids = std::move(t.row_ids_);
  t.rows_ = std::make_shared<std::vector<Row>>();
  t.row_ids_.clear();
}

void ChangeLog::Updated(const std::shared_ptr<Table>& table, std::vector<size_t> positions,
                        std::vector<int> columns, std::vector<Value> replaced) {
  if (positions.empty()) return;
  Record& r = Add(Kind::kUpdate, table);
  if (table->KeepsRowIds()) {
    r.ids.reserve(positions.size());
    for (size_t p : positions) r.ids.push_back(table->row_ids_[p]);
  }
  r.positions = std::move(positions);
  r.columns = std::move(columns);
  r.values = std::move(replaced);
}

void ChangeLog::CreatedTable(const std::shared_ptr<Table>& table) { Add(Kind::kCreateTable, table); }

void ChangeLog::DroppedTable(const std::shared_ptr<Table>& table) { Add(Kind::kDropTable, table); }

void ChangeLog::CreatedView(const std::shared_ptr<View>& view) { Add(Kind::kCreateView, nullptr).view = view; }

void ChangeLog::DroppedView(const std::shared_ptr<View>& view) { Add(Kind::kDropView, nullptr).view = view; }

void ChangeLog::PutProcedure(const std::shared_ptr<Procedure>& procedure,
                             std::shared_ptr<Procedure> replaced) {
  Record& r = Add(Kind::kPutProcedure, nullptr);
  r.procedure = procedure;
  r.replaced = std::move(replaced);
}

void ChangeLog::DroppedProcedure(const std::shared_ptr<Procedure>& procedure) {
  Add(Kind::kDropProcedure, nullptr).replaced = procedure;
}

bool ChangeLog::ChangesPermanent(size_t mark) const {
  for (size_t i = mark; i < records_.size(); ++i) {
    const Record& r = records_[i];
    if (r.view || r.procedure || r.replaced || (r.table && !r.table->temporary)) return true;
  }
  return false;
}

void ChangeLog::UndoRows(Record& r) {
  Table& t = *r.table;
  switch (r.kind) {
    case Kind::kInsert: {
      // Later changes are undone already, so the rows appended are the last ones again.
      std::vector<Row>& rows = t.mutable_rows();
      rows.resize(r.first);
      if (t.KeepsRowIds()) t.row_ids_.resize(r.first);
      break;
    }
    case Kind::kUpdate: {
      std::vector<Row>& rows = t.mutable_rows(r.columns);
      const size_t width = r.columns.size();
      for (size_t j = 0; j < r.positions.size(); ++j) {
        Row& row = rows[r.positions[j]];
        for (size_t k = 0; k < width; ++k) row[r.columns[k]] = std::move(r.values[j * width + k]);
      }
      break;
    }
    case Kind::kDelete: {
      std::vector<Row>& rows = t.mutable_rows();
      // A temporary table that began keeping ids after this change has none for these rows.
      if (t.KeepsRowIds() && r.ids.size() != r.rows.size()) t.StopKeepingRowIds();
      const bool ids = t.KeepsRowIds();
      std::vector<Row> merged;
      std::vector<int64_t> merged_ids;
      merged.reserve(rows.size() + r.rows.size());
      if (ids) merged_ids.reserve(merged.capacity());
      size_t kept = 0, back = 0;
      while (merged.size() < rows.size() + r.rows.size()) {
        if (back < r.positions.size() && r.positions[back] == merged.size()) {
          merged.push_back(std::move(r.rows[back]));
          if (ids) merged_ids.push_back(r.ids[back]);
          ++back;
        } else {
          merged.push_back(std::move(rows[kept]));
          if (ids) merged_ids.push_back(t.row_ids_[kept]);
          ++kept;
        }
      }
      rows = std::move(merged);
      if (ids) t.row_ids_ = std::move(merged_ids);
      break;
    }
    case Kind::kTruncate:
      t.ForgetColumnArrays();
      t.rows_ = std::move(r.old_rows);
      t.row_ids_ = std::move(r.ids);
      if (t.KeepsRowIds() && t.row_ids_.size() != t.rows_->size()) t.StopKeepingRowIds();
      break;
    default:
      break;
  }
}

void ChangeLog::UndoTo(size_t mark, const std::function<void(const Record&)>& undo_catalog,
                       bool keep_table_variables) {
  while (records_.size() > mark) {
    Record& r = records_.back();
    if (keep_table_variables && r.table && r.table->table_variable) {
      records_.pop_back();
      continue;
    }
    switch (r.kind) {
      case Kind::kInsert:
      case Kind::kUpdate:
      case Kind::kDelete:
      case Kind::kTruncate:
        UndoRows(r);
        break;
      default:
        undo_catalog(r);
        break;
    }
    records_.pop_back();
  }
}

}  // namespace orv::tsql
