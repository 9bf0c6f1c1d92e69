// Binding of queries: FROM sources (tables, views, derived tables, join trees), the select
// list with * expansion, WHERE, GROUP BY / HAVING with the grouping check, ORDER BY items,
// TOP, and the column typing of UNION, EXCEPT and INTERSECT.
#include <algorithm>
#include <utility>

#include "tsql/bind/binder.h"
#include "tsql/catalog/system_views.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace {

using ast::JoinName;

std::string OutputName(const ast::SelectItem& item) {
  if (!item.alias.empty()) return item.alias;
  if (item.expr && item.expr->kind == ast::ExprKind::ColumnRef && !item.expr->name.empty()) {
    return item.expr->name.back();
  }
  return "";
}

// e converted to `to` exactly: unlike MakeConvert, also between two decimal, string or integer
// types, whose values would otherwise keep their own scale or length.
BExprPtr ConvertExactly(BExprPtr e, const SqlType& to) {
  if (e->type == to || e->type.id == TypeId::Null) return MakeConvert(std::move(e), to);
  if (e->kind == BKind::Literal) {
    return MakeLiteral(Convert(e->value, e->type, to, CastMode::Implicit), to);
  }
  auto convert = std::make_unique<BExpr>();
  convert->kind = BKind::Convert;
  convert->type = to;
  convert->nullable = e->nullable;
  convert->args.push_back(std::move(e));
  return convert;
}

}  // namespace

std::shared_ptr<Table> Binder::FindTable(const ast::Name& name) {
  if (name.empty()) return nullptr;
  const std::string& table = name.back();
  if (IsTempName(table)) return session_.FindTempTable(table);
  if (name.size() >= 2) {
    // sys.tables, INFORMATION_SCHEMA.COLUMNS, ...: the catalog views.
    const std::string_view database =
        name.size() >= 3 ? std::string_view(name[name.size() - 3]) : std::string_view();
    if (auto view = BuildSystemView(session_, database, name[name.size() - 2], table,
                                    [this](const View& v) { return ViewColumns(v); })) {
      return view;
    }
  }
  if (describing_) {
    // Only the columns matter: a table with none of its rows, and no lock on it.
    auto description = session_.database->DescribeTable(table);
    if (!description) return nullptr;
    auto stub = std::make_shared<Table>();
    stub->name = std::move(description->name);
    stub->object_id = description->object_id;
    stub->columns = std::move(description->columns);
    return stub;
  }
  return session_.OpenTable(table);
}

std::vector<ResultColumn> Binder::ViewColumns(const View& view) {
  const bool outer_describing = std::exchange(describing_, true);
  std::vector<const ast::CommonTableExpr*> outer_ctes = std::move(ctes_);
  Recursion* outer_recursion = std::exchange(recursion_, nullptr);
  ctes_.clear();
  std::vector<ResultColumn> columns;
  try {
    columns = BindQuery(*view.query, nullptr)->columns;
    for (size_t i = 0; i < view.column_names.size() && i < columns.size(); ++i) {
      columns[i].name = view.column_names[i];
    }
  } catch (const SqlException&) {
    columns.clear();  // a view that does not bind (a table of it dropped) has no columns to show
  }
  ctes_ = std::move(outer_ctes);
  recursion_ = outer_recursion;
  describing_ = outer_describing;
  return columns;
}

