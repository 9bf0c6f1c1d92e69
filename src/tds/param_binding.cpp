// Declaration parsing, literals and the bound batch text.
#include "tds/param_binding.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <set>

#include "tds/type_codec.h"

namespace orv::tds {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// Type names a declaration may use, and how many arguments each takes (-1: optional length
// or "max"; -2: optional precision and scale; -3: optional fractional-second scale).
int TypeArguments(const std::string& name) {
  static const std::pair<const char*, int> kTypes[] = {
      {"bit", 0},         {"tinyint", 0},        {"smallint", 0},     {"int", 0},
      {"bigint", 0},      {"money", 0},          {"smallmoney", 0},   {"real", 0},
      {"float", -1},      {"date", 0},           {"datetime", 0},     {"smalldatetime", 0},
      {"text", 0},        {"ntext", 0},          {"image", 0},        {"uniqueidentifier", 0},
      {"decimal", -2},    {"numeric", -2},       {"char", -1},        {"varchar", -1},
      {"nchar", -1},      {"nvarchar", -1},      {"binary", -1},      {"varbinary", -1},
      {"time", -3},       {"datetime2", -3},     {"datetimeoffset", -3}};
  for (const auto& [type, args] : kTypes) {
    if (name == type) return args;
  }
  return 1;  // unknown
}

class DeclParser {
 public:
  explicit DeclParser(std::string_view text) : s_(text) {}

  std::vector<ParamDecl> Parse() {
    std::vector<ParamDecl> decls;
    SkipSpace();
    if (AtEnd()) return decls;
    while (true) {
      decls.push_back(One());
      SkipSpace();
      if (AtEnd()) break;
      Expect(',');
    }
    std::set<std::string> names;
    for (const ParamDecl& d : decls) {
      if (!names.insert(Lower(d.name)).second) {
        throw BindingError(134, "The variable name '" + d.name +
                                    "' has already been declared. Variable names must be unique "
                                    "within a query batch or stored procedure.");
      }
    }
    return decls;
  }

 private:
  ParamDecl One() {
    SkipSpace();
    ParamDecl d;
    if (AtEnd() || s_[i_] != '@') Fail();
    d.name = "@" + Word(true);
    if (d.name.size() < 2) Fail();
    SkipSpace();
    if (!AtEnd() && s_[i_] == '@') Fail();
    if (!AtEnd() && Lower(s_.substr(i_, 2)) == "as") {  // "@p AS int"
      i_ += 2;
      SkipSpace();
    }
    const std::string type = Lower(Word(false));
    const int args = TypeArguments(type);
    if (args > 0) throw BindingError(2715, "Column, parameter, or variable: cannot find data type " + type + ".");
    d.type = type;
    SkipSpace();
    if (!AtEnd() && s_[i_] == '(') {
      if (args == 0) Fail();
      ++i_;
      SkipSpace();
      std::string first = Lower(Word(false));
      if (first == "max") {
        if (args != -1 || type == "float") Fail();
        d.type += "(max)";
      } else {
        int a = Number(first);
        d.type += "(" + std::to_string(a);
        SkipSpace();
        if (!AtEnd() && s_[i_] == ',') {
          if (args != -2) Fail();
          ++i_;
          SkipSpace();
          d.type += "," + std::to_string(Number(Lower(Word(false))));
        }
        d.type += ")";
      }
      SkipSpace();
      Expect(')');
    }
    SkipSpace();
    if (!AtEnd() && std::isalpha(static_cast<unsigned char>(s_[i_]))) {
      const std::string word = Lower(Word(false));
      if (word == "out" || word == "output") {
        d.output = true;
      } else if (word != "readonly") {
        Fail();
      }
    }
    return d;
  }

  std::string Word(bool variable) {
    const size_t start = i_ + (variable ? 1 : 0);
    size_t j = start;
    while (j < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[j])) || s_[j] == '_' ||
                             (variable && (s_[j] == '@' || s_[j] == '#' || s_[j] == '$')))) {
      ++j;
    }
    if (j - start > 128) Fail();
    i_ = j;
    return std::string(s_.substr(start, j - start));
  }
  int Number(const std::string& word) {
    if (word.empty() || word.size() > 4 ||
        !std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      Fail();
    }
    return std::stoi(word);
  }
  void SkipSpace() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }
  void Expect(char c) {
    if (AtEnd() || s_[i_] != c) Fail();
    ++i_;
  }
  bool AtEnd() const { return i_ >= s_.size(); }
  [[noreturn]] void Fail() const {
    std::string near(s_.substr(std::min(i_, s_.size()), 20));
    throw BindingError(102, "Incorrect syntax near '" + near + "' in the parameter declarations.");
  }

  std::string_view s_;
  size_t i_ = 0;
};

