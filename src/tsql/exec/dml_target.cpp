// The target of INSERT, UPDATE, DELETE and MERGE, bound the way SQL Server binds it, and
// changes through views, common table expressions and derived tables traced to their tables.
#include "tsql/exec/dml_target.h"

#include "tsql/bind/binder.h"
#include "tsql/exec/statements.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

enum class Refusal { Grouped, MultipleTables, Computed, SetOperation };

[[noreturn]] void Refuse(const DmlTarget& target, Refusal why) {
  switch (why) {
    case Refusal::Grouped: ThrowError(target.view ? 4403 : 4418, {target.name});
    case Refusal::MultipleTables: ThrowError(target.view ? 4405 : 4420, {target.name});
    case Refusal::Computed: ThrowError(target.view ? 4406 : 4421, {target.name});
    case Refusal::SetOperation: ThrowError(target.view ? 4426 : 4417, {target.name});
  }
  ThrowError(4405, {target.name});
}

DmlTarget TableTarget(const BoundSource& source, int index, const std::string& name) {
  DmlTarget t;
  t.source = index;
  t.name = name;
  t.tables = {source.table};
  t.row_columns = {-1};
  for (size_t c = 0; c < source.columns.size(); ++c) {
    t.columns.push_back({0, static_cast<int>(c)});
  }
  return t;
}

// Traces a derived source to the tables of its definition: each table source of the
// definition (or of an updatable derived source in it) adds one value to the derived rows,
// the address of that table's row; each column that is a column of such a table is mapped to
// it. Definitions that change rows (grouping, DISTINCT, set operations) are refused.
void TraceDerived(BoundSource& source, DmlTarget& target) {
  BoundQuery& query = *source.derived;
  if (!query.spec) Refuse(target, query.recursive ? Refusal::MultipleTables : Refusal::SetOperation);
  BoundSpec& spec = *query.spec;
  if (spec.grouped || spec.distinct) Refuse(target, Refusal::Grouped);
  // For each source of the definition: the target's table index of each of its tables.
  std::vector<std::vector<int>> tables_of(spec.sources.size());
  std::vector<DmlTarget> inner(spec.sources.size());
  for (size_t s = 0; s < spec.sources.size(); ++s) {
    BoundSource& from = spec.sources[s];
    if (from.table) {
      auto ref = std::make_unique<BExpr>();
      ref->kind = BKind::RowRef;
      ref->type = SqlType::BigInt();
      ref->src = static_cast<int>(s);
      tables_of[s].push_back(static_cast<int>(target.tables.size()));
      target.tables.push_back(from.table);
      target.row_columns.push_back(static_cast<int>(spec.select.size()));
      spec.select.push_back(std::move(ref));
      query.columns.push_back({"", SqlType::BigInt(), true});
    } else if (from.derived && !from.lateral && !from.work) {
      DmlTarget& in = inner[s];
      in.name = target.name;
      in.view = target.view;
      try {
        TraceDerived(from, in);
      } catch (const SqlException&) {
        continue;  // its columns are then computed ones for this target
      }
      for (size_t t = 0; t < in.tables.size(); ++t) {
        auto ref = std::make_unique<BExpr>();
        ref->kind = BKind::Column;
        ref->type = SqlType::BigInt();
        ref->src = static_cast<int>(s);
        ref->col = in.row_columns[t];
        tables_of[s].push_back(static_cast<int>(target.tables.size()));
        target.tables.push_back(in.tables[t]);
        target.row_columns.push_back(static_cast<int>(spec.select.size()));
        spec.select.push_back(std::move(ref));
        query.columns.push_back({"", SqlType::BigInt(), true});
      }
    }
  }
  for (size_t c = 0; c < source.columns.size(); ++c) {
    const BExpr& e = *spec.select[c];
    DmlTarget::Column column;
    if (e.kind == BKind::Column && e.depth == 0) {
      const auto s = static_cast<size_t>(e.src);
      if (spec.sources[s].table) {
        column = {tables_of[s][0], e.col};
      } else if (!tables_of[s].empty()) {
        const DmlTarget::Column in = inner[s].columns[static_cast<size_t>(e.col)];
        if (in.table >= 0) column = {tables_of[s][static_cast<size_t>(in.table)], in.column};
      }
    }
    target.columns.push_back(column);
  }
}

