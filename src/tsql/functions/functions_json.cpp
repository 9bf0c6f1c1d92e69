// JSON functions: ISJSON, JSON_VALUE, JSON_QUERY, JSON_MODIFY, and OPENJSON's rows. The text
// is parsed into a tree that remembers where each value's text lies, so that JSON_VALUE returns
// numbers as written, JSON_QUERY the fragment as it stands and JSON_MODIFY changes only the
// part it sets.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tsql/functions/functions_common.h"
#include "tsql/types/collation.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"
#include "tsql/types/value_util.h"

namespace orv::tsql::fn {
namespace {

struct Node;
struct Member {
  std::string key;  // decoded; empty for array items
  size_t key_begin = 0;
  std::unique_ptr<Node> value;
};

struct Node {
  enum Kind { kObject, kArray, kString, kNumber, kTrue, kFalse, kNull } kind = kNull;
  size_t begin = 0, end = 0;  // the value's bytes in the text
  std::string text;           // a string's decoded text
  std::vector<Member> children;
};

constexpr int kMaxDepth = 128;
// The characters a backslash escape stands for, and the letters that name them.
constexpr std::string_view kPlain = "\"\\/\b\f\n\r\t";
constexpr std::string_view kEscaped = "\"\\/bfnrt";

// Recursive-descent JSON reader (RFC 8259). On a fault it stops and keeps the byte position of
// the character that did not fit.
class JsonReader {
 public:
  explicit JsonReader(std::string_view s) : s_(s) {}

  std::unique_ptr<Node> Document() {
    SkipSpace();
    auto node = Value(0);
    if (!node) return nullptr;
    SkipSpace();
    if (i_ != s_.size()) return Fail();
    return node;
  }
  size_t fault() const { return i_; }

 private:
  std::nullptr_t Fail() { return nullptr; }
  void SkipSpace() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r'))
      ++i_;
  }
  bool Literal(std::string_view word) {
    if (s_.substr(i_, word.size()) != word) return false;
    i_ += word.size();
    return true;
  }
  bool Digits() {
    const size_t from = i_;
    while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
    return i_ > from;
  }
  bool Hex4(char32_t& cp) {
    if (i_ + 4 > s_.size()) return false;
    cp = 0;
    for (int k = 0; k < 4; ++k, ++i_) {
      const char c = s_[i_];
      const int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
      if (d < 0) return false;
      cp = cp * 16 + static_cast<char32_t>(d);
    }
    return true;
  }
  // A string from its opening quote; its decoded text into `out`.
  bool String(std::string& out) {
    ++i_;
    while (i_ < s_.size()) {
      const char c = s_[i_];
      if (c == '"') {
        ++i_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out.push_back(c);
        ++i_;
        continue;
      }
      if (++i_ >= s_.size()) return false;
      const char e = s_[i_++];
      if (e == 'u') {
        char32_t cp;
        if (!Hex4(cp)) return false;
        if (cp >= 0xD800 && cp < 0xDC00 && s_.substr(i_, 2) == "\\u") {
          const size_t at = i_;
          i_ += 2;
          char32_t low;
          if (Hex4(low) && low >= 0xDC00 && low < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          } else {
            i_ = at;
          }
        }
        coll::AppendUtf8(out, cp);
      } else if (const size_t k = kEscaped.find(e); k != std::string_view::npos) {
        out.push_back(kPlain[k]);
      } else {
        --i_;
        return false;
      }
    }
    return false;
  }
  std::unique_ptr<Node> Value(int depth) {
    if (i_ >= s_.size() || depth > kMaxDepth) return Fail();
    auto node = std::make_unique<Node>();
    node->begin = i_;
    const char c = s_[i_];
    if (c == '{' || c == '[') {
      const bool object = c == '{';
      node->kind = object ? Node::kObject : Node::kArray;
      ++i_;
      SkipSpace();
      if (i_ < s_.size() && s_[i_] == (object ? '}' : ']')) {
        ++i_;
      } else {
        while (true) {
          Member m;
          if (object) {
            if (i_ >= s_.size() || s_[i_] != '"') return Fail();
            m.key_begin = i_;
            if (!String(m.key)) return Fail();
            SkipSpace();
            if (i_ >= s_.size() || s_[i_] != ':') return Fail();
            ++i_;
            SkipSpace();
          } else {
            m.key_begin = i_;
          }
          m.value = Value(depth + 1);
          if (!m.value) return nullptr;
          node->children.push_back(std::move(m));
          SkipSpace();
          if (i_ < s_.size() && s_[i_] == ',') {
            ++i_;
            SkipSpace();
            continue;
          }
          if (i_ < s_.size() && s_[i_] == (object ? '}' : ']')) {
            ++i_;
            break;
          }
          return Fail();
        }
      }
    } else if (c == '"') {
      node->kind = Node::kString;
      if (!String(node->text)) return Fail();
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      node->kind = Node::kNumber;
      if (c == '-') ++i_;
      if (i_ < s_.size() && s_[i_] == '0') {
        ++i_;
      } else if (!Digits()) {
        return Fail();
      }
      if (i_ < s_.size() && s_[i_] == '.' && (++i_, !Digits())) return Fail();
      if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
        ++i_;
        if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
        if (!Digits()) return Fail();
      }
    } else if (Literal("true")) {
      node->kind = Node::kTrue;
    } else if (Literal("false")) {
      node->kind = Node::kFalse;
    } else if (Literal("null")) {
      node->kind = Node::kNull;
    } else {
      return Fail();
    }
    node->end = i_;
    return node;
  }

