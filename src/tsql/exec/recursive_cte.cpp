// Running a recursive common table expression: the anchor's rows are the first level; each
// further level is what the recursive members make from the rows of the level before, until a
// level has no rows. Levels past MAXRECURSION end the statement (Msg 530). SQL Server runs a
// recursive member for one row of the level before at a time; that shows only in the window
// functions of a member (ROW_NUMBER numbers the rows made from that one row), so a member with
// window functions runs row by row and the others once per level.
#include <string>

#include "tsql/exec/exec.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {

std::vector<Row> RunRecursiveCte(RecursiveCte& plan, ExecEnv& env) {
  std::vector<Row> rows = RunQuery(*plan.anchor, nullptr, env);
  std::vector<Row> level = rows;
  std::vector<Row>& work = *plan.work;
  for (int64_t depth = 1; !level.empty(); ++depth) {
    std::vector<Row> before = std::move(level);
    level = {};
    for (auto& member : plan.members) {
      auto run = [&] {
        for (Row& row : RunQuery(*member, nullptr, env)) level.push_back(std::move(row));
      };
      if (member->spec && !member->spec->windows.empty()) {
        for (const Row& row : before) {
          work = {row};
          run();
        }
      } else {
        work = std::move(before);  // only read by the member, then taken back
        run();
        before = std::move(work);
      }
    }
    work.clear();
    if (level.empty()) break;
    if (plan.max_recursion > 0 && depth > plan.max_recursion) {
      ThrowError(530, {std::to_string(plan.max_recursion)});
    }
    rows.insert(rows.end(), level.begin(), level.end());
  }
  return rows;
}

}  // namespace orv::tsql
