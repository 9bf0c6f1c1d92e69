// Adding, changing and deleting the rows of a table for the statements that change rows.
#include "tsql/exec/table_changes.h"

#include <atomic>
#include <numeric>

#include "tsql/exec/computed_columns.h"
#include "tsql/exec/statements.h"
#include "tsql/exec/table_checks.h"
#include "tsql/exec/table_keys.h"
#include "tsql/exec/two_halves.h"

namespace orv::tsql {

void AppendRows(const std::shared_ptr<Table>& table, std::vector<Row> rows, StatementContext& cx,
                bool check_constraints) {
  if (rows.empty()) return;
  const size_t added = rows.size();
  cx.log().Insert(table, std::move(rows));
  if (!check_constraints) return;
  CheckKeys(*table, cx);
  if (!table->checks.empty()) {
    std::vector<size_t> positions(added);
    std::iota(positions.begin(), positions.end(), table->row_count() - added);
    CheckConditions(*table, positions, "INSERT", cx);
  }
}

void UpdateRows(const std::shared_ptr<Table>& table, RowUpdates& updates, bool two_threads,
                StatementContext& cx, bool check_constraints) {
  const size_t n = updates.positions.size();
  if (n == 0) return;
  AddComputedValues(*table, updates, cx);
  std::vector<size_t> positions;
  if (check_constraints && !table->checks.empty()) positions = updates.positions;
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
  if (check_constraints && key_columns_changed) CheckKeys(*table, cx);
  CheckConditions(*table, positions, "UPDATE", cx);
}

void DeleteRows(const std::shared_ptr<Table>& table, const std::vector<char>& doomed, size_t count,
                StatementContext& cx) {
  if (count == 0) return;
  cx.log().Delete(table, doomed);
}

}  // namespace orv::tsql
