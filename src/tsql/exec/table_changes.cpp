// Adding, changing and deleting the rows of a table for the statements that change rows.
#include "tsql/exec/table_changes.h"

#include <atomic>

#include "tsql/exec/statements.h"
#include "tsql/exec/table_keys.h"
#include "tsql/exec/two_halves.h"

namespace orv::tsql {

void AppendRows(const std::shared_ptr<Table>& table, std::vector<Row> rows, StatementContext& cx,
                bool check_keys) {
  if (rows.empty()) return;
  cx.log().Insert(table, std::move(rows));
  if (check_keys) CheckKeys(*table);
}

void UpdateRows(const std::shared_ptr<Table>& table, RowUpdates& updates, bool two_threads,
                StatementContext& cx, bool check_keys) {
  const size_t n = updates.positions.size();
  if (n == 0) return;
  const bool key_columns_changed = ChangesKeyColumns(*table, updates.columns);
  std::vector<Row>& rows = table->mutable_rows(updates.columns);
  const size_t ncols = updates.columns.size();
  auto write = [&](size_t begin, size_t end) {
    constexpr size_t kAhead = 8;
    for (size_t j = begin; j < end; ++j) {
      // The rows were read long ago: ask for the next ones' changed columns ahead of the writes.
      if (j + kAhead < end) {
        const Row& next = rows[updates.positions[j + kAhead]];
        for (int c : updates.columns) __builtin_prefetch(next.data() + c);
      }
      Row& row = rows[updates.positions[j]];
      // The value replaced goes where the new one was: the change log keeps it for undo.
      Value* in = updates.values.data() + j * ncols;
      for (int c : updates.columns) std::swap(row[static_cast<size_t>(c)], *in++);
    }
  };
  if (two_threads) {
    RunTwoHalves(n, [&](size_t begin, size_t end, const std::atomic<bool>*) { write(begin, end); });
  } else {
    write(0, n);
  }
  cx.log().Updated(table, std::move(updates.positions), std::move(updates.columns),
                   std::move(updates.values));
  updates = RowUpdates{};
  if (check_keys && key_columns_changed) CheckKeys(*table);
}

void DeleteRows(const std::shared_ptr<Table>& table, const std::vector<char>& doomed, size_t count,
                StatementContext& cx) {
  if (count == 0) return;
  cx.log().Delete(table, doomed);
}

}  // namespace orv::tsql
