#include "export/json_text.h"

#include <cmath>
#include <cstdio>

#include "export/value_text.h"

namespace orv::exports {

using automation::Variant;
using automation::VarType;

void AppendJsonString(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
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
        if (u < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", u);
          out += buf;
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
}

std::string JsonString(std::string_view text) {
  std::string out;
  AppendJsonString(out, text);
  return out;
}

void AppendJsonValue(std::string& out, const Variant& v) {
  switch (v.type()) {
    case VarType::Null:
    case VarType::Empty:
    case VarType::Object:
      out += "null";
      break;
    case VarType::Boolean:
      out += v.AsBoolean() ? "true" : "false";
      break;
    case VarType::Integer:
    case VarType::Long:
    case VarType::Decimal:
      automation::AppendCStr(out, v);
      break;
    case VarType::Double:
      out += std::isfinite(v.AsDouble()) ? DoubleText(v.AsDouble()) : "null";
      break;
    case VarType::Date:
      AppendJsonString(out, IsoDate(v.AsDate()));
      break;
    case VarType::String:
      AppendJsonString(out, v.AsString());
      break;
  }
}

}  // namespace orv::exports
