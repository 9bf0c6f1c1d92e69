// Session::ExecuteBatch: parses the whole batch first (a syntax error runs nothing), then runs
// it. Kept apart from the runner so that the runner links without the parser.
#include "tsql/engine.h"
#include "tsql/syntax/parser.h"

namespace orv::tsql {

std::vector<StatementResult> Session::ExecuteBatch(std::string_view text) {
  ast::Batch batch;
  try {
    batch = ParseBatch(text);
  } catch (const SqlException& ex) {
    StatementResult r;
    r.kind = StatementResult::Kind::Error;
    r.error = ex.error();
    return {r};
  }
  return ExecuteParsed(batch, text);
}

}  // namespace orv::tsql
