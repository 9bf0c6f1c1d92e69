// ResultTable: one row set as the output writers see it (column names with their declared SQL
// types and captions, the values, and the kind of each row: detail, subtotal or grand total),
// read from a recordset, a provider result or built by hand, and the choice of columns.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "ado/connection.h"
#include "ado/provider.h"
#include "automation/collections.h"
#include "automation/variant.h"
#include "export/export_error.h"

namespace orv::exports {

enum class RowKind { kDetail, kSubtotal, kTotal };

struct ResultColumn {
  std::string name;
  std::string sql_type;  // declared type text ("decimal(23,10)", "int"...); "" when unknown
  std::string caption;   // the heading shown to people when captions are on; "" uses the name
  // What the cells hold, when the caller knows better than the type: a code (item or bill
  // number: text even when it looks like a number).
  bool is_code = false;
};

struct ResultTable {
  std::string title;  // what the result is ("400"), for sheet names; "" when it has none
  std::vector<ResultColumn> columns;
  // A report table (it has, or had before columns were chosen, the row-kind columns): its
  // child and total rows leave the parent columns NULL, which people read as blank.
  bool report_rows = false;
  std::vector<std::vector<automation::Variant>> rows;
  std::vector<RowKind> kinds;  // one per row, or empty until EnsureRowKinds
  // Rows not converted yet: when set, the rows are those of `source` (`rows` is empty), and
  // the formats that write a row at a time convert each as they write it. Materialize()
  // converts them all, for everything else.
  std::shared_ptr<const ado::RowSource> source;

  void AddColumn(std::string name, std::string sql_type = "");
  void AddRow(std::vector<automation::Variant> row, RowKind kind = RowKind::kDetail);

  size_t row_count() const { return source ? source->size() : rows.size(); }
  // Row r, from `rows` or converted from the source into `buffer`.
  const std::vector<automation::Variant>& Row(size_t r,
                                              std::vector<automation::Variant>& buffer) const;
  void Materialize();
};

// The rows from the current position to the end, taken over from the recordset (which is left
// at its end without them), unconverted when the provider left them so; their kinds are left
// for EnsureRowKinds.
ResultTable ReadRecordset(ado::Recordset& rs);
ResultTable FromProviderResult(const ado::ProviderResult& result);

// Rows packaged as keyed dictionaries (a Vector of Dictionary objects): one column per key, in
// the order keys first appear.
ResultTable FromDictionaries(const automation::Vector& rows);

// Marks the report rows that are subtotals and grand totals: FIsTotal 1, FSumSort 101 or
// FGroupSort 4 is a grand total; FSumSort 102 or FGroupSort 3 a subtotal. Tables without these
// columns keep every row a detail row.
void ClassifyRows(ResultTable& table);

// The same rule for one row at a time, for a reader that converts rows as it goes: rows of
// `table`, or rows holding the given columns in that order.
class RowKindReader {
 public:
  explicit RowKindReader(const ResultTable& table);
  explicit RowKindReader(const std::vector<ResultColumn>& columns);
  RowKind operator()(const std::vector<automation::Variant>& row) const;

 private:
  ptrdiff_t is_total_;
  ptrdiff_t sum_sort_;
  ptrdiff_t group_sort_;
};
// ClassifyRows unless every row has its kind already.
void EnsureRowKinds(ResultTable& table);

// Whether the table carries (or carried) the row-kind columns of the report tables (FGroupSort, FSumSort or
// FIsTotal).
bool HasRowKindColumns(const ResultTable& table);

// Keeps the named columns in the given order (names compare without regard to case). An
// unknown name raises ChoiceError listing the columns there are.
void SelectColumns(ResultTable& table, const std::vector<std::string>& names);

// Splits "a,b, c" into trimmed, non-empty names.
std::vector<std::string> SplitList(std::string_view text);

// Whether a column holds numbers: by its declared type, or (type unknown) when every non-null
// value is a number.
bool IsNumericColumn(const ResultTable& table, size_t column);

}  // namespace orv::exports
