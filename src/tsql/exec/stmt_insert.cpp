// INSERT ... VALUES / SELECT / DEFAULT VALUES: values are paired with the target columns by
// position, converted to the column types as an assignment (Msg 8152 for strings too long),
// omitted columns take their identity, DEFAULT or NULL; NULL into a NOT NULL column is Msg 515.
// Every new row is built before any is added, so a failing INSERT adds nothing.
#include <optional>

#include "tsql/bind/binder.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/row_pipeline.h"
#include "tsql/exec/statements.h"
#include "tsql/exec/two_halves.h"
#include "tsql/storage/memory_limit.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

std::string JoinName(const ast::Name& name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) out += (i ? "." : "") + name[i];
  return out;
}

}  // namespace

void ExecInsert(ast::InsertStmt& stmt, StatementContext& cx) {
  Binder binder(cx.session, EvalConstant);
  std::shared_ptr<Table> table = binder.FindTable(stmt.target);
  if (!table) ThrowError(208, {JoinName(stmt.target)});
  std::vector<int> targets;
  if (stmt.columns.empty()) {
    for (size_t c = 0; c < table->columns.size(); ++c) {
      if (!table->columns[c].identity) targets.push_back(static_cast<int>(c));
    }
  } else {
    for (const auto& name : stmt.columns) {
      int c = table->FindColumn(name);
      if (c < 0) ThrowError(207, {name});
      for (int t : targets) {
        if (t == c) ThrowError(264, {name});
      }
      if (table->columns[c].identity) ThrowError(544, {"Cannot insert explicit value for identity column in table '" + table->name +
                          "' when IDENTITY_INSERT is set to OFF."});
      targets.push_back(c);
    }
  }
  size_t nt = targets.size();
  bool listed = !stmt.columns.empty();

  // Source rows with the type of each value; a null expression pointer marks DEFAULT.
  std::vector<std::vector<BExprPtr>> value_rows;
  std::unique_ptr<BoundQuery> query;
  Scope scope;
  if (stmt.select) {
    query = binder.BindQuery(*stmt.select, nullptr);
    size_t n = query->columns.size();
    if (n != nt) {
      if (!listed) ThrowError(213);
      ThrowError(n < nt ? 120 : 121);
    }
  } else if (!stmt.default_values) {
    for (auto& row : stmt.values) {
      if (row.size() != nt) {
        if (!listed) ThrowError(213);
        ThrowError(row.size() < nt ? 109 : 110);
      }
      std::vector<BExprPtr> bound;
      for (auto& e : row) {
        if (e->kind == ast::ExprKind::Default) {
          bound.push_back(nullptr);
        } else {
          bound.push_back(binder.BindExpr(*e, scope));
        }
      }
      value_rows.push_back(std::move(bound));
    }
  }
  cx.BindDone();

  std::vector<SqlType> source_types(nt);
  if (query) {
    for (size_t i = 0; i < nt; ++i) source_types[i] = query->columns[i].type;
  }

  const size_t ncols = table->columns.size();
  std::vector<int> slot_of(ncols, -1);
  for (size_t i = 0; i < nt; ++i) slot_of[targets[i]] = static_cast<int>(i);
  std::optional<int64_t> next_identity = table->next_identity;
  std::string qualified;
  ColumnDefaults defaults(*table, cx);
  auto check_null = [&](const Value& v, const ColumnDef& col) {
    if (v.is_null() && !col.nullable) {
      if (qualified.empty()) qualified = QualifiedTableName(*table, cx.session);
      ThrowError(515, {col.name, qualified, "INSERT"});
    }
  };
  // A new row starts as a copy of `model`, which holds the columns whose value is the same for
  // every row (a constant default, or NULL); the columns in `filled` are then set in column
  // order: values from the source, identities, other defaults, and constant defaults that a
  // NOT NULL column refuses. Made on the first row, so that an INSERT of no rows evaluates no
  // default.
  Row model;
  std::vector<size_t> filled;
  bool planned = false;
  auto plan = [&] {
    model.resize(ncols);
    for (size_t c = 0; c < ncols; ++c) {
      const ColumnDef& col = table->columns[c];
      if (slot_of[c] < 0 && !col.identity) {
        Value v = defaults.Get(c);
        if (defaults.IsConstant(c) && (col.nullable || !v.is_null())) {
          model[c] = std::move(v);
          continue;
        }
      }
      filled.push_back(c);
    }
    planned = true;
  };
  // Whether filling a row reads nothing but the row: every default is a constant.
  auto fills_without_evaluating = [&] {
    for (const size_t c : filled) {
      if (slot_of[c] < 0 && !table->columns[c].identity && !defaults.IsConstant(c)) return false;
    }
    return true;
  };
  // get(i) supplies source value i and its type, or a null pointer for DEFAULT; a template
  // lambda so that the per-value call is inlined.
  auto fill = [&](Row& out, auto&& get) {
    if (!planned) plan();
    out = model;
    for (const size_t c : filled) {
      const ColumnDef& col = table->columns[c];
      const SqlType* from = nullptr;
      Value* source = slot_of[c] >= 0 ? get(static_cast<size_t>(slot_of[c]), from) : nullptr;
      Value& to = out[c];
      if (source) {
        if (*from == col.type) {
          to = std::move(*source);
        } else {
          to = Convert(*source, *from, col.type, CastMode::Assignment);
        }
      } else if (col.identity) {
        if (!next_identity) next_identity = col.identity_seed;
        to = Value::Int(*next_identity);
        *next_identity += col.identity_increment;
      } else {
        to = defaults.Get(c);
      }
      check_null(to, col);
    }
  };

  std::vector<Row> added;
  if (!value_rows.empty()) {
    EvalCtx ctx;
    ctx.env = &cx.env;
    Value value;
    for (auto& exprs : value_rows) {
      Row out;
      fill(out, [&](size_t i, const SqlType*& t) -> Value* {
        if (!exprs[i]) return nullptr;
        value = Eval(*exprs[i], ctx);
        t = &exprs[i]->type;
        return &value;
      });
      added.push_back(std::move(out));
    }
  } else if (query) {
    // Each source row becomes a new row as soon as it is made, so the select's rows are never
    // all held next to the new ones (when the query has no order of its own to establish).
    // A sink that makes each source row into a new row appended to `into`.
    auto adding_to = [&](std::vector<Row>& into) {
      return [&fill, &source_types, &into](Row& row) {
        Row out;
        fill(out, [&](size_t i, const SqlType*& t) -> Value* {
          t = &source_types[i];
          return &row[i];
        });
        into.push_back(std::move(out));
        ChargeRows(into.size(), sizeof(Row) + into.back().capacity() * sizeof(Value));
      };
    };
    const RowSink add = adding_to(added);
    if (StreamsRows(*query)) {
      // A long insert turns the rows into the table's rows on a second thread while the select
      // makes the next ones (in order, so identities and the first error are as they would be
      // on one thread). Only when filling a row needs nothing but the row itself: no default
      // that is evaluated per row.
      constexpr size_t kPipelineFrom = 4096;
      size_t count = 0;
      std::optional<RowPipeline> pipeline;
      auto sink = [&](Row& row) {
        if (pipeline) {
          pipeline->Push(row);
          return;
        }
        add(row);
        if (++count == kPipelineFrom && WorthTwoThreads(count, kPipelineFrom) &&
            fills_without_evaluating()) {
          qualified = QualifiedTableName(*table, cx.session);
          pipeline.emplace(add);
        }
      };
      // A query whose rows can be made on two threads fills each half's new rows on its own
      // thread (no identity, constant defaults only); the halves join in order.
      constexpr size_t kSplitFrom = 65536;
      std::vector<Row> added_second;
      SplitSinks split;
      split.ready = [&](size_t rows) {
        // (Not while a pipeline started by an earlier part of a UNION ALL still adds rows.)
        if (pipeline || !WorthTwoThreads(rows, kSplitFrom)) return false;
        if (!planned) plan();
        for (const size_t c : filled) {
          if (table->columns[c].identity) return false;
        }
        if (!fills_without_evaluating()) return false;
        qualified = QualifiedTableName(*table, cx.session);
        added.reserve(added.size() + rows);
        added_second.reserve(rows - rows / 2);
        return true;
      };
      split.first = add;
      split.second = adding_to(added_second);
      split.joined = [&] {
        for (Row& row : added_second) added.push_back(std::move(row));
        added_second.clear();
      };
      try {
        RunQueryStreaming(*query, cx.env, sink, &split);
      } catch (const RowPipeline::Stopped&) {
        pipeline->Finish();  // raises the error that stopped it
        throw;
      } catch (...) {
        if (pipeline) {
          if (std::exception_ptr earlier = pipeline->Drain()) std::rethrow_exception(earlier);
        }
        throw;
      }
      if (pipeline) pipeline->Finish();
    } else {
      std::vector<Row> source = RunQuery(*query, nullptr, cx.env);
      added.reserve(source.size());
      for (auto& row : source) {
        add(row);
        Row().swap(row);  // one copy of the rows at a time rather than two
      }
    }
  } else if (stmt.default_values) {
    Row out;
    fill(out, [](size_t, const SqlType*&) -> Value* { return nullptr; });
    added.push_back(std::move(out));
  }
  table->next_identity = next_identity;
  const auto count = static_cast<int64_t>(added.size());
  cx.log().Insert(table, std::move(added));
  cx.RowCount(count);
}

}  // namespace orv::tsql
