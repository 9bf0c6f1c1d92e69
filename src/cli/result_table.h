// ResultTable: one row set as the output formats see it (column names with their declared SQL
// types, the values, and the kind of each row: detail, subtotal or grand total), read from a
// recordset, a provider result or built by hand, and the column choice of --columns.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ado/connection.h"
#include "ado/provider.h"
#include "automation/collections.h"
#include "automation/variant.h"

namespace orv::cli {

enum class RowKind { kDetail, kSubtotal, kTotal };

struct ResultColumn {
  std::string name;
  std::string sql_type;  // declared type text ("decimal(23,10)", "int"...); "" when unknown
};

struct ResultTable {
  std::vector<ResultColumn> columns;
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
// ClassifyRows unless every row has its kind already.
void EnsureRowKinds(ResultTable& table);

// Keeps the named columns in the given order (names compare without regard to case). An
// unknown name raises UsageError listing the columns there are.
void SelectColumns(ResultTable& table, const std::vector<std::string>& names);

// Splits "a,b, c" into trimmed, non-empty names.
std::vector<std::string> SplitList(std::string_view text);

// Whether a column holds numbers: by its declared type, or (type unknown) when every non-null
// value is a number.
bool IsNumericColumn(const ResultTable& table, size_t column);

}  // namespace orv::cli
