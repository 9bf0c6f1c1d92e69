// The default of ProviderConnection::StreamRows: the batch read whole, its first row set handed
// over row by row.
#include <utility>

#include "ado/connection.h"
#include "ado/provider.h"

namespace orv::ado {

void ProviderConnection::StreamRows(std::string_view text, RowSink& sink) {
  std::vector<ProviderResult> results = ExecuteBatch(text);
  for (ProviderResult& result : results) {
    if (result.kind == ProviderResult::Kind::Error) RaiseProviderError(result.error);
    if (result.kind != ProviderResult::Kind::Rows) continue;
    sink.Columns(result.columns);
    std::vector<automation::Variant> values;
    if (result.source) {
      for (size_t i = 0; i < result.source->size(); ++i) {
        result.source->Fetch(i, values);
        sink.Row(values);
      }
    } else {
      for (auto& row : result.rows) sink.Row(row);
    }
    return;
  }
}

}  // namespace orv::ado
