#include "cli/data_source.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "ado/provider.h"
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

bool IsEmbedded(const ado::ConnectionString& properties) {
  const std::string provider = properties.Get("Provider", "Embedded");
  std::string lower;
  for (char c : provider)
    lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return lower == "embedded";
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

std::string FileDsn(const std::string& path) {
  if (path.find_first_of(";{}") == std::string::npos) {
    return "Provider=Embedded;Data Source=" + path;
  }
  std::string braced = "{";
  for (char c : path) {
    braced.push_back(c);
    if (c == '}') braced.push_back('}');
  }
  return "Provider=Embedded;Data Source=" + braced + "}";
}

std::string ResolveDsn(const std::string& dsn, bool must_exist) {
  if (dsn.empty()) {
    const std::string path = DemoDatabasePath();
    if (!fs::exists(path)) {
      std::cerr << "orvdata: creating the demo database " << path << " (size demo)\n";
      CreateDemoFile(path, demo::Options{});
    }
    std::cerr << "orvdata: no --dsn given; using the demo database " << path << "\n";
    return FileDsn(path);
  }
  if (dsn.find('=') == std::string::npos) {
    if (must_exist && dsn != ":memory:" && !fs::exists(dsn)) {
      Fail("the data-source file '" + dsn + "' does not exist");
    }
    return FileDsn(dsn);
  }
  if (must_exist) {
    const ado::ConnectionString properties(dsn);
    const std::string source = properties.Get("Data Source");
    if (IsEmbedded(properties) && !source.empty() && source != ":memory:" && !fs::exists(source)) {
      Fail("the data-source file '" + source + "' does not exist");
    }
  }
  return dsn;
}

void CreateDemoFile(const std::string& path, const demo::Options& options) {
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
