// The demo company database: the schema script and a deterministic generator of a company's
// production data (units, items, organisation, task orders with their material lines, stock
// bills blue and red, fee apportionments, the accounting calendar, period cost tables and the
// system profile), delivered as T-SQL batches that run on the embedded engine or SQL Server.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace orv::demo {

enum class Size { Tiny, Demo, Large };

// "tiny", "demo", "large" (any case); nullopt otherwise.
std::optional<Size> ParseSize(std::string_view text);

struct Options {
  Size size = Size::Demo;
  uint64_t seed = 1;
};

// The demo's fixed "today": every generated date is placed around it, and GETDATE() on a demo
// database reads it (table t_OrvClock).
inline constexpr std::string_view kDemoToday = "2025-06-16 09:30:00";

// The schema script (sql/schema.sql), batches separated by GO lines.
std::string_view SchemaScript();

// Calls sink with each T-SQL batch in order: the schema's batches first, then the data as
// INSERT ... VALUES batches of at most 1000 rows. The same options give the same batches.
void Generate(const Options& options, const std::function<void(const std::string& batch)>& sink);

}  // namespace orv::demo