  std::string_view s_;
  size_t i_ = 0;
};

// The character at byte `at` and its place counted in characters from 0, for 13607/13609.
std::pair<std::string, std::string> Where(std::string_view s, size_t at) {
  std::string ch;
  if (at < s.size()) {
    size_t end = at;
    coll::NextCodePoint(s, end);
    ch = std::string(s.substr(at, end - at));
  }
  return {ch, std::to_string(util::CharCount(s.substr(0, std::min(at, s.size()))))};
}

std::unique_ptr<Node> ParseJson(std::string_view s) {
  JsonReader reader(s);
  auto doc = reader.Document();
  if (!doc) {
    auto [ch, pos] = Where(s, reader.fault());
    ThrowError(13609, {ch, pos});
  }
  return doc;
}

// ASCII letters of a and b alike, case aside.
bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k) {
    if (coll::Fold(static_cast<unsigned char>(a[k])) !=
        coll::Fold(static_cast<unsigned char>(b[k])))
      return false;
  }
  return true;
}

struct PathStep {
  bool is_index = false;
  std::string key;
  size_t index = 0;
};
struct JsonPath {
  bool strict = false;
  bool append = false;
  std::vector<PathStep> steps;
};

// "[append] [lax|strict] $.a.\"b c\"[2]"; 13607 at the first character out of place.
JsonPath ParsePath(std::string_view p, bool allow_append) {
  JsonPath path;
  size_t i = 0;
  auto fail = [&]() {
    auto [ch, pos] = Where(p, i);
    ThrowError(13607, {ch, pos});
  };
  auto skip_space = [&] {
    while (i < p.size() && p[i] == ' ') ++i;
  };
  auto word = [&](std::string_view w) {
    if (p.size() - i > w.size() && SameWord(p.substr(i, w.size()), w) && p[i + w.size()] == ' ') {
      i += w.size();
      skip_space();
      return true;
    }
    return false;
  };
  skip_space();
  if (allow_append && word("append")) path.append = true;
  if (word("strict")) {
    path.strict = true;
  } else {
    word("lax");
  }
  if (i >= p.size() || p[i] != '$') fail();
  ++i;
  while (i < p.size()) {
    PathStep step;
    if (p[i] == '.') {
      ++i;
      if (i < p.size() && p[i] == '"') {
        // A quoted key: up to the closing quote, backslash escapes as in JSON strings.
        ++i;
        bool closed = false;
        while (i < p.size()) {
          if (p[i] == '"') {
            closed = true;
            ++i;
            break;
          }
          if (p[i] == '\\' && i + 1 < p.size()) ++i;
          step.key.push_back(p[i++]);
        }
        if (!closed) fail();
      } else {
        const size_t from = i;
        while (i < p.size() && p[i] != '.' && p[i] != '[' && p[i] != ' ' && p[i] != '"') ++i;
        if (i == from) fail();
        step.key = std::string(p.substr(from, i - from));
      }
    } else if (p[i] == '[') {
      ++i;
      const size_t from = i;
      while (i < p.size() && p[i] >= '0' && p[i] <= '9') ++i;
      if (i == from || i >= p.size() || p[i] != ']') fail();
      step.is_index = true;
      step.index = std::stoul(std::string(p.substr(from, i - from)));
      ++i;
    } else {
      fail();
    }
    path.steps.push_back(std::move(step));
  }
  return path;
}

