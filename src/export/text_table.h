// The aligned text table: numbers right-aligned, subtotal and total rows set apart (a blank line
// after each subtotal, a rule of '=' over the grand total, bold on a terminal), fitted to a
// terminal width by cutting the widest columns, or one block per row in the expanded form.
#pragma once

#include <iosfwd>

#include "export/result_table.h"
#include "export/writer.h"

namespace orv::exports {

// The table needs every row (column widths): `table` must not hold unconverted rows.
void WriteTextTable(std::ostream& out, const ResultTable& table, const WriteOptions& options);

// The heading of column `i`: its caption when captions are on and it has one, else its name.
const std::string& Heading(const ResultTable& table, size_t i, const WriteOptions& options);

}  // namespace orv::exports
