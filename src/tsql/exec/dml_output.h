// The OUTPUT clauses of INSERT, UPDATE, DELETE and MERGE: the rows they make from each changed
// row's images (inserted.*, deleted.*, and $action in MERGE) and the statement's FROM row,
// given to the client as a row set, or added to a table by OUTPUT ... INTO.
#pragma once

#include <memory>
#include <vector>

#include "tsql/bind/bound.h"
#include "tsql/exec/statements.h"
#include "tsql/syntax/ast.h"

namespace orv::tsql {

class Binder;
class RowFiller;
struct Scope;

class DmlOutput {
 public:
  // Which images the statement has: INSERT has inserted, DELETE deleted, UPDATE both, MERGE
  // both and $action.
  struct Images {
    bool inserted = false;
    bool deleted = false;
    bool action = false;
  };
  // Binds the clauses (none: nothing to do). The images have the columns of `table`; names
  // they do not have are looked up in `parent`, the statement's FROM (null for INSERT).
  DmlOutput(Binder& binder, const std::vector<ast::OutputClause>& clauses, const Table& table,
            Images images, Scope* parent, StatementContext& cx);
  ~DmlOutput();
  DmlOutput(const DmlOutput&) = delete;
  DmlOutput& operator=(const DmlOutput&) = delete;

  bool empty() const { return clauses_.empty(); }
  // The output rows of one changed row: its images (null where it has none), MERGE's action
  // ("INSERT", "UPDATE" or "DELETE") and the context of its FROM row (null when none).
  void Add(const Row* inserted, const Row* deleted, const char* action, const EvalCtx* from);
  // Makes and checks the rows OUTPUT ... INTO will add, before the statement stores its
  // change: when they fail (Msg 515, 8152, ...) nothing has changed.
  void Prepare();
  // Once the change of `count` rows is stored: adds the INTO rows and gives the client its row
  // set, which then stands for the statement's row count (as a SELECT's rows do); without one
  // the count is the statement's result.
  void Finish(int64_t count);

 private:
  struct Clause {
    BoundSpec spec;  // the images as sources
    std::vector<BExprPtr> items;
    std::vector<ResultColumn> columns;
    std::shared_ptr<Table> into;
    std::unique_ptr<RowFiller> filler;
    std::vector<Row> rows;
    std::vector<Row> into_rows;
  };
  std::vector<std::unique_ptr<Clause>> clauses_;
  StatementContext& cx_;
};

}  // namespace orv::tsql