int Binder::AddNamedSource(const ast::Name& name, const std::string& alias, BoundSpec& spec,
                           bool null_supplying) {
  BoundSource source;
  const std::string& table_name = name.back();
  source.exposed = alias.empty() ? table_name : alias;
  source.aliased = !alias.empty();
  source.null_supplying = null_supplying;
  for (const auto& existing : spec.sources) {
    if (NamesEqual(existing.exposed, source.exposed)) {
      ThrowError(1013, {source.exposed, source.exposed});
    }
  }
  size_t cte_index = 0;
  if (recursion_ && name.size() == 1 && NamesEqual(recursion_->cte->name, table_name)) {
    AddRecursiveReference(source);
  } else if (FindCte(name, &cte_index)) {
    source.derived = BindCte(cte_index);
    source.columns = source.derived->columns;
    source.view_or_cte = true;
  } else if (auto table = FindTable(name)) {
    source.table_name = table->name;
    for (const auto& c : table->columns) source.columns.push_back({c.name, c.type, c.nullable});
    source.table = std::move(table);
  } else if (std::shared_ptr<View> view =
                 IsTempName(table_name) ? nullptr : session_.database->FindView(table_name)) {
    source.table_name = view->name;
    source.view_or_cte = true;
    // A view's definition sees no common table expression of the statement that uses it.
    std::vector<const ast::CommonTableExpr*> outer_ctes = std::move(ctes_);
    Recursion* outer_recursion = std::exchange(recursion_, nullptr);
    ctes_.clear();
    source.derived = BindQuery(*view->query, nullptr);
    ctes_ = std::move(outer_ctes);
    recursion_ = outer_recursion;
    source.columns = source.derived->columns;
    for (size_t i = 0; i < view->column_names.size() && i < source.columns.size(); ++i) {
      source.columns[i].name = view->column_names[i];
    }
  } else if (name.size() == 1 && !name.back().empty() && name.back()[0] == '@') {
    ThrowError(1087, {name.back()});  // a table variable not declared in this batch
  } else {
    ThrowError(208, {JoinName(name)});
  }
  spec.sources.push_back(std::move(source));
  return static_cast<int>(spec.sources.size() - 1);
}

std::unique_ptr<BoundJoin> Binder::BindTableRef(const ast::TableRef& ref, BoundSpec& spec,
                                                Scope& scope, bool null_supplying) {
  NestingGuard guard(*this);
  auto join = std::make_unique<BoundJoin>();
  switch (ref.kind) {
    case ast::TableRef::Kind::Named:
      join->source = AddNamedSource(ref.name, ref.alias, spec, null_supplying);
      return join;
    case ast::TableRef::Kind::Derived:
    case ast::TableRef::Kind::Values:
      join->source = AddDerivedSource(ref, spec, nullptr, null_supplying, &scope);
      return join;
    case ast::TableRef::Kind::Join: {
      join->type = ref.join_type;
      if (ref.join_type == ast::JoinType::CrossApply ||
          ref.join_type == ast::JoinType::OuterApply) {
        // The right side sees the sources bound so far (those of the left side).
        const bool right_ns = null_supplying || ref.join_type == ast::JoinType::OuterApply;
        join->left = BindTableRef(*ref.left, spec, scope, null_supplying);
        const ast::TableRef& right = *ref.right;
        if (right.kind == ast::TableRef::Kind::Derived ||
            right.kind == ast::TableRef::Kind::Values) {
          join->right = std::make_unique<BoundJoin>();
          join->right->source = AddDerivedSource(right, spec, &scope, right_ns);
        } else {
          join->right = BindTableRef(right, spec, scope, right_ns);
        }
        return join;
      }
      bool left_ns = null_supplying ||
                     ref.join_type == ast::JoinType::Right || ref.join_type == ast::JoinType::Full;
      bool right_ns = null_supplying ||
                      ref.join_type == ast::JoinType::Left || ref.join_type == ast::JoinType::Full;
      join->left = BindTableRef(*ref.left, spec, scope, left_ns);
      join->right = BindTableRef(*ref.right, spec, scope, right_ns);
      if (ref.on) {
        std::vector<BExpr*>* saved = scope.aggregates;
        scope.aggregates = nullptr;
        SplitConjuncts(BindExpr(*ref.on, scope), join->on);
        scope.aggregates = saved;
      }
      return join;
    }
  }
  return join;
}

