// Adding, changing and deleting the rows of a table for the statements that change rows.
#include "tsql/exec/table_changes.h"

#include <atomic>

#include "tsql/exec/statements.h"
#include "tsql/exec/two_halves.h"

namespace orv::tsql {

void AppendRows(Table& table, std::vector<Row> rows, StatementContext& cx) {
  std::vector<Row>& into = table.mutable_rows();
  into.reserve(into.size() + rows.size());
  for (auto& r : rows) into.push_back(std::move(r));
  cx.MarkChanged(table);
}

void UpdateRows(Table& table, RowUpdates& updates, bool two_threads, StatementContext& cx) {
  const size_t n = updates.positions.size();
  if (n == 0) return;
  std::vector<Row>& rows = table.mutable_rows();
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
      Value* in = updates.values.data() + j * ncols;
      for (int c : updates.columns) row[static_cast<size_t>(c)] = std::move(*in++);
    }
  };
  if (two_threads) {
    RunTwoHalves(n, [&](size_t begin, size_t end, const std::atomic<bool>*) { write(begin, end); });
  } else {
    write(0, n);
  }
  cx.MarkChanged(table);
}

void DeleteRows(Table& table, const std::vector<char>& doomed, size_t count,
                StatementContext& cx) {
  if (count == 0) return;
  std::vector<Row>& rows = table.mutable_rows();
  std::vector<Row> kept;
  kept.reserve(rows.size() - count);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!doomed[i]) kept.push_back(std::move(rows[i]));
  }
  rows = std::move(kept);
  cx.MarkChanged(table);
}

}  // namespace orv::tsql
