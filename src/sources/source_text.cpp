#include "sources/source_text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <exception>

#include "ado/provider.h"
#include "sources/source_error.h"

namespace orv::sources {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Keys of the connection texts report clients write: the embedded provider's, ADO's and ODBC's.
constexpr std::array<std::string_view, 26> kConnectionKeys = {
    "provider",  "data source", "initial catalog", "user id",     "password",
    "language",  "clock",       "driver",          "server",      "port",
    "database",  "uid",         "pwd",             "dsn",         "trusted_connection",
    "encrypt",   "address",     "servername",      "tds_version", "clientcharset",
    "app",       "wsid",        "logintimeout",    "integrated security",
    "persist security info",    "trustservercertificate"};

bool IsConnectionKey(std::string_view key) {
  const std::string lower = Lower(key);
  return std::find(kConnectionKeys.begin(), kConnectionKeys.end(), lower) != kConnectionKeys.end();
}

bool IsPasswordKey(std::string_view key) {
  const std::string lower = Lower(key);
  return lower == "password" || lower == "pwd";
}

// Parses the text as a connection string; false when the grammar does not hold.
bool Parse(std::string_view text, ado::ConnectionString& out) {
  try {
    out = ado::ConnectionString(text);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

bool IsConnectionText(std::string_view text) {
  const size_t eq = text.find('=');
  if (eq == std::string_view::npos) return false;
  // The first key must be a connection key: a path may hold '=' but not start with one.
  std::string_view key = text.substr(0, eq);
  while (!key.empty() && std::isspace(static_cast<unsigned char>(key.front()))) key.remove_prefix(1);
  while (!key.empty() && std::isspace(static_cast<unsigned char>(key.back()))) key.remove_suffix(1);
  if (!IsConnectionKey(key)) return false;
  ado::ConnectionString parsed;
  return Parse(text, parsed);
}

std::string FileConnectionText(std::string_view path) {
  if (path.find_first_of(";{}=") == std::string_view::npos &&
      (path.empty() || (path.front() != ' ' && path.back() != ' '))) {
    return "Provider=Embedded;Data Source=" + std::string(path);
  }
  std::string braced = "{";
  for (char c : path) {
    braced.push_back(c);
    if (c == '}') braced.push_back('}');
  }
  return "Provider=Embedded;Data Source=" + braced + "}";
}

std::string HidePasswords(std::string_view text) {
  ado::ConnectionString parsed;
  if (!IsConnectionText(text) || !Parse(text, parsed)) return std::string(text);
  bool any = false;
  for (const auto& [key, value] : parsed.Pairs()) any = any || IsPasswordKey(key);
  if (!any) return std::string(text);
  std::string out;
  for (const auto& [key, value] : parsed.Pairs()) {
    if (!out.empty()) out += ';';
    out += key + "=";
    if (IsPasswordKey(key)) {
      out += "***";
    } else if (value.find_first_of(";{}") != std::string::npos) {
      out += '{';
      for (char c : value) {
        out.push_back(c);
        if (c == '}') out.push_back('}');
      }
      out += '}';
    } else {
      out += value;
    }
  }
  return out;
}

std::string EmbeddedFile(std::string_view connection_text) {
  const ado::ConnectionString parsed(connection_text);
  const std::string provider = Lower(ado::ProviderName(parsed));
  if (provider != "embedded") return "";
  const std::string file = parsed.Get("Data Source");
  if (file.empty()) {
    throw SourceError("the connection text '" + HidePasswords(connection_text) +
                      "' names no data-source file: give Data Source=<file> (or :memory:)");
  }
  return file;
}

}  // namespace orv::sources