int Binder::AddDerivedSource(const ast::TableRef& ref, BoundSpec& spec, Scope* parent,
                             bool null_supplying, Scope* enclosing) {
  BoundSource source;
  source.exposed = ref.alias;
  source.aliased = true;
  source.null_supplying = null_supplying;
  for (const auto& existing : spec.sources) {
    if (NamesEqual(existing.exposed, source.exposed)) {
      ThrowError(1013, {source.exposed, source.exposed});
    }
  }
  // Inside a subquery, a derived table sees the queries around the subquery through a level
  // that stands for spec's own and names nothing: spec's sources are not in its scope.
  Scope hidden;
  Scope* above = parent;
  if (!parent && enclosing && enclosing->parent) {
    hidden.parent = enclosing->parent;
    above = &hidden;
  }
  bool correlated = false;
  if (ref.kind == ast::TableRef::Kind::Values) {
    Scope values_scope;
    values_scope.parent = above;
    source.derived = BindValues(ref, values_scope);
    correlated = !values_scope.refs_to_parent.empty() || values_scope.refs_beyond_parent;
  } else {
    source.derived = BindQuery(*ref.derived, above, &correlated);
  }
  source.lateral = parent != nullptr && correlated;
  if (above == &hidden) {
    // What it reads of the queries around is read from spec's level.
    source.outer_correlated = correlated;
    enclosing->refs_to_parent.insert(enclosing->refs_to_parent.end(), hidden.refs_to_parent.begin(),
                                     hidden.refs_to_parent.end());
    enclosing->refs_beyond_parent = enclosing->refs_beyond_parent || hidden.refs_beyond_parent;
  }
  source.columns = source.derived->columns;
  NameColumns(source.columns, ref.column_aliases, ref.alias);
  spec.sources.push_back(std::move(source));
  return static_cast<int>(spec.sources.size() - 1);
}

std::unique_ptr<BoundQuery> Binder::BindValues(const ast::TableRef& ref, Scope& scope) {
  if (ref.string_split) return BindStringSplit(ref, scope);
  if (ref.openjson) return BindOpenJson(ref, scope);
  auto query = std::make_unique<BoundQuery>();
  query->is_values = true;
  const size_t width = ref.values.front().size();
  std::vector<SqlType> types(width, SqlType::Null());
  std::vector<bool> nullable(width, false);
  for (const auto& row : ref.values) {
    if (row.size() != width) ThrowError(10709);
    std::vector<BExprPtr> bound;
    for (size_t c = 0; c < width; ++c) {
      BExprPtr e = BindExpr(*row[c], scope);
      types[c] = UnionType(types[c], e->type);
      nullable[c] = nullable[c] || e->nullable;
      bound.push_back(std::move(e));
    }
    query->values.push_back(std::move(bound));
  }
  for (size_t c = 0; c < width; ++c) {
    if (types[c].id == TypeId::Null) types[c] = SqlType::Int();
    query->columns.push_back({"", types[c], nullable[c]});
  }
  // Every value takes its column's type exactly (a decimal its scale too), as the rows of
  // the parts of a UNION ALL do.
  for (auto& row : query->values) {
    for (size_t c = 0; c < width; ++c) row[c] = ConvertExactly(std::move(row[c]), types[c]);
  }
  return query;
}

std::unique_ptr<BoundQuery> Binder::BindStringSplit(const ast::TableRef& ref, Scope& scope) {
  const auto& args = ref.values.front();
  if (args.size() < 2 || args.size() > 3) ThrowError(174, {"STRING_SPLIT", args.size() < 2 ? "2" : "3"});
  auto query = std::make_unique<BoundQuery>();
  query->is_values = true;
  query->string_split = true;
  BExprPtr text = BindExpr(*args[0], scope);
  BExprPtr separator = BindExpr(*args[1], scope);
  if (!separator->type.IsString() && separator->type.id != TypeId::Null) {
    ThrowError(214, {"separator", "nchar(1)/nvarchar(1)"});
  }
  if (args.size() == 3) {
    // The ordinal column is there or not when the query is compiled: only a constant decides.
    BExprPtr flag = BindExpr(*args[2], scope);
    if (flag->kind != BKind::Literal) ThrowError(8748);
    query->split_ordinal = !flag->value.is_null() && flag->value.kind() == Value::Kind::Int &&
                           flag->value.int_value() == 1;
  }
  // The parts keep the string's type: nvarchar for Unicode arguments, else varchar, of the
  // string's length.
  const bool unicode = text->type.IsUnicode() || separator->type.IsUnicode();
  int32_t length = text->type.IsString() ? text->type.length : 8000;
  if (text->type.id == TypeId::Text || text->type.id == TypeId::NText) length = SqlType::kMaxLength;
  if (unicode && length != SqlType::kMaxLength && length > 4000) length = SqlType::kMaxLength;
  const SqlType value_type = unicode ? SqlType::NVarChar(length) : SqlType::VarChar(length);
  query->columns.push_back({"value", value_type, true});
  if (query->split_ordinal) query->columns.push_back({"ordinal", SqlType::BigInt(), false});
  std::vector<BExprPtr> row;
  row.push_back(ConvertExactly(std::move(text), value_type));
  row.push_back(std::move(separator));
  query->values.push_back(std::move(row));
  return query;
}

