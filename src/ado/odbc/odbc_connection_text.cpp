#include "ado/odbc/odbc_connection_text.h"

#include <array>
#include <charconv>
#include <string_view>
#include <utility>
#include <vector>

#include "ado/ado_errors.h"
#include "ado/connection.h"
#include "automation/ascii.h"

namespace orv::ado::odbc {
namespace {

using automation::AsciiLower;
using automation::EqualsIgnoreCase;

bool IsOneOf(std::string_view key, std::initializer_list<std::string_view> names) {
  for (std::string_view name : names) {
    if (EqualsIgnoreCase(key, name)) return true;
  }
  return false;
}

bool IsYes(std::string_view value) {
  return IsOneOf(value, {"yes", "true", "sspi", "1", "mandatory", "strict"});
}

// SQL Server's own ODBC drivers, named by connection texts written for other systems; here the
// FreeTDS driver takes their place.
bool IsSqlServerDriver(std::string_view driver) {
  const std::string lower = AsciiLower(driver);
  return lower == "freetds" || lower == "sql server" || lower == "sql native client" ||
         lower.starts_with("sql server native client") ||
         (lower.starts_with("odbc driver ") && lower.ends_with(" for sql server"));
}

// "tcp:host,port", "host,port", "host\instance", "(local)": host and port ("" when not given).
std::pair<std::string, std::string> SplitServer(std::string server) {
  if (server.size() > 4 && EqualsIgnoreCase(std::string_view(server).substr(0, 4), "tcp:")) {
    server.erase(0, 4);
  }
  std::string port;
  if (size_t comma = server.find(','); comma != std::string::npos) {
    port = server.substr(comma + 1);
    server.resize(comma);
    while (!port.empty() && port.front() == ' ') port.erase(0, 1);
    while (!server.empty() && server.back() == ' ') server.pop_back();
  }
  if (server == "." || EqualsIgnoreCase(server, "(local)") || EqualsIgnoreCase(server, "(localdb)")) {
    server = "localhost";
  }
  return {server, port};
}

[[noreturn]] void Refuse(const std::string& why) {
  RaiseAdoError(adoerr::kInvalidArgument, "SQL Server connection text: " + why);
}

int ReadTimeout(const std::string& text) {
  int seconds = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (ec != std::errc() || end != text.data() + text.size() || seconds < 0) {
    Refuse("the login timeout '" + text + "' is not a number of seconds");
  }
  return seconds;
}

class Builder {
 public:
  void Add(std::string_view key, const std::string& value) {
    if (!text_.empty()) text_ += ';';
    text_ += key;
    text_ += '=';
    text_ += OdbcValue(value);
  }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

}  // namespace

std::string OdbcValue(const std::string& value) {
  const bool plain = value.find_first_of(";{}=") == std::string::npos &&
                     (value.empty() || (value.front() != ' ' && value.back() != ' '));
  if (plain) return value;
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  out += '}';
  return out;
}

std::string OdbcTarget::Describe() const {
  std::string where;
  if (!dsn.empty()) {
    where = "DSN " + dsn;
  } else {
    where = host;
    if (!port.empty()) where += ":" + port;
  }
  std::vector<std::string> parts;
  if (!database.empty()) parts.push_back("database " + database);
  if (!user.empty()) parts.push_back("user " + user);
  if (!parts.empty()) {
    where += " (";
    for (size_t i = 0; i < parts.size(); ++i) where += (i ? ", " : "") + parts[i];
    where += ")";
  }
  return where;
}

OdbcTarget MapConnectionText(const ConnectionString& properties, const std::string& freetds_driver) {
  OdbcTarget target;
  Builder out;
  std::string server;
  bool driver_given = false;
  bool version_given = false;
  for (const auto& [key, value] : properties.Pairs()) {
    if (IsOneOf(key, {"Provider", "ClientCharset", "Persist Security Info", "Language", "Clock"})) {
      // The provider is this one; text is always exchanged in UTF-8; Language is the service's
      // (the language of captions), Clock the embedded engine's.
      continue;
    } else if (IsOneOf(key, {"Integrated Security", "Trusted_Connection"})) {
      if (IsYes(value)) {
        Refuse("Windows authentication (" + key + "=" + value +
               ") is not available here; give User ID and Password of a SQL Server login");
      }
    } else if (IsOneOf(key, {"Data Source", "Server", "Address", "Addr", "Network Address"})) {
      server = value;
    } else if (IsOneOf(key, {"Port"})) {
      target.port = value;
    } else if (IsOneOf(key, {"Initial Catalog", "Database"})) {
      target.database = value;
    } else if (IsOneOf(key, {"User ID", "UID", "User"})) {
      target.user = value;
    } else if (IsOneOf(key, {"Password", "PWD"})) {
      // The driver reads a braced value up to its first '}': such a password cannot be passed.
      if (value.find('}') != std::string::npos) {
        Refuse("the FreeTDS driver cannot take a password that contains '}'");
      }
      out.Add("PWD", value);
    } else if (IsOneOf(key, {"Connect Timeout", "Connection Timeout", "LoginTimeout"})) {
      target.login_timeout_seconds = ReadTimeout(value);
    } else if (IsOneOf(key, {"Driver"})) {
      driver_given = true;
      out.Add("Driver", IsSqlServerDriver(value) ? freetds_driver : value);
    } else if (IsOneOf(key, {"DSN"})) {
      target.dsn = value;
      out.Add("DSN", value);
    } else if (IsOneOf(key, {"Encrypt"})) {
      out.Add("Encryption", IsYes(value) ? "require" : "request");
    } else if (IsOneOf(key, {"Application Name", "APP"})) {
      out.Add("APP", value);
    } else if (IsOneOf(key, {"Workstation ID", "WSID"})) {
      out.Add("WSID", value);
    } else if (IsOneOf(key, {"TDS_Version"})) {
      version_given = true;
      out.Add(key, value);
    } else {
      out.Add(key, value);  // a driver attribute of its own (TrustServerCertificate, ...)
    }
  }
  if (target.dsn.empty()) {
    if (server.empty()) {
      Refuse("no server: give Data Source=host[,port] (or Server=host;Port=port)");
    }
    auto [host, port] = SplitServer(server);
    target.host = host;
    if (!port.empty()) target.port = port;
    // A named instance (host\instance) is found through the server's browser service.
    if (target.port.empty() && target.host.find('\\') == std::string::npos) target.port = "1433";
    if (!driver_given) out.Add("Driver", freetds_driver);
    out.Add("Server", target.host);
    if (!target.port.empty()) out.Add("Port", target.port);
    if (!version_given) out.Add("TDS_Version", "7.4");
  } else if (!server.empty()) {
    auto [host, port] = SplitServer(server);
    target.host = host;
    out.Add("Server", host);
    if (!port.empty()) target.port = port;
    if (!target.port.empty()) out.Add("Port", target.port);
  } else if (!target.port.empty()) {
    out.Add("Port", target.port);
  }
  if (!target.database.empty()) out.Add("Database", target.database);
  if (!target.user.empty()) out.Add("UID", target.user);
  out.Add("ClientCharset", "UTF-8");
  target.connection_text = out.Take();
  return target;
}

}  // namespace orv::ado::odbc
