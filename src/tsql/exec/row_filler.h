// Making the new rows of a table from values for some of its columns, as INSERT, MERGE's
// INSERT and OUTPUT ... INTO do: each value converted to its column's type as an assignment
// (Msg 8152 for strings too long), the other columns given their identity, DEFAULT or NULL,
// and Msg 515 for a NULL in a NOT NULL column.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "tsql/exec/computed_columns.h"
#include "tsql/exec/statements.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {

// The columns an INSERT fills (`listed`: named in a column list): none may be computed (Msg
// 271). With SET IDENTITY_INSERT OFF for the table, no value may go to its identity column
// (544); with it ON, the INSERT must list the columns (8101) and give the identity column (545).
void CheckInsertedColumns(const Table& table, const std::vector<int>& columns, bool listed,
                          const SessionState& session);

class RowFiller {
 public:
  // targets[i]: the column that value i goes to. `statement` names it in Msg 515 ("INSERT").
  RowFiller(const Table& table, const std::vector<int>& targets, StatementContext& cx,
            std::string statement = "INSERT");

  // Makes a new row in `out`. get(i, type) gives value i (which may be moved from) and sets
  // `type` to its type, or returns a null pointer for DEFAULT; a template so that the call per
  // value is inlined.
  template <class Get>
  void Fill(Row& out, Get&& get);

  // Whether filling a row reads nothing but its values and the identity: every default a
  // constant. Rows can then be filled on another thread (in order) once ReadyForThreads()
  // ran, and, without an identity, on two threads at once.
  bool FillsWithoutEvaluating();
  bool FillsIdentity();
  void ReadyForThreads();
  // The table's next identity value once the rows made so far are added.
  std::optional<int64_t> next_identity() const { return next_identity_; }
  // Once the rows are in the table: @@IDENTITY and SCOPE_IDENTITY() become the last identity
  // value the rows took; @@IDENTITY becomes NULL when the table has no identity column.
  void NoteIdentity() const;

 private:
  void Plan();
  // A value given for the identity column (SET IDENTITY_INSERT ON): the next one generated
  // follows the largest given (the smallest, counting down).
  void TookIdentity(const ColumnDef& column, const Value& value);
  [[noreturn]] void RefuseNull(const ColumnDef& column);

  const Table& table_;
  StatementContext& cx_;
  std::string statement_;
  std::vector<int> slot_of_;  // column -> value index, -1 when the column takes no value
  std::optional<int64_t> next_identity_;
  std::optional<int64_t> last_identity_;  // the identity value of the last row made
  std::string qualified_;  // the table's name in Msg 515, made when first needed
  ColumnDefaults defaults_;
  // A new row starts as a copy of `model_`, which holds the columns whose value is the same
  // for every row (a constant default, or NULL); the columns in `filled_` are then set in
  // column order: values, identities, other defaults, and constant defaults that a NOT NULL
  // column refuses. Made on the first row, so that no rows evaluate no default.
  Row model_;
  std::vector<size_t> filled_;
  std::unique_ptr<ComputedColumns> computed_;  // when the table has computed columns
  bool planned_ = false;
};

template <class Get>
void RowFiller::Fill(Row& out, Get&& get) {
  if (!planned_) Plan();
  out = model_;
  for (const size_t c : filled_) {
    const ColumnDef& col = table_.columns[c];
    const SqlType* from = nullptr;
    Value* source = slot_of_[c] >= 0 ? get(static_cast<size_t>(slot_of_[c]), from) : nullptr;
    Value& to = out[c];
    if (source) {
      if (*from == col.type) {
        to = std::move(*source);
      } else {
        to = Convert(*source, *from, col.type, CastMode::Assignment);
      }
      if (col.identity) [[unlikely]] TookIdentity(col, to);
    } else if (col.identity) {
      if (!next_identity_) next_identity_ = col.identity_seed;
      last_identity_ = *next_identity_;
      to = Value::Int(*next_identity_);
      *next_identity_ += col.identity_increment;
    } else {
      to = defaults_.Get(c);
    }
    if (to.is_null() && !col.nullable) RefuseNull(col);
  }
  if (computed_) [[unlikely]] computed_->Fill(out);
}

}  // namespace orv::tsql
