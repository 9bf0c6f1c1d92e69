// Running a recursive common table expression: the anchor's rows are the first level; each
// further level is what the recursive members make from the rows of the level before, until a
// level has no rows. Levels past MAXRECURSION end the statement (Msg 530).
#include <string>

#include "tsql/exec/exec.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {

std::vector<Row> RunRecursiveCte(RecursiveCte& plan, ExecEnv& env) {
  std::vector<Row> rows = RunQuery(*plan.anchor, nullptr, env);
  std::vector<Row> level = rows;
  for (int64_t depth = 1; !level.empty(); ++depth) {
    *plan.work = std::move(level);
    level.clear();
    for (auto& member : plan.members) {
      for (Row& row : RunQuery(*member, nullptr, env)) level.push_back(std::move(row));
    }
    if (level.empty()) break;
    if (plan.max_recursion > 0 && depth > plan.max_recursion) {
      plan.work->clear();
      ThrowError(530, {std::to_string(plan.max_recursion)});
    }
    rows.insert(rows.end(), level.begin(), level.end());
  }
  plan.work->clear();
  return rows;
}

}  // namespace orv::tsql