// OPENJSON(json [, path]) with its default columns: key, value (text; objects and arrays as
// they stand) and type (0 null, 1 string, 2 number, 3 true/false, 4 array, 5 object).
std::unique_ptr<BoundQuery> Binder::BindOpenJson(const ast::TableRef& ref, Scope& scope) {
  const auto& args = ref.values.front();
  if (args.size() > 2) ThrowError(174, {"OPENJSON", "2"});
  auto query = std::make_unique<BoundQuery>();
  query->is_values = true;
  query->openjson = true;
  query->columns.push_back({"key", SqlType::NVarChar(4000), false});
  query->columns.push_back({"value", SqlType::NVarChar(SqlType::kMaxLength), true});
  query->columns.push_back({"type", SqlType::TinyInt(), false});
  std::vector<BExprPtr> row;
  for (const auto& a : args) {
    row.push_back(MakeConvert(BindExpr(*a, scope), SqlType::NVarChar(SqlType::kMaxLength)));
  }
  query->values.push_back(std::move(row));
  return query;
}

void NameColumns(std::vector<ResultColumn>& columns, const std::vector<std::string>& names,
                 const std::string& name) {
  if (!names.empty()) {
    if (columns.size() > names.size()) ThrowError(8158, {name});
    if (columns.size() < names.size()) ThrowError(8159, {name});
    for (size_t i = 0; i < names.size(); ++i) {
      for (size_t j = 0; j < i; ++j) {
        if (NamesEqual(names[i], names[j])) ThrowError(8156, {names[i], name});
      }
      columns[i].name = names[i];
    }
    return;
  }
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].name.empty()) ThrowError(8155, {std::to_string(i + 1), name});
  }
}

void Binder::BindFrom(const std::vector<ast::TableRefPtr>& from, BoundSpec& spec,
                      Scope& scope) {
  for (const auto& ref : from) spec.from.push_back(BindTableRef(*ref, spec, scope, false));
}

namespace {

// FOR JSON: every column needs a name (13605). AUTO, and a column that is itself FOR JSON
// text (which would have to be written as JSON rather than as a string), are not supported.
void CheckForJson(const ast::QueryExpr& query, const BoundQuery& bound) {
  if (query.for_clause->json_auto) ThrowError(40517, {"FOR JSON AUTO"});
  for (const ResultColumn& column : bound.columns) {
    if (column.name.empty()) ThrowError(13605);
  }
  if (query.kind != ast::QueryExpr::Kind::Spec) return;
  for (const ast::SelectItem& item : query.spec->items) {
    const ast::Expr* e = item.expr.get();
    if (e && e->subquery && e->subquery->for_clause && e->subquery->for_clause->json) {
      ThrowError(40517, {"FOR JSON in a column of FOR JSON"});
    }
  }
}

}  // namespace

std::unique_ptr<BoundQuery> Binder::BindQuery(const ast::QueryExpr& query, Scope* parent,
                                              bool* correlated, std::vector<int>* parent_refs) {
  std::unique_ptr<BoundQuery> bound;
  if (!query.with.empty()) {
    const size_t mark = PushCtes(query.with);
    bound = BindQueryBody(query, parent, correlated, parent_refs);
    PopCtes(mark);
  } else {
    bound = BindQueryBody(query, parent, correlated, parent_refs);
  }
  if (!query.for_clause) return bound;
  if (query.for_clause->json) CheckForJson(query, *bound);
  // The column SQL Server names a FOR XML or FOR JSON result by.
  auto text = std::make_unique<BoundQuery>();
  text->columns.push_back({query.for_clause->json ? "JSON_F52E2B61-18A1-11d1-B105-00805F49916B"
                                                  : "XML_F52E2B61-18A1-11d1-B105-00805F49916B",
                           SqlType::NVarChar(SqlType::kMaxLength), true});
  text->for_rows = std::move(bound);
  text->for_clause = query.for_clause;
  return text;
}