// Keys match exactly (JSON keys are case-sensitive); the last of equal keys wins.
Member* Child(Node& node, const PathStep& step) {
  if (step.is_index) {
    if (node.kind != Node::kArray || step.index >= node.children.size()) return nullptr;
    return &node.children[step.index];
  }
  if (node.kind != Node::kObject) return nullptr;
  Member* found = nullptr;
  for (Member& m : node.children) {
    if (m.key == step.key) found = &m;
  }
  return found;
}

Node* Find(Node& root, const std::vector<PathStep>& steps, size_t count) {
  Node* node = &root;
  for (size_t k = 0; k < count && node; ++k) {
    Member* m = Child(*node, steps[k]);
    node = m ? m->value.get() : nullptr;
  }
  return node;
}

std::string_view TextArg(Args a, Types t, size_t i, std::string& scratch) {
  return TextView(a[i], t[i], scratch);
}

// ISJSON(text [, VALUE | ARRAY | OBJECT | SCALAR]): 1 when text is JSON of that kind (without
// one: an object or an array; SCALAR: a string or a number), else 0.
Value IsJson(Args a, Types t, const SqlType&) {
  if (a[0].is_null()) return Value::Null();
  std::string s1, s2;
  JsonReader reader(TextArg(a, t, 0, s1));
  auto doc = reader.Document();
  if (!doc) return Value::Int(0);
  const std::string_view kind = a.size() > 1 ? TextArg(a, t, 1, s2) : "";
  bool ok;
  if (kind == "VALUE") {
    ok = true;
  } else if (kind == "ARRAY") {
    ok = doc->kind == Node::kArray;
  } else if (kind == "OBJECT") {
    ok = doc->kind == Node::kObject;
  } else if (kind == "SCALAR") {
    ok = doc->kind == Node::kString || doc->kind == Node::kNumber;
  } else {
    ok = doc->kind == Node::kObject || doc->kind == Node::kArray;
  }
  return Value::Int(ok ? 1 : 0);
}

// JSON_VALUE(json, path): the scalar at path as text (a string unescaped, a number as
// written, true/false); NULL for JSON null. Lax paths give NULL where strict ones raise 13608
// (nothing there), 13623 (an object or array) or 13625 (longer than 4000 characters).
Value JsonValue(Args a, Types t, const SqlType&) {
  if (AnyNull(a)) return Value::Null();
  std::string s1, s2;
  const std::string_view text = TextArg(a, t, 0, s1);
  const JsonPath path = ParsePath(TextArg(a, t, 1, s2), false);
  auto doc = ParseJson(text);
  const Node* node = Find(*doc, path.steps, path.steps.size());
  if (!node) {
    if (path.strict) ThrowError(13608);
    return Value::Null();
  }
  switch (node->kind) {
    case Node::kObject:
    case Node::kArray:
      if (path.strict) ThrowError(13623);
      return Value::Null();
    case Node::kNull:
      return Value::Null();
    case Node::kString:
      if (util::StoredLength(node->text, true) > 4000) {
        if (path.strict) ThrowError(13625);
        return Value::Null();
      }
      return Value::String(node->text);
    default:
      return Value::String(text.substr(node->begin, node->end - node->begin));
  }
}

// JSON_QUERY(json [, path]): the object or array at path as its text stands; lax paths give
// NULL where strict ones raise 13608 (nothing there) or 13624 (a scalar).
Value JsonQuery(Args a, Types t, const SqlType&) {
  if (AnyNull(a)) return Value::Null();
  std::string s1, s2;
  const std::string_view text = TextArg(a, t, 0, s1);
  const JsonPath path = a.size() > 1 ? ParsePath(TextArg(a, t, 1, s2), false) : JsonPath{};
  auto doc = ParseJson(text);
  const Node* node = Find(*doc, path.steps, path.steps.size());
  if (!node) {
    if (path.strict) ThrowError(13608);
    return Value::Null();
  }
  if (node->kind != Node::kObject && node->kind != Node::kArray) {
    if (path.strict) ThrowError(13624);
    return Value::Null();
  }
  return Value::String(text.substr(node->begin, node->end - node->begin));
}

// A value as JSON text: strings quoted and escaped, numbers as they are, bit as true/false.
std::string JsonLiteral(const Value& v, const SqlType& t) {
  if (v.is_null()) return "null";
  if (t.id == TypeId::Bit) return v.int_value() != 0 ? "true" : "false";
  if (t.IsNumeric()) return ToText(v, t);
  std::string out = "\"";
  AppendJsonEscaped(out, TextOf(v, t));
  return out + "\"";
}

