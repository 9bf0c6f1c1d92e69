// Suggestions for a code condition as a person types it: the numbers (with names) of the items,
// departments, employees, task orders or sales orders whose number begins with the text typed,
// or whose name contains it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ado/connection.h"

namespace orv::lookups {

enum class CodeKind { kItem, kDepartment, kEmployee, kTaskOrder, kSalesOrder };

// "item", "department", "employee", "task-order", "sales-order"; nullopt for anything else.
std::optional<CodeKind> ParseCodeKind(std::string_view name);

struct CodeSuggestion {
  std::string number;
  std::string name;  // the item's, department's or employee's name; a task order's product;
                     // a sales order's date
};

// The statement, exactly as sent: at most `limit` rows ordered by number. The typed text is a
// literal: LIKE's wildcards in it match themselves.
std::string CodeSuggestionsSql(CodeKind kind, std::string_view typed, int limit);

std::vector<CodeSuggestion> SuggestCodes(ado::Connection& connection, CodeKind kind,
                                         std::string_view typed, int limit);

}  // namespace orv::lookups