std::unique_ptr<BoundQuery> Binder::BindQueryBody(const ast::QueryExpr& query, Scope* parent,
                                                  bool* correlated,
                                                  std::vector<int>* parent_refs) {
  NestingGuard guard(*this);
  if (query.kind == ast::QueryExpr::Kind::Spec) {
    Scope scope;
    scope.parent = parent;
    auto bound = BindSpec(*query.spec, query.order_by, scope);
    if (query.offset) {
      BoundSpec& spec = *bound->spec;
      if (spec.top) ThrowError(10741);
      BindOffset(query, spec.offset, spec.top);
      if (!spec.top) spec.top = MakeLiteral(Value::Int(INT64_MAX), SqlType::BigInt());
    }
    if (correlated) {
      *correlated = *correlated || !scope.refs_to_parent.empty() || scope.refs_beyond_parent;
    }
    if (parent_refs) {
      parent_refs->insert(parent_refs->end(), scope.refs_to_parent.begin(),
                          scope.refs_to_parent.end());
    }
    return bound;
  }
  auto bound = std::make_unique<BoundQuery>();
  bound->left = BindQuery(*query.left, parent, correlated, parent_refs);
  bound->right = BindQuery(*query.right, parent, correlated, parent_refs);
  bound->set_op = query.set_op;
  bound->union_all = query.union_all;
  const auto& lc = bound->left->columns;
  const auto& rc = bound->right->columns;
  if (lc.size() != rc.size()) ThrowError(205);
  for (size_t i = 0; i < lc.size(); ++i) {
    ResultColumn col;
    col.name = lc[i].name;
    col.type = UnionType(lc[i].type, rc[i].type);
    col.nullable = lc[i].nullable || rc[i].nullable;
    bound->columns.push_back(col);
  }
  for (const auto& item : query.order_by) {
    OrderKey key;
    key.desc = item.descending;
    const ast::Expr& e = *item.expr;
    if (e.kind == ast::ExprKind::Literal && e.literal_kind == ast::LiteralKind::Integer) {
      int64_t n = std::stoll(e.text);
      if (n < 1 || n > static_cast<int64_t>(bound->columns.size())) {
        ThrowError(108, {std::to_string(n)});
      }
      key.output = static_cast<int>(n - 1);
    } else if (e.kind == ast::ExprKind::ColumnRef) {
      for (size_t i = 0; i < bound->columns.size(); ++i) {
        if (NamesEqual(bound->columns[i].name, e.name.back())) {
          key.output = static_cast<int>(i);
          break;
        }
      }
      if (key.output < 0) ThrowError(104);
    } else {
      ThrowError(104);
    }
    bound->order.push_back(std::move(key));
  }
  if (query.offset) BindOffset(query, bound->offset, bound->fetch);
  return bound;
}

void Binder::BindOffset(const ast::QueryExpr& query, BExprPtr& offset, BExprPtr& fetch) {
  // Like TOP's, the counts read no columns (variables and constants).
  Scope empty;
  offset = BindExpr(*query.offset, empty);
  if (query.fetch) fetch = BindExpr(*query.fetch, empty);
}

