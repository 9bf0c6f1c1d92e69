// FOR JSON after a query: PATH or AUTO, then ROOT [('name')], INCLUDE_NULL_VALUES and
// WITHOUT_ARRAY_WRAPPER in any order.
#include "tsql/syntax/parser_impl.h"

namespace orv::tsql::parse {

std::shared_ptr<const ast::ForClause> Parser::ParseForJson() {
  ExpectKw("FOR");
  ++at_;  // JSON
  auto options = std::make_shared<ast::ForClause>();
  options->json = true;
  if (IsWord(Cur(), "AUTO")) {
    options->json_auto = true;
  } else if (!IsWord(Cur(), "PATH")) {
    Error();
  }
  ++at_;
  while (AcceptOp(",")) {
    if (IsWord(Cur(), "ROOT")) {
      ++at_;
      std::string root = "root";
      ParseStringInParens(root);
      options->root = root;
    } else if (IsWord(Cur(), "INCLUDE_NULL_VALUES")) {
      ++at_;
      options->include_null_values = true;
    } else if (IsWord(Cur(), "WITHOUT_ARRAY_WRAPPER")) {
      ++at_;
      options->without_array_wrapper = true;
    } else {
      Error();
    }
  }
  if (options->root && options->without_array_wrapper) Error();
  return options;
}

}  // namespace orv::tsql::parse
