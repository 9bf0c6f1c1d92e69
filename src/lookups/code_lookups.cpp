#include "lookups/code_lookups.h"

#include "automation/variant.h"
#include "sqltext/quote.h"

namespace orv::lookups {

namespace {

// The typed text as a LIKE pattern that matches it literally, with `before` and `after` around
// it: %, _ and [ are written as the one-character sets [%], [_] and [[].
std::string LikeLiteral(std::string_view typed, std::string_view before, std::string_view after) {
  std::string pattern(before);
  for (char c : typed) {
    if (c == '%' || c == '_' || c == '[') {
      pattern += '[';
      pattern += c;
      pattern += ']';
    } else {
      pattern += c;
    }
  }
  pattern += after;
  return sqltext::Q(pattern);
}

struct Source {
  const char* number;  // the number column
  const char* name;    // what is shown beside it
  const char* from;    // the table (and joins)
  bool search_name;    // whether the name is searched too
};

Source SourceOf(CodeKind kind) {
  switch (kind) {
    case CodeKind::kItem:
      return {"FNumber", "FName", "t_ICItem", true};
    case CodeKind::kDepartment:
      return {"FNumber", "FName", "t_Department", true};
    case CodeKind::kEmployee:
      return {"FNumber", "FName", "t_Emp", true};
    case CodeKind::kTaskOrder:
      return {"m.FBillNo", "i.FName", "ICMO m Left Join t_ICItem i On i.FItemID=m.FItemID", false};
    case CodeKind::kSalesOrder:
      return {"FBillNo", "Convert(char(10),FDate,120)", "SEOrder", false};
  }
  return {"FNumber", "FName", "t_ICItem", true};
}

}  // namespace

std::optional<CodeKind> ParseCodeKind(std::string_view name) {
  if (name == "item") return CodeKind::kItem;
  if (name == "department") return CodeKind::kDepartment;
  if (name == "employee") return CodeKind::kEmployee;
  if (name == "task-order") return CodeKind::kTaskOrder;
  if (name == "sales-order") return CodeKind::kSalesOrder;
  return std::nullopt;
}

std::string CodeSuggestionsSql(CodeKind kind, std::string_view typed, int limit) {
  const Source source = SourceOf(kind);
  std::string sql = "Select Top " + std::to_string(limit) + " " + source.number + " As FNumber," +
                    source.name + " As FName From " + source.from + " Where " + source.number +
                    " Like " + LikeLiteral(typed, "", "%");
  if (source.search_name && !typed.empty()) {
    sql += " Or " + std::string(source.name) + " Like " + LikeLiteral(typed, "%", "%");
  }
  sql += " Order By " + std::string(source.number);
  return sql;
}

std::vector<CodeSuggestion> SuggestCodes(ado::Connection& connection, CodeKind kind,
                                         std::string_view typed, int limit) {
  std::vector<CodeSuggestion> out;
  std::shared_ptr<ado::Recordset> rs = connection.Execute(CodeSuggestionsSql(kind, typed, limit));
  if (!rs || rs->State() != ado::adStateOpen) return out;
  for (; !rs->EOF(); rs->MoveNext()) {
    const automation::Variant& name = rs->Fields(1).Value();
    out.push_back({automation::CStr(rs->Fields(0).Value()),
                   name.IsNull() ? std::string() : automation::CStr(name)});
  }
  return out;
}

}  // namespace orv::lookups
