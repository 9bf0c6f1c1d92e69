#include "cli/data_source.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "automation/error.h"
#include "cli/progress.h"
#include "tsql/engine.h"

namespace orv::cli {

namespace {

namespace fs = std::filesystem;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

[[noreturn]] void Fail(const std::string& description) {
  automation::Raise(automation::err::kAutomationError, "orvdata", description);
}

void MakeParentFolder(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  if (parent.empty()) return;
  std::error_code ec;
  fs::create_directories(parent, ec);
  if (ec) Fail("cannot create the folder '" + parent.string() + "': " + ec.message());
}

const char* SizeName(demo::Size size) {
  switch (size) {
    case demo::Size::Tiny:
      return "tiny";
    case demo::Size::Demo:
      return "demo";
    case demo::Size::Large:
      return "large";
  }
  return "demo";
}

}  // namespace

std::string DemoDatabasePath() {
  if (std::string path = Env("ORVDATA_DEMO_DB"); !path.empty()) return path;
  if (std::string data = Env("XDG_DATA_HOME"); !data.empty()) return data + "/orvdata/demo.orvdb";
  return Env("HOME") + "/.local/share/orvdata/demo.orvdb";
}

void CreateDemoFile(const std::string& path, const demo::Options& options) {
  {
    // The new file takes the name's place: a device or a pipe there would be destroyed.
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (fs::exists(st) && !fs::is_regular_file(st)) Fail("'" + path + "' is not a file; name a data-source file to make");
  }
  MakeParentFolder(path);
  Progress progress(std::string("creating the demo database (") + SizeName(options.size) + ")");
  tsql::Session session(tsql::OpenDatabase(":memory:"));
  int batch_number = 0;
  demo::Generate(options, [&](const std::string& batch) {
    progress.SetStep("batch " + std::to_string(++batch_number) + ": " + BatchSummary(batch));
    for (const auto& result : session.ExecuteBatch(batch)) {
      if (result.kind == tsql::StatementResult::Kind::Error) {
        Fail("the demo batch " + std::to_string(batch_number) + " failed: Msg " +
             std::to_string(result.error.number) + ": " + result.error.message);
      }
    }
  });
  progress.SetStep("saving " + path);
  const std::string part = path + ".part";
  try {
    tsql::SaveDatabaseAs(session.database(), part);
  } catch (const std::exception& e) {
    std::remove(part.c_str());
    Fail(std::string("cannot save the demo database: ") + e.what());
  }
  std::error_code ec;
  fs::rename(part, path, ec);
  if (ec) Fail("cannot write '" + path + "': " + ec.message());
  progress.SetStep("column snapshots of the large tables");
  tsql::MakeColumnSnapshots(path);
}

void WriteDemoScript(const std::string& path, const demo::Options& options) {
  MakeParentFolder(path);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) Fail("cannot write the script file '" + path + "'");
  demo::Generate(options, [&](const std::string& batch) {
    out << batch;
    if (!batch.empty() && batch.back() != '\n') out << '\n';
    out << "GO\n";
  });
  out.flush();
  if (!out) Fail("cannot write the script file '" + path + "'");
}

}  // namespace orv::cli
