// Result types: literals, declared type names, operators, common types and aggregates.
#include <cmath>
#include <cstdlib>
#include <string>

#include "tsql/types/decimal.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"
#include "tsql/types/value_util.h"

namespace orv::tsql {

SqlType TypeFromNameOnly(const TypeName& name, bool in_cast);

namespace {

using util::ShapeOf;

std::string_view OperatorName(Op op) {
  switch (op) {
    case Op::Add:
      return "add";
    case Op::Sub:
      return "subtract";
    case Op::Mul:
      return "multiply";
    case Op::Div:
      return "divide";
    case Op::Mod:
      return "modulo";
    case Op::BitAnd:
      return "&";
    case Op::BitOr:
      return "|";
    case Op::BitXor:
      return "^";
    default:
      return "?";
  }
}

std::string TypeLabel(const SqlType& t) {
  return t.id == TypeId::Null ? std::string("NULL") : std::string(t.MessageName());
}

[[noreturn]] void OperandInvalid(const SqlType& t, std::string_view op) {
  ThrowError(8117, {TypeLabel(t), std::string(op)});
}

// Caps a decimal result of * or / at 38 digits, keeping at least min(s, 6) decimals.
SqlType CapProduct(int p, int s) {
  if (p <= dec::kMaxPrecision) return SqlType::Decimal(p, s);
  int integral = p - s;
  int scale = std::max(std::min(s, dec::kMaxPrecision - integral), std::min(s, 6));
  return SqlType::Decimal(dec::kMaxPrecision, scale);
}

// Caps a decimal result of + - or a UNION column at 38 digits, keeping the integral digits.
SqlType CapSum(int p, int s, int integral) {
  if (p <= dec::kMaxPrecision) return SqlType::Decimal(p, s);
  int scale = std::max(0, std::min(s, dec::kMaxPrecision - integral));
  return SqlType::Decimal(dec::kMaxPrecision, scale);
}

SqlType DecimalResult(Op op, util::DecimalShape a, util::DecimalShape b) {
  int p1 = a.precision, s1 = a.scale, p2 = b.precision, s2 = b.scale;
  switch (op) {
    case Op::Add:
    case Op::Sub: {
      int s = std::max(s1, s2);
      int integral = std::max(p1 - s1, p2 - s2);
      return CapSum(s + integral + 1, s, integral);
    }
    case Op::Mul:
      return CapProduct(p1 + p2 + 1, s1 + s2);
    case Op::Div: {
      int s = std::max(6, s1 + p2 + 1);
      return CapProduct(p1 - s1 + s2 + s, s);
    }
    case Op::Mod: {
      int s = std::max(s1, s2);
      int p = std::max(std::min(p1 - s1, p2 - s2) + s, 1);
      return SqlType::Decimal(std::min(p, dec::kMaxPrecision), std::min(s, p));
    }
    default:
      return SqlType::Decimal(p1, s1);
  }
}

SqlType UnionDecimal(util::DecimalShape a, util::DecimalShape b) {
  int s = std::max(a.scale, b.scale);
  int integral = std::max(a.precision - a.scale, b.precision - b.scale);
  return CapSum(s + integral, s, integral);
}

int Rank(TypeId id) { return static_cast<int>(id); }

SqlType StringResult(const SqlType& a, const SqlType& b, bool concatenate) {
  TypeId id = Rank(a.id) >= Rank(b.id) ? a.id : b.id;
  bool unicode = a.IsUnicode() || b.IsUnicode();
  if (unicode && !SqlType{id}.IsUnicode()) id = TypeId::NVarChar;
  int32_t length;
  if (a.length == SqlType::kMaxLength || b.length == SqlType::kMaxLength) {
    length = SqlType::kMaxLength;
  } else if (concatenate) {
    int32_t cap = unicode ? 4000 : 8000;
    length = std::min(a.length + b.length, cap);
  } else {
    length = std::max(a.length, b.length);
  }
  if (id == TypeId::Text || id == TypeId::NText) length = SqlType::kMaxLength;
  SqlType r{id};
  r.length = length;
  // A collation named on either side (COLLATE or a column's own) decides.
  r.collation = a.collation != Collation::kCiAs ? a.collation : b.collation;
  return r;
}

// Numeric operands, neither a string: the result family by precedence.
SqlType NumericCommon(const SqlType& a, const SqlType& b) {
  if (a.id == TypeId::Float || b.id == TypeId::Float) return SqlType::Float();
  if (a.id == TypeId::Real || b.id == TypeId::Real) return SqlType::Real();
  if (a.id == TypeId::Decimal || b.id == TypeId::Decimal)
    return UnionDecimal(ShapeOf(a), ShapeOf(b));
  if (a.id == TypeId::Money || b.id == TypeId::Money) return SqlType::Money();
  return Rank(a.id) >= Rank(b.id) ? a : b;
}

}  // namespace

SqlType IntegerConstantType(int64_t value) {
  int digits = dec::DigitCount(value);
  return SqlType::Decimal(digits, 0);
}

SqlType ArithmeticType(Op op, const SqlType& left, const SqlType& right) {
  std::string_view opname = OperatorName(op);
  if (left.id == TypeId::Null && right.id == TypeId::Null) return SqlType::Int();
  if (left.id == TypeId::Null) return ArithmeticType(op, right, right);
  if (right.id == TypeId::Null) return ArithmeticType(op, left, left);

  bool bitwise = op == Op::BitAnd || op == Op::BitOr || op == Op::BitXor;
  if (bitwise) {
    auto integral = [](const SqlType& t) { return t.IsInteger() || t.IsString(); };
    if (!integral(left) || !integral(right) || (left.IsString() && right.IsString())) {
      ThrowError(402, {TypeLabel(left), TypeLabel(right), std::string(opname)});
    }
    if (left.IsString()) return right;
    if (right.IsString()) return left;
    return Rank(left.id) >= Rank(right.id) ? left : right;
  }

  if (left.IsBinary() || right.IsBinary()) {
    // Bytes join bytes; next to a string they are read as that string type.
    if (op != Op::Add) OperandInvalid(left.IsBinary() ? left : right, opname);
    if (left.IsBinary() && right.IsBinary()) {
      int32_t length = left.length == SqlType::kMaxLength || right.length == SqlType::kMaxLength
                           ? SqlType::kMaxLength
                           : std::min(left.length + right.length, 8000);
      return SqlType::VarBinary(length);
    }
    const SqlType& text = left.IsBinary() ? right : left;
    if (!text.IsString()) OperandInvalid(left.IsBinary() ? left : right, opname);
    SqlType as{text.IsUnicode() ? TypeId::NVarChar : TypeId::VarChar};
    as.length = left.IsBinary() ? left.length : right.length;
    return left.IsBinary() ? StringResult(as, right, true) : StringResult(left, as, true);
  }
  if (left.id == TypeId::UniqueIdentifier || right.id == TypeId::UniqueIdentifier ||
      left.id == TypeId::SqlVariant || right.id == TypeId::SqlVariant) {
    OperandInvalid(left.id == TypeId::UniqueIdentifier || left.id == TypeId::SqlVariant ? left
                                                                                         : right,
                   opname);
  }

  if (left.IsString() && right.IsString()) {
    if (op == Op::Add) return StringResult(left, right, true);
    OperandInvalid(left, opname);
  }

  if (left.IsDateTime() || right.IsDateTime()) {
    const SqlType& d = left.IsDateTime() ? left : right;
    const SqlType& other = left.IsDateTime() ? right : left;
    if (op != Op::Add && op != Op::Sub) OperandInvalid(d, opname);
    // Only datetime and smalldatetime take part in arithmetic; the newer types clash.
    auto no_arithmetic = [](const SqlType& t) { return t.id == TypeId::Date || t.IsPreciseTime(); };
    if (no_arithmetic(d) || no_arithmetic(other)) {
      const SqlType& clash = no_arithmetic(d) ? other : d;
      const SqlType& culprit = no_arithmetic(d) ? d : other;
      ThrowError(206, {std::string(culprit.MessageName()), TypeLabel(clash)});
    }
    if (op == Op::Sub && right.IsDateTime() && !left.IsDateTime()) {
      // number - datetime is allowed and gives a datetime as well
      return right.id == TypeId::SmallDateTime ? right : SqlType::DateTime();
    }
    if (other.IsDateTime()) return Rank(left.id) >= Rank(right.id) ? left : right;
    return d;
  }

  // One side may be a string that converts to the other side's numeric type.
  const SqlType& l = left.IsString() ? right : left;
  const SqlType& r = right.IsString() ? left : right;

  if (op == Op::Mod && (l.id == TypeId::Float || l.id == TypeId::Real))
    OperandInvalid(l, opname);
  if (op == Op::Mod && (r.id == TypeId::Float || r.id == TypeId::Real))
    OperandInvalid(r, opname);

  if (l.id == TypeId::Float || r.id == TypeId::Float) return SqlType::Float();
  if (l.id == TypeId::Real || r.id == TypeId::Real) return SqlType::Real();
  if (l.id == TypeId::Decimal || r.id == TypeId::Decimal) {
    return DecimalResult(op, ShapeOf(l), ShapeOf(r));
  }
  if (l.id == TypeId::Money || r.id == TypeId::Money) return SqlType::Money();
  if (l.id == TypeId::Bit && r.id == TypeId::Bit) return SqlType::Int();
  return Rank(l.id) >= Rank(r.id) ? l : r;
}

SqlType CommonType(const SqlType& a, const SqlType& b) {
  if (a.id == TypeId::Null) return b;
  if (b.id == TypeId::Null) return a;
  if (a.id == TypeId::SqlVariant || b.id == TypeId::SqlVariant) return SqlType::SqlVariant();
  if (a.IsBinary() && b.IsBinary()) {
    SqlType r = Rank(a.id) >= Rank(b.id) ? a : b;
    r.length = a.length == SqlType::kMaxLength || b.length == SqlType::kMaxLength
                   ? SqlType::kMaxLength
                   : std::max(a.length, b.length);
    return r;
  }
  if (a.IsBinary()) return b;  // every other type ranks above binary
  if (b.IsBinary()) return a;
  if (a.IsPreciseTime() || b.IsPreciseTime()) {
    if (!a.IsDateTime() || !b.IsDateTime()) return a.IsPreciseTime() ? a : b;
    SqlType r = Rank(a.id) >= Rank(b.id) ? a : b;
    auto digits = [](const SqlType& t) {
      return t.IsPreciseTime() ? int{t.scale} : t.id == TypeId::DateTime ? 3 : 0;
    };
    if (r.IsPreciseTime()) r.scale = static_cast<uint8_t>(std::max(digits(a), digits(b)));
    return r;
  }
  if (a.IsString() && b.IsString()) return StringResult(a, b, false);
  if (a.IsString()) return b;
  if (b.IsString()) return a;
  if (a.IsDateTime() || b.IsDateTime()) {
    if (a.IsDateTime() && b.IsDateTime()) return Rank(a.id) >= Rank(b.id) ? a : b;
    return a.IsDateTime() ? a : b;
  }
  if (a.id == b.id && a.id != TypeId::Decimal) return a;
  return NumericCommon(a, b);
}

SqlType UnionType(const SqlType& a, const SqlType& b) { return CommonType(a, b); }

SqlType AggregateType(std::string_view name, const SqlType& argument) {
  if (name == "COUNT") return SqlType::Int();
  if (name == "COUNT_BIG") return SqlType::BigInt();
  if (name == "MIN" || name == "MAX") return argument;
  bool sum = name == "SUM";
  const bool statistic = name == "STDEV" || name == "STDEVP" || name == "VAR" || name == "VARP";
  std::string opname = sum ? "sum" : "avg";
  if (statistic) {
    opname.clear();
    for (char c : name) opname += static_cast<char>(c - 'A' + 'a');
  }
  const SqlType& t = argument;
  if (t.IsString() || t.IsDateTime() || t.id == TypeId::Bit || t.id == TypeId::Null ||
      t.IsBinary() || t.id == TypeId::UniqueIdentifier || t.id == TypeId::SqlVariant) {
    OperandInvalid(t, opname);
  }
  if (statistic) return SqlType::Float();
  switch (t.id) {
    case TypeId::TinyInt:
    case TypeId::SmallInt:
    case TypeId::Int:
      return SqlType::Int();
    case TypeId::BigInt:
      return SqlType::BigInt();
    case TypeId::Decimal:
      return SqlType::Decimal(dec::kMaxPrecision, sum ? t.scale : std::max<int>(t.scale, 6));
    case TypeId::Money:
      return SqlType::Money();
    default:
      return SqlType::Float();
  }
}

SqlType LiteralType(LiteralKind kind, std::string_view text) {
  switch (kind) {
    case LiteralKind::Null:
      return SqlType::Null();
    case LiteralKind::Integer: {
      size_t i = 0;
      while (i + 1 < text.size() && text[i] == '0') ++i;
      std::string_view digits = text.substr(i);
      if (digits.size() < 10 || (digits.size() == 10 && digits <= "2147483647")) {
        return SqlType::Int();
      }
      if (digits.size() > 38) ThrowError(1007, {std::string(text)});
      return SqlType::Decimal(static_cast<int>(digits.size()), 0);
    }
    case LiteralKind::Decimal: {
      size_t point = text.find('.');
      std::string_view whole = point == std::string_view::npos ? text : text.substr(0, point);
      std::string_view frac = point == std::string_view::npos ? "" : text.substr(point + 1);
      size_t i = 0;
      while (i < whole.size() && whole[i] == '0') ++i;
      int integral = static_cast<int>(whole.size() - i);
      int scale = static_cast<int>(frac.size());
      int precision = std::max(integral + scale, 1);
      if (precision > 38) ThrowError(1007, {std::string(text)});
      return SqlType::Decimal(precision, scale);
    }
    case LiteralKind::Float:
      return SqlType::Float();
    case LiteralKind::Money:
      return SqlType::Money();
    case LiteralKind::String:
      return SqlType::VarChar(
          std::max<int32_t>(1, static_cast<int32_t>(util::StoredLength(text, false))));
    case LiteralKind::NString:
      return SqlType::NVarChar(std::max<int32_t>(1, static_cast<int32_t>(util::Utf16Units(text))));
    case LiteralKind::Binary:
      // "0x0AFF": two hex digits a byte, an odd leading digit standing alone.
      return SqlType::VarBinary(std::max<int32_t>(1, static_cast<int32_t>(text.size() - 1) / 2));
  }
  return SqlType::Null();
}

Value LiteralValue(LiteralKind kind, std::string_view text) {
  switch (kind) {
    case LiteralKind::Null:
      return Value::Null();
    case LiteralKind::Integer:
    case LiteralKind::Decimal: {
      SqlType t = LiteralType(kind, text);
      if (t.id == TypeId::Int)
        return Value::Int(std::strtoll(std::string(text).c_str(), nullptr, 10));
      Int128 v = 0;
      dec::Parse(text, t.precision, t.scale, v);
      return Value::Decimal(v, t.scale);
    }
    case LiteralKind::Float: {
      double d = std::strtod(std::string(text).c_str(), nullptr);
      if (!std::isfinite(d)) ThrowError(168, {std::string(text)});
      return Value::Float(d);
    }
    case LiteralKind::Money: {
      std::string digits;
      for (char c : text) {
        if (c != '$' && c != ',') digits.push_back(c);
      }
      Int128 v = 0;
      if (dec::Parse(digits, 19, 4, v) != dec::ParseStatus::kOk) {
        ThrowError(8115, {"expression", "money"});
      }
      return Value::Decimal(v, 4);
    }
    case LiteralKind::String:
    case LiteralKind::NString:
      return Value::String(text);
    case LiteralKind::Binary: {
      std::string bytes;
      std::string_view hex = text.substr(2);
      auto nibble = [](char c) {
        return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
      };
      size_t i = 0;
      if (hex.size() % 2 == 1) bytes.push_back(static_cast<char>(nibble(hex[i++])));
      for (; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(nibble(hex[i]) * 16 + nibble(hex[i + 1])));
      }
      return Value::String(bytes);
    }
  }
  return Value::Null();
}