std::string Quoted(std::string_view text, bool unicode) {
  std::string out = unicode ? "N'" : "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
  return out;
}

std::string DateTimeText(const WireValue& v) {
  // Civil date from days since 0001-01-01 (proleptic Gregorian).
  int64_t z = v.days + 306;  // days since 0000-03-01
  const int64_t era = z / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
  const int64_t ms = (v.time + 5'000) / 10'000;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld.%03lld",
                static_cast<long long>(y), static_cast<long long>(m), static_cast<long long>(d),
                static_cast<long long>(ms / 3'600'000), static_cast<long long>(ms / 60'000 % 60),
                static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
  return buffer;
}

std::string GuidText(const std::string& b) {
  // The first three groups are little-endian on the wire.
  static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    const auto byte = static_cast<unsigned char>(b[static_cast<size_t>(kOrder[i])]);
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
  }
  return out;
}

bool NamesEqual(std::string_view a, std::string_view b) { return Lower(a) == Lower(b); }

}  // namespace

std::vector<ParamDecl> ParseParamDecls(std::string_view text) { return DeclParser(text).Parse(); }

std::string SqlLiteral(const WireValue& v) {
  switch (v.kind) {
    case WireValue::Kind::Null:
      return "NULL";
    case WireValue::Kind::Int:
      return std::to_string(v.integer);
    case WireValue::Kind::Float: {
      if (!std::isfinite(v.real)) throw BindingError(8023, "A floating point value is not a number or infinite.");
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "%.17E", v.real);
      return buffer;
    }
    case WireValue::Kind::Decimal:
      return DecimalText(v.unscaled, v.scale);
    case WireValue::Kind::Text:
      return Quoted(v.bytes, true);
    case WireValue::Kind::Binary: {
      static constexpr char kHex[] = "0123456789ABCDEF";
      std::string out = "0x";
      for (unsigned char c : v.bytes) {
        out += kHex[c >> 4];
        out += kHex[c & 15];
      }
      return out;
    }
    case WireValue::Kind::DateTime:
      return Quoted(DateTimeText(v), false);
    case WireValue::Kind::Guid:
      return Quoted(GuidText(v.bytes), false);
  }
  return "NULL";
}

std::string OutputColumnName(size_t index) { return "__orv_output_" + std::to_string(index); }

BoundBatch BindParameters(std::string_view statement, const std::vector<ParamDecl>& decls,
                          const std::vector<const RpcParam*>& values) {
  std::vector<const RpcParam*> assigned(decls.size(), nullptr);
  size_t position = 0;
  for (const RpcParam* value : values) {
    if (value->name.empty()) {
      if (position >= decls.size()) {
        throw BindingError(8144, "Procedure or function has too many arguments specified.");
      }
      assigned[position++] = value;
      continue;
    }
    auto it = std::find_if(decls.begin(), decls.end(),
                           [&](const ParamDecl& d) { return NamesEqual(d.name, value->name); });
    if (it == decls.end()) {
      throw BindingError(8145, value->name + " is not a parameter for procedure sp_executesql.");
    }
    assigned[static_cast<size_t>(it - decls.begin())] = value;
  }
  BoundBatch bound;
  for (size_t i = 0; i < decls.size(); ++i) {
    if (!assigned[i]) {
      std::string declared;
      for (const ParamDecl& d : decls) declared += (declared.empty() ? "" : ",") + d.name + " " + d.type;
      throw BindingError(8178, "The parameterized query '(" + declared + ")" +
                                   std::string(statement.substr(0, 40)) + "' expects the parameter '" +
                                   decls[i].name + "', which was not supplied.");
    }
    bound.text += "DECLARE " + decls[i].name + " " + decls[i].type + "; SET " + decls[i].name +
                  " = " + SqlLiteral(assigned[i]->value) + "; ";
    if (decls[i].output && assigned[i]->output) bound.outputs.push_back(i);
  }
  bound.text += statement;
  if (!bound.outputs.empty()) {
    bound.text += "\nSELECT ";
    for (size_t k = 0; k < bound.outputs.size(); ++k) {
      bound.text += (k ? ", " : "") + decls[bound.outputs[k]].name + " AS " + OutputColumnName(k);
    }
  }
  return bound;
}

}  // namespace orv::tds