// JSON_MODIFY(json, path, value): json with the property or item at path set to value, a
// missing property added (lax) and a property deleted when value is NULL (lax; strict sets
// null). "append" adds value at the end of the array at path. Text outside the change stays
// as it was. Strict paths raise 13608 where nothing is there.
Value JsonModify(Args a, Types t, const SqlType&) {
  if (a[0].is_null() || a[1].is_null()) return Value::Null();
  std::string s1, s2;
  const std::string text(TextArg(a, t, 0, s1));
  const JsonPath path = ParsePath(TextArg(a, t, 1, s2), true);
  auto doc = ParseJson(text);
  const bool deleting = a[2].is_null() && !path.strict && !path.append;
  const std::string literal = JsonLiteral(a[2], t[2]);
  auto splice = [&](size_t from, size_t to, std::string_view with) {
    return Value::String(text.substr(0, from) + std::string(with) + text.substr(to));
  };
  if (path.append) {
    Node* array = Find(*doc, path.steps, path.steps.size());
    if (!array || array->kind != Node::kArray) {
      if (path.strict) ThrowError(13608);
      return Value::String(text);
    }
    const size_t close = array->end - 1;
    return splice(close, close, array->children.empty() ? literal : "," + literal);
  }
  if (path.steps.empty()) return Value::String(text);
  Node* parent = Find(*doc, path.steps, path.steps.size() - 1);
  const PathStep& last = path.steps.back();
  Member* member = parent ? Child(*parent, last) : nullptr;
  if (!member) {
    if (path.strict || !parent || last.is_index || parent->kind != Node::kObject) {
      if (path.strict) ThrowError(13608);
      return Value::String(text);
    }
    if (deleting) return Value::String(text);
    const std::string added =
        JsonLiteral(Value::String(last.key), SqlType::NVarChar(4000)) + ":" + literal;
    const size_t close = parent->end - 1;
    return splice(close, close, parent->children.empty() ? added : "," + added);
  }
  if (deleting && !last.is_index) {
    // The member with the comma that joins it to the next one (or to the one before).
    auto& siblings = parent->children;
    const size_t k = static_cast<size_t>(member - siblings.data());
    if (k + 1 < siblings.size()) return splice(member->key_begin, siblings[k + 1].key_begin, "");
    if (k > 0) return splice(siblings[k - 1].value->end, member->value->end, "");
    return splice(member->key_begin, member->value->end, "");
  }
  return splice(member->value->begin, member->value->end, literal);
}

SqlType JsonValueType(Types) { return SqlType::NVarChar(4000); }
SqlType JsonTextType(Types) { return SqlType::NVarChar(SqlType::kMaxLength); }

constexpr ScalarFunction kJsonFunctions[] = {
    {"ISJSON", 1, 2, IntType, IsJson},
    {"JSON_VALUE", 2, 2, JsonValueType, JsonValue},
    {"JSON_QUERY", 1, 2, JsonTextType, JsonQuery},
    {"JSON_MODIFY", 3, 3, JsonTextType, JsonModify},
};

}  // namespace

std::span<const ScalarFunction> JsonFunctions() { return kJsonFunctions; }

}  // namespace orv::tsql::fn

namespace orv::tsql {

std::vector<JsonRow> OpenJsonRows(std::string_view json, std::string_view path_text) {
  using fn::Node;
  const fn::JsonPath path = fn::ParsePath(path_text, false);
  auto doc = fn::ParseJson(json);
  const Node* node = fn::Find(*doc, path.steps, path.steps.size());
  std::vector<JsonRow> rows;
  if (!node) {
    if (path.strict) ThrowError(13608);
    return rows;
  }
  if (node->kind != Node::kObject && node->kind != Node::kArray) ThrowError(13611);
  for (size_t k = 0; k < node->children.size(); ++k) {
    const fn::Member& m = node->children[k];
    const Node& v = *m.value;
    JsonRow row;
    row.key = Value::String(node->kind == Node::kObject ? m.key : std::to_string(k));
    row.value = v.kind == Node::kNull     ? Value::Null()
                : v.kind == Node::kString ? Value::String(v.text)
                                          : Value::String(json.substr(v.begin, v.end - v.begin));
    static constexpr int kTypes[] = {5, 4, 1, 2, 3, 3, 0};  // in the order of Node::Kind
    row.type = kTypes[v.kind];
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace orv::tsql
