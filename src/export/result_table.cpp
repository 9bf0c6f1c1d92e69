#include "export/result_table.h"

#include <algorithm>
#include <cctype>

#include "automation/factory.h"

namespace orv::exports {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool IsNumberValue(const automation::Variant& v) {
  switch (v.type()) {
    case automation::VarType::Integer:
    case automation::VarType::Long:
    case automation::VarType::Double:
    case automation::VarType::Decimal:
      return true;
    default:
      return false;
  }
}

bool IsNumericType(std::string_view sql_type) {
  const std::string type = Lower(sql_type.substr(0, sql_type.find('(')));
  static const char* const kNumeric[] = {"int",     "bigint", "smallint", "tinyint", "decimal",
                                         "numeric", "float",  "real",     "money",   "smallmoney"};
  return std::any_of(std::begin(kNumeric), std::end(kNumeric),
                     [&](const char* name) { return type == name; });
}

// The index of a column by name (any case), or -1.
ptrdiff_t FindColumn(const ResultTable& table, std::string_view name) {
  const std::string wanted = Lower(name);
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (Lower(table.columns[i].name) == wanted) return static_cast<ptrdiff_t>(i);
  }
  return -1;
}

bool ValueIs(const automation::Variant& v, int64_t n) {
  if (v.IsNull() || v.IsEmpty() || !v.IsNumeric()) return false;
  return automation::EqualsInteger(v, n);
}

}  // namespace

void ResultTable::AddColumn(std::string name, std::string sql_type) {
  ResultColumn column;
  column.name = std::move(name);
  column.sql_type = std::move(sql_type);
  columns.push_back(std::move(column));
}

void ResultTable::AddRow(std::vector<automation::Variant> row, RowKind kind) {
  rows.push_back(std::move(row));
  kinds.push_back(kind);
}

const std::vector<automation::Variant>& ResultTable::Row(
    size_t r, std::vector<automation::Variant>& buffer) const {
  if (!source) return rows[r];
  source->Fetch(r, buffer);
  return buffer;
}

void ResultTable::Materialize() {
  if (!source) return;
  rows.resize(source->size());
  for (size_t r = 0; r < rows.size(); ++r) source->Fetch(r, rows[r]);
  source.reset();
}

ResultTable ReadRecordset(ado::Recordset& rs) {
  ResultTable table;
  if (rs.State() != ado::adStateOpen) return table;
  for (size_t i = 0; i < rs.FieldCount(); ++i) {
    table.AddColumn(rs.Fields(i).Name(), rs.Fields(i).SqlType());
  }
  // The rows move over: a report result can be large, and the recordset is not read again.
  // Their kinds are worked out only for the formats that show them (see EnsureRowKinds).
  table.source = rs.TakeRowSource();
  if (!table.source) table.rows = rs.TakeRemainingRows();
  return table;
}

ResultTable FromProviderResult(const ado::ProviderResult& result) {
  ResultTable table;
  for (const auto& column : result.columns) table.AddColumn(column.name, column.sql_type);
  if (result.source) {
    table.source = result.source;  // kinds are left for EnsureRowKinds
    return table;
  }
  for (const auto& row : result.rows) table.AddRow(row);
  ClassifyRows(table);
  return table;
}

ResultTable FromDictionaries(const automation::Vector& rows) {
  ResultTable table;
  std::vector<std::shared_ptr<automation::Dictionary>> dictionaries;
  for (const automation::Variant& item : rows.items()) {
    auto row = automation::As<automation::Dictionary>(item.AsObject());
    if (!row) continue;
    for (const std::string& key : row->Keys()) {
      if (FindColumn(table, key) < 0) table.AddColumn(key);
    }
    dictionaries.push_back(std::move(row));
  }
  for (const auto& row : dictionaries) {
    std::vector<automation::Variant> values;
    for (const auto& column : table.columns) {
      values.push_back(row->Exists(column.name) ? row->Item(column.name)
                                                : automation::Variant::Null());
    }
    table.AddRow(std::move(values));
  }
  return table;
}

void EnsureRowKinds(ResultTable& table) {
  if (table.kinds.size() != table.rows.size()) ClassifyRows(table);
}

RowKindReader::RowKindReader(const ResultTable& table) : RowKindReader(table.columns) {}

RowKindReader::RowKindReader(const std::vector<ResultColumn>& columns) {
  ResultTable named;
  named.columns = columns;
  is_total_ = FindColumn(named, "FIsTotal");
  sum_sort_ = FindColumn(named, "FSumSort");
  group_sort_ = FindColumn(named, "FGroupSort");
}

RowKind RowKindReader::operator()(const std::vector<automation::Variant>& row) const {
  auto is = [&](ptrdiff_t column, int64_t n) {
    return column >= 0 && static_cast<size_t>(column) < row.size() && ValueIs(row[column], n);
  };
  if (is(is_total_, 1) || is(sum_sort_, 101) || is(group_sort_, 4)) return RowKind::kTotal;
  if (is(sum_sort_, 102) || is(group_sort_, 3)) return RowKind::kSubtotal;
  return RowKind::kDetail;
}

void ClassifyRows(ResultTable& table) {
  const RowKindReader kind_of(table);
  table.kinds.resize(table.rows.size());
  for (size_t r = 0; r < table.rows.size(); ++r) table.kinds[r] = kind_of(table.rows[r]);
}

bool HasRowKindColumns(const ResultTable& table) {
  return table.report_rows || FindColumn(table, "FIsTotal") >= 0 || FindColumn(table, "FSumSort") >= 0 ||
         FindColumn(table, "FGroupSort") >= 0;
}

void SelectColumns(ResultTable& table, const std::vector<std::string>& names) {
  std::vector<size_t> picked;
  for (const std::string& name : names) {
    const ptrdiff_t index = FindColumn(table, name);
    if (index < 0) {
      std::string known;
      for (const auto& column : table.columns) known += (known.empty() ? "" : ", ") + column.name;
      throw ChoiceError("no column '" + name + "' in the result; its columns are: " + known);
    }
    picked.push_back(static_cast<size_t>(index));
  }
  ResultTable out;
  out.title = table.title;
  out.report_rows = HasRowKindColumns(table);
  for (size_t i : picked) out.columns.push_back(table.columns[i]);
  for (size_t r = 0; r < table.rows.size(); ++r) {
    std::vector<automation::Variant> row;
    for (size_t i : picked) row.push_back(table.rows[r][i]);
    out.AddRow(std::move(row), r < table.kinds.size() ? table.kinds[r] : RowKind::kDetail);
  }
  table = std::move(out);
}

std::vector<std::string> SplitList(std::string_view text) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t comma = text.find(',', pos);
    if (comma == std::string_view::npos) comma = text.size();
    std::string_view item = text.substr(pos, comma - pos);
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.front())))
      item.remove_prefix(1);
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.back())))
      item.remove_suffix(1);
    if (!item.empty()) out.emplace_back(item);
    pos = comma + 1;
  }
  return out;
}

bool IsNumericColumn(const ResultTable& table, size_t column) {
  if (!table.columns[column].sql_type.empty()) return IsNumericType(table.columns[column].sql_type);
  bool any = false;
  for (const auto& row : table.rows) {
    if (row[column].IsNull() || row[column].IsEmpty()) continue;
    if (!IsNumberValue(row[column])) return false;
    any = true;
  }
  return any;
}

}  // namespace orv::exports
