// FOR XML: a query's rows written as one XML text. PATH names elements after the columns: an
// unnamed column (or one named text(), *, data()) is text, "@a" an attribute of the row's
// element, "a/b" nested elements (adjacent columns share the elements their names begin
// with); RAW gives each row one element with a column per attribute (per child element with
// ELEMENTS). NULL values are left out; ROOT wraps the whole.
#include <string>
#include <string_view>
#include <vector>

#include "tsql/exec/exec.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace {

void AppendEscaped(std::string& out, std::string_view text, bool attribute) {
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '\r':
        out += "&#x0D;";
        break;
      case '"':
        if (attribute) {
          out += "&quot;";
          break;
        }
        [[fallthrough]];
      default:
        out.push_back(c);
    }
  }
}

// A value as XML writes it: datetimes in ISO 8601 (CONVERT style 126), the rest as text.
std::string XmlText(const Value& v, const SqlType& type) {
  if (v.kind() == Value::Kind::String) return std::string(v.string_value());
  if (type.IsDateTime()) {
    return std::string(
        Convert(v, type, SqlType::VarChar(64), CastMode::Explicit, 126).string_value());
  }
  return ToText(v, type);
}

std::vector<std::string> PathSteps(std::string_view name) {
  std::vector<std::string> steps;
  size_t start = 0;
  for (;;) {
    const size_t slash = name.find('/', start);
    steps.emplace_back(
        name.substr(start, slash == std::string_view::npos ? name.npos : slash - start));
    if (slash == std::string_view::npos) return steps;
    start = slash + 1;
  }
}

bool IsTextName(std::string_view name) {
  return name.empty() || name == "*" || name == "text()" || name == "data()";
}

void PathRow(std::string& out, const Row& row, const std::vector<ResultColumn>& columns,
             const std::string& element) {
  size_t c = 0;
  if (!element.empty()) {
    out += '<';
    out += element;
    for (; c < columns.size() && !columns[c].name.empty() && columns[c].name[0] == '@'; ++c) {
      if (row[c].is_null()) continue;
      out += ' ';
      out += std::string_view(columns[c].name).substr(1);
      out += "=\"";
      AppendEscaped(out, XmlText(row[c], columns[c].type), true);
      out += '"';
    }
    out += '>';
  }
  std::vector<std::string> open;  // the elements the previous column left open
  auto close_to = [&](size_t depth) {
    while (open.size() > depth) {
      out += "</";
      out += open.back();
      out += '>';
      open.pop_back();
    }
  };
  bool last_data = false;
  for (; c < columns.size(); ++c) {
    const std::string& name = columns[c].name;
    if (row[c].is_null()) continue;
    const std::string text = XmlText(row[c], columns[c].type);
    if (IsTextName(name)) {
      close_to(0);
      if (name == "data()" && last_data) out += ' ';
      last_data = name == "data()";
      AppendEscaped(out, text, false);
      continue;
    }
    last_data = false;
    std::vector<std::string> steps = PathSteps(name);
    const std::string leaf = std::move(steps.back());
    steps.pop_back();
    size_t shared = 0;
    while (shared < open.size() && shared < steps.size() && open[shared] == steps[shared]) ++shared;
    close_to(shared);
    for (size_t s = shared; s < steps.size(); ++s) {
      out += '<';
      out += steps[s];
      out += '>';
      open.push_back(steps[s]);
    }
    out += '<';
    out += leaf;
    out += '>';
    AppendEscaped(out, text, false);
    out += "</";
    out += leaf;
    out += '>';
  }
  close_to(0);
  if (!element.empty()) {
    out += "</";
    out += element;
    out += '>';
  }
}

void RawRow(std::string& out, const Row& row, const std::vector<ResultColumn>& columns,
            const ast::ForClause& options) {
  out += '<';
  out += options.element;
  std::string children;
  for (size_t c = 0; c < columns.size(); ++c) {
    if (row[c].is_null()) continue;
    const std::string text = XmlText(row[c], columns[c].type);
    if (options.elements) {
      children += '<' + columns[c].name + '>';
      AppendEscaped(children, text, false);
      children += "</" + columns[c].name + '>';
    } else {
      out += ' ' + columns[c].name + "=\"";
      AppendEscaped(out, text, true);
      out += '"';
    }
  }
  if (children.empty()) {
    out += "/>";
    return;
  }
  out += '>' + children + "</" + options.element + '>';
}

}  // namespace

Value XmlOfRows(const std::vector<Row>& rows, const std::vector<ResultColumn>& columns,
                const ast::ForClause& options) {
  if (rows.empty() && !options.root) return Value();
  std::string out;
  if (options.root) out += '<' + *options.root + '>';
  for (const Row& row : rows) {
    if (options.raw) {
      RawRow(out, row, columns, options);
    } else {
      PathRow(out, row, columns, options.element);
    }
  }
  if (options.root) out += "</" + *options.root + '>';
  return Value::String(out);
}

}  // namespace orv::tsql
