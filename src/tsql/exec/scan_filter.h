// The filters of a table scan, tested row by row: "column op value", "column BETWEEN value
// AND value" and "column IN (values)" compare the row's column in place with values worked out
// once, and "CONVERT(char(10), datetime column, 120) op 'yyyy-mm-dd'" (the reports' date
// conditions) compares the column with the day's first moment; any other filter is evaluated
// as an expression. Comparisons, and "integer column IN (subquery)" where the subquery cannot
// fail, can also be tested over a whole column array at once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "tsql/catalog/catalog.h"
#include "tsql/exec/exec.h"

namespace orv::tsql {

class ScanFilter {
 public:
  // A filter of the scan of `source` (a conjunct of its query's conditions).
  ScanFilter(const BExpr& filter, int source);
  // For a scan of all of `table`'s rows in order: the tested column is read from the table's
  // array of it (Table::ColumnAsArray) when it has one, so rows that fail are never touched.
  // Returns whether it does.
  bool UseColumnArray(const Table& table);
  // After UseColumnArray, for the scan's first test: the positions of the rows that pass, in
  // order, found by one pass over the array (the value worked out exactly when the row-by-row
  // test would). False when this test cannot do that (then nothing was selected).
  bool SelectFromArray(const EvalCtx& ctx, std::vector<uint32_t>& out);
  // The same over the rows at `positions` (ascending) alone, keeping those that pass; for a
  // test that cannot fail. False, leaving them, when this test cannot do that.
  bool NarrowOnArray(const EvalCtx& ctx, std::vector<uint32_t>& positions);
  // Whether SelectFromArray and NarrowOnArray keep exactly the rows that pass (else a superset
  // of them: the rows must still be tested).
  bool Exact() const;
  // Whether the row at `index` of the scan, which ctx holds at `source`, passes: the same
  // answer, and the same errors, as EvalPred(filter, ctx) == Tri::True. A value is worked out
  // when the first row that needs it comes, so a scan without such rows never evaluates it.
  bool Passes(size_t index, const Row& row, const EvalCtx& ctx);
  // Whether no row's test can raise an error: a column compared in place with literals,
  // variables, the clock or outer columns, or with conversions of those already worked out
  // (WorkOutValues); or an expression of comparisons, NULL tests, AND, OR and NOT over columns
  // and constants that need no conversion but an integer's widening, and of IN and EXISTS
  // over subqueries that cannot fail. Such tests may be skipped for rows that other tests rule
  // out, in any order.
  bool CannotFail() const;
  // Works out now the values that are conversions of constants, where that raises no error
  // (one that does is left to the first row that needs the value, as before); then the test
  // compares in place and cannot fail. Returns CannotFail().
  bool WorkOutValues(const EvalCtx& ctx);

 private:
  // kAnyOf, kAllOf: an OR or AND of tests an array decides (kCompare, kDateText, kInSubquery,
  // or such an OR or AND) and of constants, tested on arrays as the union or the intersection
  // of its parts. An AND may leave out operands no array decides: its array test then keeps
  // a superset of the rows that pass (it is not exact).
  enum class Form { kExpression, kCompare, kBetween, kIn, kDateText, kInSubquery, kAnyOf, kAllOf };
  const Value& ValueAt(size_t i, const EvalCtx& ctx);
  // SelectFromArray over every row (`among` null) or the rows at *among.
  bool TestArray(const EvalCtx& ctx, const std::vector<uint32_t>* among, std::vector<uint32_t>& out);
  // TestArray of "column IN (subquery)", and of an OR or AND.
  bool TestInSubquery(const EvalCtx& ctx, const std::vector<uint32_t>* among, std::vector<uint32_t>& out);
  bool TestParts(const EvalCtx& ctx, const std::vector<uint32_t>* among, std::vector<uint32_t>& out);
  // The tested column of the row at `index` of the scan (from the array when there is one).
  const Value& ColumnValue(size_t index, const Row& row);
  bool ColumnNull(size_t index, const Row& row) const;
  // The column against a value (not NULL), as Compare(column, c) or Compare(c, column).
  int CompareColumn(size_t index, const Row& row, const Value& c, bool column_left);
  // kDateText: the column's date text against the value's, as the sign of (column - value);
  // nullopt when the value is no valid "yyyy-mm-dd" (the expression decides then).
  std::optional<int> CompareDateText(int64_t ticks, const Value& c);

  const BExpr& filter_;
  Form form_ = Form::kExpression;
  size_t column_ = 0;
  bool column_first_ = true;             // kCompare: the column is the left operand
  std::vector<const BExpr*> operands_;   // the value sides, in the filter's order
  std::vector<Value> values_;
  std::vector<char> known_;
  std::shared_ptr<const Table::ColumnArray> array_;
  bool ticks_ = false;  // the array holds datetime ticks (else integers)
  bool expression_cannot_fail_ = false;  // kExpression: see CannotFail
  int source_ = -1;
  std::vector<ScanFilter> parts_;             // kAnyOf, kAllOf: the tests ORed or ANDed
  std::vector<const BExpr*> constant_parts_;  // ... the operands that read no column
  std::vector<const BExpr*> others_;          // kAllOf: the operands no array decides
  size_t rows_ = 0;                           // kAnyOf, kAllOf: the table's rows
  std::vector<char> on_array_;                // ... which parts have their array
  Value from_array_;
  // kDateText: the first and the last moment (exclusive) of the value's day, once known.
  enum class Day : uint8_t { kUnknown, kValid, kInvalid };
  Day day_ = Day::kUnknown;
  int64_t day_first_ = 0, day_end_ = 0;
};

}  // namespace orv::tsql
