// Builders of provider results for the scripted-provider tests.
#pragma once

#include <string>
#include <vector>

#include "ado/provider.h"

namespace orv::ado::testing {

inline ProviderResult Rows(std::vector<ColumnInfo> columns,
                           std::vector<std::vector<automation::Variant>> rows) {
  ProviderResult r;
  r.kind = ProviderResult::Kind::Rows;
  r.columns = std::move(columns);
  r.rows = std::move(rows);
  return r;
}

inline ProviderResult Count(int64_t n) {
  ProviderResult r;
  r.kind = ProviderResult::Kind::RowCount;
  r.count = n;
  return r;
}

inline ProviderResult Error(int32_t native, std::string message) {
  ProviderResult r;
  r.kind = ProviderResult::Kind::Error;
  r.error = ProviderError{native, 16, std::move(message)};
  return r;
}

inline ProviderResult Message(std::string text, int32_t native = 0) {
  ProviderResult r;
  r.kind = ProviderResult::Kind::Message;
  r.error = ProviderError{native, 10, std::move(text)};
  return r;
}

// A one-column int rowset named `name` holding `values`.
inline ProviderResult IntRows(std::string name, std::vector<int32_t> values) {
  std::vector<std::vector<automation::Variant>> rows;
  for (int32_t v : values) rows.push_back({automation::Variant(v)});
  return Rows({{std::move(name), "int"}}, std::move(rows));
}

}  // namespace orv::ado::testing
