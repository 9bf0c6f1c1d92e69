// FOR JSON PATH: a query's rows written as one JSON text, an array of one object per row. A
// column's name is its key; a name with dots ("a.b") puts the value in a nested object, which
// adjacent columns with the same prefix share. NULLs are left out unless INCLUDE_NULL_VALUES;
// ROOT wraps the array in an object; WITHOUT_ARRAY_WRAPPER leaves the brackets out.
#include <string>
#include <string_view>
#include <vector>

#include "tsql/exec/exec.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace {

void AppendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '/':
        out += "\\/";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out.push_back(kHex[c >> 4]);
          out.push_back(kHex[c & 15]);
        } else {
          out.push_back(ch);
        }
    }
  }
  out.push_back('"');
}

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t n = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (i + 1 < bytes.size()) n |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 2]);
    out.push_back(kDigits[(n >> 18) & 63]);
    out.push_back(kDigits[(n >> 12) & 63]);
    out.push_back(i + 1 < bytes.size() ? kDigits[(n >> 6) & 63] : '=');
    out.push_back(i + 2 < bytes.size() ? kDigits[n & 63] : '=');
  }
  return out;
}

// A value as FOR JSON writes it: numbers bare, bit as true or false, dates and times in ISO
// 8601 (CONVERT style 126), binary in base64, everything else as a string (in which '/' is
// escaped too).
void AppendJsonValue(std::string& out, const Value& v, const SqlType& type) {
  if (v.is_null()) {
    out += "null";
  } else if (type.id == TypeId::Bit) {
    out += v.int_value() != 0 ? "true" : "false";
  } else if (type.IsNumeric()) {
    out += ToText(v, type);
  } else if (type.IsDateTime()) {
    AppendJsonString(out, Convert(v, type, SqlType::VarChar(64), CastMode::Explicit, 126).string_value());
  } else if (type.IsBinary()) {
    AppendJsonString(out, Base64(v.string_value()));
  } else if (v.kind() == Value::Kind::String && type.id != TypeId::UniqueIdentifier) {
    AppendJsonString(out, v.string_value());
  } else {
    AppendJsonString(out, ToText(v, type));
  }
}

std::vector<std::string> Steps(std::string_view name) {
  std::vector<std::string> steps;
  size_t start = 0;
  for (;;) {
    const size_t dot = name.find('.', start);
    steps.emplace_back(name.substr(start, dot == std::string_view::npos ? name.npos : dot - start));
    if (dot == std::string_view::npos) return steps;
    start = dot + 1;
  }
}

// The columns' paths, refused (13601) where one key would be written twice: a name repeated,
// a value and an object under one name, or an object whose columns are not adjacent.
std::vector<std::vector<std::string>> Paths(const std::vector<ResultColumn>& columns) {
  std::vector<std::vector<std::string>> paths;
  std::vector<std::vector<std::string>> closed;  // objects left, and keys written
  std::vector<std::string> open;
  auto seen = [&](const std::vector<std::string>& path) {
    for (const auto& p : closed) {
      if (p.size() == path.size() && std::equal(p.begin(), p.end(), path.begin(), NamesEqual)) return true;
    }
    return false;
  };
  for (const ResultColumn& column : columns) {
    std::vector<std::string> path = Steps(column.name);
    size_t common = 0;
    while (common < open.size() && common + 1 < path.size() && NamesEqual(open[common], path[common])) ++common;
    while (open.size() > common) {
      closed.push_back(open);
      open.pop_back();
    }
    for (size_t i = common; i + 1 < path.size(); ++i) {
      open.push_back(path[i]);
      if (seen(open)) ThrowError(13601, {column.name});
    }
    if (seen(path)) ThrowError(13601, {column.name});
    closed.push_back(path);
    paths.push_back(std::move(path));
  }
  return paths;
}

void AppendRow(std::string& out, const Row& row, const std::vector<ResultColumn>& columns,
               const std::vector<std::vector<std::string>>& paths, bool include_nulls) {
  out.push_back('{');
  std::vector<std::string> open;  // nested objects written and not yet closed
  std::vector<bool> first{true};  // whether the next key of each open object is its first
  auto close_to = [&](size_t depth) {
    while (open.size() > depth) {
      out.push_back('}');
      open.pop_back();
      first.pop_back();
    }
  };
  auto key = [&](const std::string& name) {
    if (!first.back()) out.push_back(',');
    first.back() = false;
    AppendJsonString(out, name);
    out.push_back(':');
  };
  for (size_t c = 0; c < columns.size(); ++c) {
    const std::vector<std::string>& path = paths[c];
    size_t common = 0;
    while (common < open.size() && common + 1 < path.size() && NamesEqual(open[common], path[common])) ++common;
    close_to(common);
    if (row[c].is_null() && !include_nulls) continue;
    // Objects are opened by the first value written in them.
    for (size_t i = open.size(); i + 1 < path.size(); ++i) {
      key(path[i]);
      out.push_back('{');
      open.push_back(path[i]);
      first.push_back(true);
    }
    key(path.back());
    AppendJsonValue(out, row[c], columns[c].type);
  }
  close_to(0);
  out.push_back('}');
}

}  // namespace

Value JsonOfRows(const std::vector<Row>& rows, const std::vector<ResultColumn>& columns,
                 const ast::ForClause& options) {
  const std::vector<std::vector<std::string>> paths = Paths(columns);
  if (rows.empty() && !options.root) return Value();
  std::string out;
  if (options.root) {
    out += '{';
    AppendJsonString(out, *options.root);
    out += ':';
  }
  if (!options.without_array_wrapper) out.push_back('[');
  for (size_t r = 0; r < rows.size(); ++r) {
    if (r) out.push_back(',');
    AppendRow(out, rows[r], columns, paths, options.include_null_values);
  }
  if (!options.without_array_wrapper) out.push_back(']');
  if (options.root) out.push_back('}');
  return Value::String(out);
}

}  // namespace orv::tsql