Collation CollationFromName(std::string_view name) {
  std::string upper;
  for (char c : name) upper.push_back(util::AsciiUpper(c));
  if (upper.find("_BIN") != std::string::npos) return Collation::kBin2;
  if (upper.find("_CS_") != std::string::npos || upper.ends_with("_CS")) return Collation::kCsAs;
  if (upper.find("_CI_") != std::string::npos || upper.ends_with("_CI")) return Collation::kCiAs;
  if (upper == "DATABASE_DEFAULT") return Collation::kCiAs;
  ThrowError(448, {std::string(name)});
}

std::string_view CollationName(Collation c) {
  switch (c) {
    case Collation::kCsAs:
      return "Chinese_PRC_CS_AS";
    case Collation::kBin2:
      return "Chinese_PRC_BIN2";
    default:
      return "Chinese_PRC_CI_AS";
  }
}

SqlType TypeFromName(const TypeName& name, bool in_cast) {
  SqlType t = TypeFromNameOnly(name, in_cast);
  if (!name.collation.empty()) {
    if (!t.IsString()) ThrowError(447, {std::string(t.MessageName())});
    t.collation = CollationFromName(name.collation);
  }
  return t;
}

SqlType TypeFromNameOnly(const TypeName& name, bool in_cast) {
  const std::string& n = name.name;
  auto length_of = [&](TypeId id, int32_t max_length) {
    SqlType t{id};
    if (name.max) {
      t.length = SqlType::kMaxLength;
    } else if (name.precision < 0) {
      t.length = in_cast ? 30 : 1;
    } else {
      if (name.precision > max_length) {
        ThrowError(131, {std::to_string(name.precision), n, std::to_string(max_length)});
      }
      t.length = std::max(name.precision, 1);
    }
    return t;
  };
  if (n == "bit") return SqlType::Bit();
  if (n == "tinyint") return SqlType::TinyInt();
  if (n == "smallint") return SqlType::SmallInt();
  if (n == "int" || n == "integer") return SqlType::Int();
  if (n == "bigint") return SqlType::BigInt();
  if (n == "money" || n == "smallmoney") return SqlType::Money();
  if (n == "real") return SqlType::Real();
  if (n == "float") {
    return name.precision > 0 && name.precision <= 24 ? SqlType::Real() : SqlType::Float();
  }
  if (n == "decimal" || n == "numeric" || n == "dec") {
    int p = name.precision < 0 ? 18 : name.precision;
    int s = name.scale < 0 ? 0 : name.scale;
    if (p > 38 || p < 1) ThrowError(2750, {"1", std::to_string(p)});
    if (s > p) ThrowError(2750, {"1", std::to_string(p)});
    return SqlType::Decimal(p, s);
  }
  if (n == "datetime") return SqlType::DateTime();
  if (n == "datetime2" || n == "time" || n == "datetimeoffset") {
    int scale = name.precision < 0 ? 7 : name.precision;
    if (scale > 7) ThrowError(1002, {std::to_string(scale), n});
    return n == "time"        ? SqlType::Time(scale)
           : n == "datetime2" ? SqlType::DateTime2(scale)
                              : SqlType::DateTimeOffset(scale);
  }
  if (n == "binary") return length_of(TypeId::Binary, 8000);
  if (n == "varbinary") return length_of(TypeId::VarBinary, 8000);
  if (n == "uniqueidentifier") return SqlType::UniqueIdentifier();
  if (n == "sql_variant") return SqlType::SqlVariant();
  if (n == "smalldatetime") return SqlType::SmallDateTime();
  if (n == "date") return SqlType::Date();
  if (n == "char" || n == "character") return length_of(TypeId::Char, 8000);
  if (n == "varchar") return length_of(TypeId::VarChar, 8000);
  if (n == "nchar") return length_of(TypeId::NChar, 4000);
  if (n == "nvarchar") return length_of(TypeId::NVarChar, 4000);
  if (n == "sysname") return SqlType::NVarChar(128);
  if (n == "text") return {TypeId::Text, 0, 0, SqlType::kMaxLength};
  if (n == "ntext") return {TypeId::NText, 0, 0, SqlType::kMaxLength};
  ThrowError(243, {n});
}

}  // namespace orv::tsql