DmlTarget DerivedTarget(BoundSource& source, int index, const std::string& name) {
  DmlTarget t;
  t.source = index;
  t.name = name;
  t.view = source.view_or_cte;
  t.derived = true;
  TraceDerived(source, t);
  return t;
}

}  // namespace

const Row* DmlTarget::TableRow(const Row* const* tuple, size_t t) const {
  const Row* row = tuple[source];
  if (!row || row_columns[t] < 0) return row;
  const Value& address = (*row)[static_cast<size_t>(row_columns[t])];
  if (address.is_null()) return nullptr;
  return reinterpret_cast<const Row*>(static_cast<intptr_t>(address.int_value()));
}

size_t DmlTarget::TableOf(const std::vector<int>& source_columns) const {
  if (source_columns.empty()) {
    if (tables.size() != 1) Refuse(*this, Refusal::MultipleTables);
    return 0;
  }
  int table = -1;
  for (int c : source_columns) {
    const Column& column = columns[static_cast<size_t>(c)];
    if (column.table < 0) Refuse(*this, Refusal::Computed);
    if (table >= 0 && column.table != table) Refuse(*this, Refusal::MultipleTables);
    table = column.table;
  }
  return static_cast<size_t>(table);
}

int DmlTarget::FindColumn(const BoundSource& source, const std::string& name) const {
  for (size_t c = 0; c < source.columns.size(); ++c) {
    if (NamesEqual(source.columns[c].name, name)) return static_cast<int>(c);
  }
  return -1;
}

DmlTarget BindDmlTarget(Binder& binder, const ast::Name& target,
                        const std::vector<ast::TableRefPtr>& from, BoundSpec& spec,
                        Scope& scope) {
  binder.BindFrom(from, spec, scope);
  const std::string& name = target.back();
  int found = -1;
  if (target.size() == 1) {
    for (size_t i = 0; i < spec.sources.size(); ++i) {
      if (spec.sources[i].aliased && NamesEqual(spec.sources[i].exposed, name)) {
        found = static_cast<int>(i);
        break;
      }
    }
  }
  if (found < 0) {
    // A table or view (not a common table expression, which has no object of its own).
    std::vector<int> matches;
    for (size_t i = 0; i < spec.sources.size(); ++i) {
      const BoundSource& s = spec.sources[i];
      const std::string& object = s.table ? s.table->name : s.table_name;
      if (!object.empty() && NamesEqual(object, name)) matches.push_back(static_cast<int>(i));
    }
    if (matches.size() == 1) {
      found = matches[0];
    } else if (matches.size() > 1) {
      for (int m : matches) {
        if (!spec.sources[m].aliased) {
          if (found >= 0) ThrowError(8154, {"The table '" + name + "' is ambiguous."});
          found = m;
        }
      }
      if (found < 0) ThrowError(8154, {"The table '" + name + "' is ambiguous."});
    }
  }
  if (found < 0) {
    found = binder.AddNamedSource(target, "", spec, false);
    auto leaf = std::make_unique<BoundJoin>();
    leaf->source = found;
    spec.from.push_back(std::move(leaf));
  }
  return TargetOfSource(spec, found, name);
}

DmlTarget TargetOfSource(BoundSpec& spec, int index, const std::string& name) {
  BoundSource& source = spec.sources[static_cast<size_t>(index)];
  if (source.table) return TableTarget(source, index, name);
  return DerivedTarget(source, index, name);
}

DmlTarget BindInsertTarget(Binder& binder, const ast::Name& target, BoundSpec& spec) {
  return TargetOfSource(spec, binder.AddNamedSource(target, "", spec, false), target.back());
}

int64_t BindTopLimit(Binder& binder, const ast::ExprPtr& top) {
  if (!top) return -1;
  Scope empty;
  BExprPtr bound = binder.BindExpr(*top, empty);
  Value v = binder.EvalConstant(*bound);
  if (v.is_null()) return -1;
  return Convert(v, bound->type, SqlType::BigInt(), CastMode::Implicit).int_value();
}

}  // namespace orv::tsql