std::unique_ptr<BoundQuery> Binder::BindSpec(const ast::QuerySpec& ast_spec,
                                             const std::vector<ast::OrderItem>& order_by,
                                             Scope& scope) {
  DepthGuard depth(*this);
  auto bound = std::make_unique<BoundQuery>();
  bound->spec = std::make_unique<BoundSpec>();
  BoundSpec& spec = *bound->spec;
  scope.spec = &spec;
  scope.aggregates = nullptr;
  CheckAssignments(ast_spec);

  BindFrom(ast_spec.from, spec, scope);
  if (ast_spec.where) SplitConjuncts(BindExpr(*ast_spec.where, scope), spec.where);

  // Select list.
  scope.aggregates = &spec.aggregates;
  scope.windows = &spec.windows;
  std::vector<std::string> aliases;
  std::vector<BExprPtr> star_groups;  // group_by_star: the columns "*" gave
  for (const auto& item : ast_spec.items) {
    const ast::Expr& e = *item.expr;
    if (e.kind == ast::ExprKind::Star) {
      bool any = false;
      for (size_t s = 0; s < spec.sources.size(); ++s) {
        const BoundSource& source = spec.sources[s];
        if (!e.name.empty() && !NamesEqual(source.exposed, e.name.back())) continue;
        any = true;
        for (size_t c = 0; c < source.columns.size(); ++c) {
          if (std::any_of(
                  ast_spec.star_except.begin(), ast_spec.star_except.end(),
                  [&](const std::string& n) { return NamesEqual(n, source.columns[c].name); })) {
            continue;
          }
          auto column = [&] {
            auto col = std::make_unique<BExpr>();
            col->kind = BKind::Column;
            col->src = static_cast<int>(s);
            col->col = static_cast<int>(c);
            col->type = source.columns[c].type;
            col->nullable = source.columns[c].nullable || source.null_supplying;
            col->name = source.columns[c].name;
            return col;
          };
          BExprPtr col = column();
          bound->columns.push_back({source.columns[c].name, col->type, col->nullable});
          if (ast_spec.group_by_star) star_groups.push_back(column());
          spec.select.push_back(std::move(col));
          aliases.push_back("");
        }
      }
      if (!any) {
        if (e.name.empty()) ThrowError(263, {"Must specify table to select from."});
        std::string q;
        for (size_t i = 0; i < e.name.size(); ++i) q += (i ? "." : "") + e.name[i];
        ThrowError(4104, {q});
      }
      continue;
    }
    if (!item.variable.empty()) spec.assign_to.push_back(AssignedVariable(item.variable));
    BExprPtr b = BindExpr(e, scope);
    bound->columns.push_back({OutputName(item), b->type, b->nullable});
    aliases.push_back(item.alias);
    spec.select.push_back(std::move(b));
  }

  scope.aggregates = nullptr;
  scope.windows = nullptr;
  for (const auto& g : ast_spec.group_by) spec.group_by.push_back(BindExpr(*g, scope));
  for (auto& g : star_groups) spec.group_by.push_back(std::move(g));
  spec.has_group_by = !spec.group_by.empty();
  scope.aggregates = &spec.aggregates;
  if (ast_spec.having) spec.having = BindExpr(*ast_spec.having, scope);

  spec.distinct = ast_spec.distinct;
  scope.windows = &spec.windows;
  BindSpecOrder(ast_spec, order_by, spec, bound->columns, aliases, scope);
  scope.aggregates = nullptr;
  scope.windows = nullptr;

  spec.grouped =
      spec.has_group_by || !spec.aggregates.empty() || spec.having || ast_spec.grouping_set;
  if (spec.grouped) {
    for (const auto& s : spec.select) CheckGrouped(*s, spec);
    if (spec.having) CheckGrouped(*spec.having, spec);
    for (const auto& o : spec.order) {
      if (o.expr) CheckGrouped(*o.expr, spec);
    }
  }
  if (ast_spec.top) {
    Scope empty;
    spec.top = BindExpr(*ast_spec.top, empty);
    spec.top_percent = ast_spec.top_percent;
    spec.with_ties = ast_spec.with_ties;
    if (spec.with_ties && spec.order.empty()) ThrowError(1062);
  }
  PushFiltersIntoDerived(spec);
  return bound;
}

// A scope either assigns with every item or with none, and only where assignment is allowed
// (the scope of a SELECT statement): Msg 141 otherwise.
void Binder::CheckAssignments(const ast::QuerySpec& spec) {
  const bool allowed = allow_assignment_;
  allow_assignment_ = false;  // not for the scopes nested in this one
  size_t assigning = 0;
  for (const auto& item : spec.items) assigning += item.variable.empty() ? 0 : 1;
  if (assigning == 0) return;
  if (!allowed || assigning != spec.items.size() || !spec.into.empty()) ThrowError(141);
}

