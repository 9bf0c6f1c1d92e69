// The demo database: where it lives and how it is written, as a data-source file or as a
// T-SQL script.
#pragma once

#include <cstdint>
#include <string>

#include "demo/generator.h"

namespace orv::cli {

// $ORVDATA_DEMO_DB, else $XDG_DATA_HOME/orvdata/demo.orvdb, else
// ~/.local/share/orvdata/demo.orvdb.
std::string DemoDatabasePath();

// Generates the demo company into an in-memory database and saves it as a data-source file at
// `path` (replacing it; the file appears only when complete). Progress on a terminal.
void CreateDemoFile(const std::string& path, const demo::Options& options);

// Writes the same batches as a T-SQL script, each batch followed by a "GO" line.
void WriteDemoScript(const std::string& path, const demo::Options& options);

}  // namespace orv::cli
