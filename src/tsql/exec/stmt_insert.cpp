// INSERT ... VALUES / SELECT / DEFAULT VALUES into a table, or through a view or common table
// expression into the one table its columns show: values are paired with the target columns
// by position and made into rows by a RowFiller. Every new row is built before any is added,
// so a failing INSERT adds nothing.
#include <atomic>
#include <iterator>
#include <optional>

#include "tsql/bind/binder.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/dml_output.h"
#include "tsql/exec/dml_target.h"
#include "tsql/exec/row_filler.h"
#include "tsql/exec/row_pipeline.h"
#include "tsql/exec/statements.h"
#include "tsql/exec/table_changes.h"
#include "tsql/exec/two_halves.h"
#include "tsql/storage/memory_limit.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace {

// The columns an INSERT fills, in the order of its values: those listed (Msg 207, 264, 544 for
// an identity column), or every column but an identity. Through a view, the view's columns
// are traced to the one table they show.
std::vector<int> InsertColumns(const DmlTarget& target, const BoundSource& source,
                               const std::vector<std::string>& listed, const SessionState& session,
                               size_t* table_index) {
  std::vector<int> source_columns;
  if (listed.empty()) {
    for (size_t c = 0; c < target.columns.size(); ++c) {
      const DmlTarget::Column& column = target.columns[c];
      if (!target.derived) {
        const ColumnDef& def = target.tables[0]->columns[static_cast<size_t>(column.column)];
        if (def.identity || def.computed) continue;
      }
      source_columns.push_back(static_cast<int>(c));
    }
  } else {
    for (const auto& name : listed) {
      const int c = target.FindColumn(source, name);
      if (c < 0) ThrowError(207, {name});
      for (int t : source_columns) {
        if (t == c) ThrowError(264, {name});
      }
      source_columns.push_back(c);
    }
  }
  *table_index = target.TableOf(source_columns);
  const Table& table = *target.tables[*table_index];
  std::vector<int> columns;
  for (int c : source_columns) columns.push_back(target.columns[static_cast<size_t>(c)].column);
  CheckInsertedColumns(table, columns, !listed.empty(), session);
  return columns;
}

}  // namespace

void ExecInsert(ast::InsertStmt& stmt, StatementContext& cx) {
  Binder binder(cx.session, EvalConstant);
  binder.SetMaxRecursion(stmt.options.max_recursion.value_or(100));
  binder.PushCtes(stmt.with);
  BoundSpec target_spec;
  const DmlTarget target = BindInsertTarget(binder, stmt.target, target_spec);
  size_t table_index = 0;
  const std::vector<int> targets =
      InsertColumns(target, target_spec.sources[0], stmt.columns, cx.session, &table_index);
  const std::shared_ptr<Table> table = target.tables[table_index];
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
    // Several rows are one table value constructor: each value is first converted to the type
    // its position has over all the rows (as UNION ALL types a column), then to the column.
    if (value_rows.size() > 1) {
      for (size_t i = 0; i < nt; ++i) {
        SqlType type = SqlType::Null();
        for (const auto& row : value_rows) {
          if (row[i]) type = UnionType(type, row[i]->type);
        }
        if (type.id == TypeId::Null) continue;
        for (auto& row : value_rows) {
          if (row[i]) row[i] = MakeConvert(std::move(row[i]), type);
        }
      }
    }
  }
  DmlOutput output(binder, stmt.output, *table, {.inserted = true}, nullptr, cx);
  cx.BindDone();

  std::vector<SqlType> source_types(nt);
  if (query) {
    for (size_t i = 0; i < nt; ++i) source_types[i] = query->columns[i].type;
  }

  RowFiller filler(*table, targets, cx);
  auto fill = [&filler](Row& out, auto&& get) { filler.Fill(out, get); };

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
            filler.FillsWithoutEvaluating()) {
          filler.ReadyForThreads();
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
        if (filler.FillsIdentity() || !filler.FillsWithoutEvaluating()) return false;
        filler.ReadyForThreads();
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
      // Each source row is let go once made into a new one: one copy of the rows at a time
      // rather than two. Many rows are made on two threads, a half each, when filling a row
      // needs nothing but the row (no identity, constant defaults only).
      auto add_range = [&source](const RowSink& to, size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
          to(source[i]);
          Row().swap(source[i]);
        }
      };
      constexpr size_t kHalvesFrom = 65536;
      if (WorthTwoThreads(source.size(), kHalvesFrom) && !filler.FillsIdentity() &&
          filler.FillsWithoutEvaluating()) {
        filler.ReadyForThreads();
        std::vector<Row> added_second;
        const RowSink add_second = adding_to(added_second);
        added.reserve(added.size() + source.size());
        added_second.reserve(source.size() - source.size() / 2);
        RunTwoHalves(source.size(), [&](size_t begin, size_t end, const std::atomic<bool>*) {
          add_range(begin == 0 ? add : add_second, begin, end);
        });
        std::move(added_second.begin(), added_second.end(), std::back_inserter(added));
      } else {
        added.reserve(added.size() + source.size());
        add_range(add, 0, source.size());
      }
    }
  } else if (stmt.default_values) {
    Row out;
    fill(out, [](size_t, const SqlType*&) -> Value* { return nullptr; });
    added.push_back(std::move(out));
  }
  for (const Row& row : added) output.Add(&row, nullptr, nullptr, nullptr);
  output.Prepare();
  table->next_identity = filler.next_identity();
  const auto count = static_cast<int64_t>(added.size());
  AppendRows(table, std::move(added), cx);
  filler.NoteIdentity();
  output.Finish(count);
}

}  // namespace orv::tsql