std::string Binder::AssignedVariable(const std::string& name) {
  std::string folded = FoldName(name);
  if (!session_.variables.contains(folded)) ThrowError(137, {"@" + name});
  return folded;
}

void Binder::BindSpecOrder(const ast::QuerySpec& /*ast_spec*/,
                           const std::vector<ast::OrderItem>& order_by, BoundSpec& spec,
                           std::vector<ResultColumn>& columns,
                           const std::vector<std::string>& aliases, Scope& scope) {
  for (const auto& item : order_by) {
    OrderKey key;
    key.desc = item.descending;
    const ast::Expr& e = *item.expr;
    if (e.kind == ast::ExprKind::Literal && e.literal_kind == ast::LiteralKind::Integer) {
      int64_t n = std::stoll(e.text);
      if (n < 1 || n > static_cast<int64_t>(columns.size())) ThrowError(108, {std::to_string(n)});
      key.output = static_cast<int>(n - 1);
      spec.order.push_back(std::move(key));
      continue;
    }
    if (e.kind == ast::ExprKind::ColumnRef && e.name.size() == 1) {
      // A select-list alias wins over a source column of the same name.
      for (size_t i = 0; i < aliases.size(); ++i) {
        if (!aliases[i].empty() && NamesEqual(aliases[i], e.name[0])) {
          key.output = static_cast<int>(i);
          break;
        }
      }
      if (key.output >= 0) {
        spec.order.push_back(std::move(key));
        continue;
      }
    }
    // Binding notes the expression's aggregates and window functions in the scope's lists;
    // when it turns out to be a select item, it is dropped and so must its entries be.
    const size_t aggregates_before = spec.aggregates.size();
    const size_t windows_before = spec.windows.size();
    BExprPtr b;
    try {
      b = BindExpr(e, scope);
    } catch (const SqlException& ex) {
      // An unqualified name that is no source column may still name an output column.
      if (ex.number() != 207 || e.kind != ast::ExprKind::ColumnRef || e.name.size() != 1) throw;
      for (size_t i = 0; i < columns.size(); ++i) {
        if (NamesEqual(columns[i].name, e.name[0])) {
          key.output = static_cast<int>(i);
          break;
        }
      }
      if (key.output < 0) throw;
      spec.order.push_back(std::move(key));
      continue;
    }
    for (size_t i = 0; i < spec.select.size(); ++i) {
      if (SameExpr(*spec.select[i], *b)) {
        key.output = static_cast<int>(i);
        spec.aggregates.resize(aggregates_before);
        spec.windows.resize(windows_before);
        break;
      }
    }
    if (key.output < 0) {
      if (spec.distinct) ThrowError(145);
      key.expr = std::move(b);
    }
    spec.order.push_back(std::move(key));
  }
}

void Binder::CheckGrouped(const BExpr& expr, const BoundSpec& spec) {
  for (const auto& g : spec.group_by) {
    if (SameExpr(expr, *g)) return;
  }
  switch (expr.kind) {
    case BKind::Aggregate:
    case BKind::Subquery:
    case BKind::Exists:
      return;
    case BKind::Window: {
      const WindowDef& w = *expr.window;
      for (const auto* part : {&w.args, &w.partition, &w.order}) {
        for (const auto& e : *part) CheckGrouped(*e, spec);
      }
      return;
    }
    case BKind::Column:
      if (expr.depth == 0) {
        const BoundSource& source = spec.sources[expr.src];
        ThrowError(spec.has_group_by ? 8120 : 8118,
                   {source.exposed, source.columns[expr.col].name});
      }
      return;
    default:
      break;
  }
  for (const auto& a : expr.args) {
    if (a) CheckGrouped(*a, spec);
  }
  if (expr.else_expr) CheckGrouped(*expr.else_expr, spec);
  if (expr.operand) CheckGrouped(*expr.operand, spec);
}

}  // namespace orv::tsql
