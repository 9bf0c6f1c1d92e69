// The scalar function registry and the argument helpers shared by the function groups.
#include "tsql/functions/functions.h"

#include "tsql/functions/functions_common.h"
#include "tsql/types/value_ops.h"
#include "tsql/types/value_util.h"

namespace orv::tsql {
namespace fn {

bool AnyNull(Args args) {
  for (const Value& v : args) {
    if (v.is_null()) return true;
  }
  return false;
}

int64_t FixedSize(const SqlType& t) {
  switch (t.id) {
    case TypeId::Bit:
    case TypeId::TinyInt:
      return 1;
    case TypeId::SmallInt:
      return 2;
    case TypeId::Int:
    case TypeId::Real:
    case TypeId::SmallDateTime:
      return 4;
    case TypeId::BigInt:
    case TypeId::Money:
    case TypeId::Float:
    case TypeId::DateTime:
      return 8;
    case TypeId::Date:
      return 3;
    case TypeId::Time:
      return t.scale <= 2 ? 3 : t.scale <= 4 ? 4 : 5;
    case TypeId::DateTime2:
      return t.scale <= 2 ? 6 : t.scale <= 4 ? 7 : 8;
    case TypeId::DateTimeOffset:
      return t.scale <= 2 ? 8 : t.scale <= 4 ? 9 : 10;
    case TypeId::Decimal:
      return t.precision <= 9 ? 5 : t.precision <= 19 ? 9 : t.precision <= 28 ? 13 : 17;
    default:
      return 0;
  }
}

std::string TextOf(const Value& v, const SqlType& t) {
  if (v.kind() == Value::Kind::String) return std::string(v.string_value());
  return ToText(v, t);
}

std::string_view TextView(const Value& v, const SqlType& t, std::string& scratch) {
  if (v.kind() == Value::Kind::String) return v.string_value();
  scratch = ToText(v, t);
  return scratch;
}

int64_t IntOf(const Value& v, const SqlType& t) {
  if (v.kind() == Value::Kind::Int) return v.int_value();
  SqlType from = t;
  if (from.id == TypeId::Null)
    from = v.kind() == Value::Kind::Float    ? SqlType::Float()
           : v.kind() == Value::Kind::String ? SqlType::VarChar(8000)
                                             : SqlType::Decimal(38, v.decimal_scale());
  return Convert(v, from, SqlType::BigInt(), CastMode::Implicit).int_value();
}

int64_t TicksOf(const Value& v, const SqlType& t) {
  if (v.kind() == Value::Kind::DateTime) return v.datetime_ticks();
  if (v.kind() == Value::Kind::DateTime2) {
    return Convert(v, t.IsPreciseTime() ? t : SqlType::DateTime2(7), SqlType::DateTime(),
                   CastMode::Implicit)
        .datetime_ticks();
  }
  SqlType from = t.id == TypeId::Null ? SqlType::VarChar(8000) : t;
  return Convert(v, from, SqlType::DateTime(), CastMode::Implicit).datetime_ticks();
}

SqlType VarTextLike(const SqlType& t) {
  if (!t.IsString()) return SqlType::VarChar(30);
  SqlType r = t.IsUnicode() ? SqlType::NVarChar(t.length) : SqlType::VarChar(t.length);
  return r;
}

}  // namespace fn

const ScalarFunction* FindScalarFunction(std::string_view name) {
  for (auto group : {fn::StringFunctions(), fn::MathFunctions(), fn::DateFunctions(),
                     fn::MiscFunctions(), fn::FormatFunctions(), fn::JsonFunctions()}) {
    for (const ScalarFunction& f : group) {
      std::string_view n = f.name;
      if (n.size() != name.size()) continue;
      bool same = true;
      for (size_t i = 0; i < n.size() && same; ++i) same = util::AsciiUpper(name[i]) == n[i];
      if (same) return &f;
    }
  }
  return nullptr;
}

}  // namespace orv::tsql
