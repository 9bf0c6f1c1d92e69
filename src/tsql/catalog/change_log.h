// The one place where statements change table rows and record what they changed: rows
// inserted, updated and deleted, tables emptied, and tables and views created or dropped. Each
// session's transaction keeps one log. The log undoes changes (a failing statement, ROLLBACK,
// ROLLBACK to a savepoint) and tells the commit which rows to write to the data-source file
// (by row identity, so that a commit writes what changed and nothing else).
//
// Undo data costs what the change itself costs: an insert is undone by cutting the table back
// to its old size, an update keeps the values it replaced (swapped out, not copied), a delete
// keeps the rows it removed and TRUNCATE the rows it let go of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "tsql/catalog/catalog.h"

namespace orv::tsql {

class ChangeLog {
 public:
  enum class Kind : uint8_t {
    kInsert,
    kUpdate,
    kDelete,
    kTruncate,
    kCreateTable,
    kDropTable,
    kCreateView,
    kDropView,
    kPutProcedure,   // procedure: the new one; replaced: the one before (null when created)
    kDropProcedure,  // replaced: the procedure dropped
  };

  struct Record {
    Kind kind = Kind::kInsert;
    std::shared_ptr<Table> table;
    std::shared_ptr<View> view;
    std::shared_ptr<Procedure> procedure, replaced;
    // kInsert: rows [first, first + count) were appended, with row ids first_id, first_id + 1, ...
    size_t first = 0;
    size_t count = 0;
    int64_t first_id = 0;
    // kUpdate / kDelete: the rows' positions (ascending) and row ids at the time of the change.
    std::vector<size_t> positions;
    std::vector<int64_t> ids;
    // kUpdate: the columns set and the values they replaced, position by position.
    std::vector<int> columns;
    std::vector<Value> values;
    // kDelete: the rows removed; kTruncate: all the rows before.
    std::vector<Row> rows;
    std::shared_ptr<std::vector<Row>> old_rows;
  };

  // ---- row changes: made here and recorded ---------------------------------------------------
  // Appends rows to the table.
  void Insert(const std::shared_ptr<Table>& table, std::vector<Row>&& rows);
  // Removes the rows whose doomed[i] is set, keeping the order of the others.
  void Delete(const std::shared_ptr<Table>& table, const std::vector<char>& doomed);
  // Removes every row.
  void Truncate(const std::shared_ptr<Table>& table);
  // Records an update the caller made in place: it set columns[k] of the row at positions[j]
  // (ascending or not) and left the value it replaced in replaced[j * columns.size() + k].
  void Updated(const std::shared_ptr<Table>& table, std::vector<size_t> positions, std::vector<int> columns,
               std::vector<Value> replaced);

  // ---- catalog changes: made by the caller, recorded here ----------------------------------
  void CreatedTable(const std::shared_ptr<Table>& table);
  void DroppedTable(const std::shared_ptr<Table>& table);
  void CreatedView(const std::shared_ptr<View>& view);
  void DroppedView(const std::shared_ptr<View>& view);
  void PutProcedure(const std::shared_ptr<Procedure>& procedure, std::shared_ptr<Procedure> replaced);
  void DroppedProcedure(const std::shared_ptr<Procedure>& procedure);

  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  const std::vector<Record>& records() const { return records_; }
  // Whether records from `mark` on change permanent tables or views.
  bool ChangesPermanent(size_t mark = 0) const;

  // Undoes the records from `mark` on, newest first, and forgets them. Row changes are undone
  // here; catalog changes are handed to undo_catalog (which puts the catalog back).
  // A ROLLBACK (keep_table_variables) leaves the rows of table variables as they are.
  void UndoTo(size_t mark, const std::function<void(const Record&)>& undo_catalog,
              bool keep_table_variables = false);
  // Forgets every record (the transaction committed).
  void Clear() { records_.clear(); }

 private:
  Record& Add(Kind kind, const std::shared_ptr<Table>& table);
  static void UndoRows(Record& r);
  std::vector<Record> records_;
};

}  // namespace orv::tsql
