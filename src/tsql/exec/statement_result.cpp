// StatementResult: turning rows shared with a table into rows of the result's own.
#include "tsql/exec/statement_result.h"

namespace orv::tsql {

void StatementResult::MaterializeRows() {
  if (!shared_rows) return;
  rows.clear();
  rows.reserve(shared_order.size());
  for (uint32_t r : shared_order) {
    const std::vector<Value>& from = (*shared_rows)[r];
    std::vector<Value>& to = rows.emplace_back();
    to.reserve(shared_columns.size());
    for (uint32_t c : shared_columns) to.push_back(from[c]);
  }
  shared_rows.reset();
  shared_order = {};
  shared_columns = {};
}

}  // namespace orv::tsql
