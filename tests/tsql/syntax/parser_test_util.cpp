#include "parser_test_util.h"

namespace orv::tsql::testing {
namespace {

const char* OpText(ast::Op op) {
  switch (op) {
    case ast::Op::Add:
      return "+";
    case ast::Op::Sub:
      return "-";
    case ast::Op::Mul:
      return "*";
    case ast::Op::Div:
      return "/";
    case ast::Op::Mod:
      return "%";
    case ast::Op::BitAnd:
      return "&";
    case ast::Op::BitOr:
      return "|";
    case ast::Op::BitXor:
      return "^";
    case ast::Op::Neg:
      return "neg";
    case ast::Op::Pos:
      return "pos";
    case ast::Op::BitNot:
      return "~";
    case ast::Op::Eq:
      return "=";
    case ast::Op::Ne:
      return "<>";
    case ast::Op::Lt:
      return "<";
    case ast::Op::Le:
      return "<=";
    case ast::Op::Gt:
      return ">";
    case ast::Op::Ge:
      return ">=";
    case ast::Op::NotLt:
      return "!<";
    case ast::Op::NotGt:
      return "!>";
    case ast::Op::None:
      return "?";
  }
  return "?";
}

std::string Args(const ast::Expr& e, size_t from) {
  std::string out;
  for (size_t i = from; i < e.args.size(); ++i) out += " " + Dump(*e.args[i]);
  return out;
}

}  // namespace

std::string DumpType(const ast::TypeName& type) {
  std::string out = type.name;
  if (type.max) return out + "(max)";
  if (type.precision >= 0) {
    out += "(" + std::to_string(type.precision);
    if (type.scale >= 0) out += "," + std::to_string(type.scale);
    out += ")";
  }
  return out;
}

std::string DumpName(const ast::Name& name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) out += (i ? "." : "") + name[i];
  return out;
}

std::string Dump(const ast::Expr& e) {
  using K = ast::ExprKind;
  switch (e.kind) {
    case K::Literal:
      switch (e.literal_kind) {
        case ast::LiteralKind::Null:
          return "NULL";
        case ast::LiteralKind::Integer:
          return "int:" + e.text;
        case ast::LiteralKind::Decimal:
          return "dec:" + e.text;
        case ast::LiteralKind::Float:
          return "float:" + e.text;
        case ast::LiteralKind::Money:
          return "money:" + e.text;
        case ast::LiteralKind::String:
          return "str:'" + e.text + "'";
        case ast::LiteralKind::NString:
          return "nstr:'" + e.text + "'";
        case ast::LiteralKind::Binary:
          return "bin:" + e.text;
      }
      return "?";
    case K::ColumnRef:
      return DumpName(e.name);
    case K::Variable:
      return e.text;
    case K::Unary:
    case K::Binary:
      return std::string("(") + OpText(e.op) + Args(e, 0) + ")";
    case K::And:
      return "(and" + Args(e, 0) + ")";
    case K::Or:
      return "(or" + Args(e, 0) + ")";
    case K::Not:
      return "(not" + Args(e, 0) + ")";
    case K::IsNull:
      return std::string(e.negated ? "(isnotnull" : "(isnull") + Args(e, 0) + ")";
    case K::Between:
      return std::string(e.negated ? "(notbetween" : "(between") + Args(e, 0) + ")";
    case K::Like:
      return std::string(e.negated ? "(notlike" : "(like") + Args(e, 0) + ")";
    case K::InList:
      return std::string(e.negated ? "(notin" : "(in") + Args(e, 0) + ")";
    case K::InSubquery:
      return std::string(e.negated ? "(notin" : "(in") + Args(e, 0) + " <query>)";
    case K::Exists:
      return e.negated ? "(notexists <query>)" : "(exists <query>)";
    case K::ScalarSubquery:
      return "(subquery)";
    case K::Case: {
      std::string out = "(case";
      if (e.case_operand) out += " " + Dump(*e.case_operand);
      for (size_t i = 0; i + 1 < e.args.size(); i += 2) {
        out += " when " + Dump(*e.args[i]) + " then " + Dump(*e.args[i + 1]);
      }
      if (e.case_else) out += " else " + Dump(*e.case_else);
      return out + ")";
    }
    case K::Function: {
      std::string out = e.text + "(";
      if (e.distinct) out += "distinct ";
      for (size_t i = 0; i < e.args.size(); ++i) out += (i ? ", " : "") + Dump(*e.args[i]);
      return out + ")";
    }
    case K::Cast:
      if (e.is_convert) return "(convert " + DumpType(e.type) + Args(e, 0) + ")";
      return "(cast" + Args(e, 0) + " " + DumpType(e.type) + ")";
    case K::DatePart:
      return e.text;
    case K::Default:
      return "DEFAULT";
    case K::Star:
      return e.name.empty() ? "*" : DumpName(e.name) + ".*";
    case K::Collate:
      return "(collate" + Args(e, 0) + " " + e.text + ")";
  }
  return "?";
}

std::string Dump(const ast::TableRef& ref) {
  switch (ref.kind) {
    case ast::TableRef::Kind::Named:
      return DumpName(ref.name) + (ref.alias.empty() ? "" : " " + ref.alias);
    case ast::TableRef::Kind::Derived:
      return "(derived) " + ref.alias;
    case ast::TableRef::Kind::Values:
      return "(values " + std::to_string(ref.values.size()) + ") " + ref.alias;
    case ast::TableRef::Kind::Join: {
      static const char* kJoin[] = {"inner", "left",        "right",      "full",
                                    "cross", "cross apply", "outer apply"};
      std::string out = "(" + std::string(kJoin[static_cast<int>(ref.join_type)]) + " " +
                        Dump(*ref.left) + ", " + Dump(*ref.right);
      if (ref.on) out += " on " + Dump(*ref.on);
      return out + ")";
    }
  }
  return "?";
}

std::string DumpSelectExpr(std::string_view expr_text) {
  ast::Batch batch = ParseBatch("SELECT " + std::string(expr_text));
  if (batch.statements.size() != 1)
    return "<" + std::to_string(batch.statements.size()) + " stmts>";
  const auto& select = batch.statements[0]->As<ast::SelectStmt>();
  const auto& items = select.query->spec->items;
  if (items.size() != 1) return "<" + std::to_string(items.size()) + " items>";
  return Dump(*items[0].expr);
}

ErrorInfo ParseError(std::string_view batch) {
  try {
    ParseBatch(batch);
  } catch (const SqlException& e) {
    return {e.error().number, e.error().line, e.error().message};
  }
  return {};
}

}  // namespace orv::tsql::testing
