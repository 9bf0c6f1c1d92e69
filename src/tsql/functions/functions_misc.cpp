// CONCAT, CONCAT_WS, CHOOSE, NEWID, SQL_VARIANT_PROPERTY, CHECKSUM and HASHBYTES.
#include <algorithm>
#include <cctype>
#include <random>
#include <string>

#include <openssl/evp.h>

#include "tsql/functions/functions_common.h"
#include "tsql/types/collation.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"
#include "tsql/types/value_util.h"

namespace orv::tsql::fn {
namespace {

// CONCAT's type: nvarchar when any argument is unicode; the lengths add up (a non-string
// argument counts 30), capped at 8000 bytes / 4000 characters, or (max) when one is.
SqlType ConcatType(Types t, size_t from) {
  bool unicode = false, max = false;
  int64_t length = 0;
  for (size_t i = from; i < t.size(); ++i) {
    unicode = unicode || t[i].IsUnicode();
    if ((t[i].IsString() || t[i].IsBinary()) && t[i].length == SqlType::kMaxLength) max = true;
    length += t[i].IsString() || t[i].IsBinary() ? t[i].length : 30;
  }
  int32_t cap = unicode ? 4000 : 8000;
  int32_t n = max ? SqlType::kMaxLength
                  : static_cast<int32_t>(std::clamp<int64_t>(length, 1, cap));
  return unicode ? SqlType::NVarChar(n) : SqlType::VarChar(n);
}

SqlType ConcatResult(Types t) {
  if (t.size() < 2) ThrowError(189, {"concat", "2", "254"});
  return ConcatType(t, 0);
}

SqlType ConcatWsResult(Types t) {
  if (t.size() < 3) ThrowError(189, {"concat_ws", "3", "254"});
  SqlType r = ConcatType(t, 1);
  if (r.length != SqlType::kMaxLength && t[0].IsString() && t[0].length != SqlType::kMaxLength) {
    int32_t cap = r.IsUnicode() ? 4000 : 8000;
    r.length = std::min<int32_t>(cap, r.length + t[0].length * static_cast<int32_t>(t.size() - 2));
  }
  return r;
}

Value Fit(std::string text, const SqlType& result) {
  if (result.length != SqlType::kMaxLength) {
    text.resize(util::PrefixForLength(text, static_cast<size_t>(result.length), result.IsUnicode()));
  }
  return Value::String(text);
}

// NULL arguments count as empty strings.
Value Concat(Args a, Types t, const SqlType& result) {
  std::string out;
  for (size_t i = 0; i < a.size(); ++i) {
    if (!a[i].is_null()) out += TextOf(a[i], t[i]);
  }
  return Fit(std::move(out), result);
}

// The separator goes between the non-NULL arguments only.
Value ConcatWs(Args a, Types t, const SqlType& result) {
  std::string sep = a[0].is_null() ? "" : TextOf(a[0], t[0]);
  std::string out;
  bool first = true;
  for (size_t i = 1; i < a.size(); ++i) {
    if (a[i].is_null()) continue;
    if (!first) out += sep;
    out += TextOf(a[i], t[i]);
    first = false;
  }
  return Fit(std::move(out), result);
}

// CHOOSE(index, v1, v2, ...): the type of highest precedence among the values.
SqlType ChooseType(Types t) {
  if (t.size() < 2) ThrowError(189, {"choose", "2", "254"});
  SqlType r = SqlType::Null();
  for (size_t i = 1; i < t.size(); ++i) r = CommonType(r, t[i]);
  return r.id == TypeId::Null ? SqlType::Int() : r;
}

Value Choose(Args a, Types t, const SqlType& result) {
  if (a[0].is_null()) return Value::Null();
  int64_t i = IntOf(a[0], t[0]);
  if (i < 1 || i >= static_cast<int64_t>(a.size())) return Value::Null();
  size_t k = static_cast<size_t>(i);
  return Convert(a[k], t[k], result, CastMode::Implicit);
}

// A version 4 (random) GUID.
Value NewId(Args, Types, const SqlType&) {
  thread_local std::mt19937_64 random{std::random_device{}()};
  uint64_t hi = random(), lo = random();
  std::string bytes(16, '\0');
  for (int i = 0; i < 8; ++i) {
    bytes[static_cast<size_t>(i)] = static_cast<char>(hi >> (8 * i));
    bytes[static_cast<size_t>(8 + i)] = static_cast<char>(lo >> (8 * i));
  }
  bytes[7] = static_cast<char>((bytes[7] & 0x0F) | 0x40);  // version 4 (stored byte order)
  bytes[8] = static_cast<char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return Value::String(bytes);
}

SqlType GuidType(Types) { return SqlType::UniqueIdentifier(); }

// Storage bytes of a base type, as SQL_VARIANT_PROPERTY's TotalBytes and MaxLength tell them.
int64_t MaxLengthOf(const SqlType& t) {
  if (t.IsString() || t.IsBinary()) {
    if (t.length == SqlType::kMaxLength) return -1;
    return t.IsUnicode() ? 2 * int64_t{t.length} : t.length;
  }
  if (t.id == TypeId::UniqueIdentifier) return 16;
  // The largest a value of the type can take: at its greatest scale and precision.
  SqlType widest = t;
  widest.scale = 7;
  widest.precision = 38;
  return FixedSize(widest);
}

// SQL_VARIANT_PROPERTY(expression, property): BaseType, Precision, Scale, TotalBytes,
// Collation, MaxLength. The base type is the argument's own type (for a sql_variant value, the
// type its value has).
Value VariantProperty(Args a, Types t, const SqlType&) {
  if (a[0].is_null() || a[1].is_null()) return Value::Null();
  SqlType base = t[0].id == TypeId::SqlVariant ? VariantBaseType(a[0]) : t[0];
  std::string property = TextOf(a[1], t[1]);
  for (char& c : property) c = util::AsciiLower(c);
  if (property == "basetype") {
    std::string_view name = base.id == TypeId::Decimal ? "decimal" : base.MessageName();
    if (base.id == TypeId::Money && base.precision == 10) name = "smallmoney";
    return Value::String(name);
  }
  if (property == "precision") {
    switch (base.id) {
      case TypeId::Decimal:
        return Value::Int(base.precision);
      case TypeId::Money:
        return Value::Int(19);
      case TypeId::BigInt:
        return Value::Int(19);
      case TypeId::Int:
        return Value::Int(10);
      case TypeId::SmallInt:
        return Value::Int(5);
      case TypeId::TinyInt:
        return Value::Int(3);
      case TypeId::Bit:
        return Value::Int(1);
      case TypeId::Float:
        return Value::Int(53);
      case TypeId::Real:
        return Value::Int(24);
      case TypeId::DateTime:
        return Value::Int(23);
      case TypeId::SmallDateTime:
        return Value::Int(16);
      case TypeId::Date:
        return Value::Int(10);
      case TypeId::Time:
        return Value::Int(base.scale == 0 ? 8 : 9 + base.scale);
      case TypeId::DateTime2:
        return Value::Int(base.scale == 0 ? 19 : 20 + base.scale);
      case TypeId::DateTimeOffset:
        return Value::Int(base.scale == 0 ? 26 : 27 + base.scale);
      default:
        return Value::Int(0);
    }
  }
  if (property == "scale") {
    if (base.id == TypeId::Decimal || base.IsPreciseTime()) return Value::Int(base.scale);
    if (base.id == TypeId::Money) return Value::Int(4);
    if (base.id == TypeId::DateTime) return Value::Int(3);
    return Value::Int(0);
  }
  if (property == "totalbytes") {
    int64_t data = base.IsString() || base.IsBinary()
                       ? static_cast<int64_t>(a[0].kind() == Value::Kind::String
                                                  ? (base.IsUnicode()
                                                         ? 2 * util::Utf16Units(a[0].string_value())
                                                         : a[0].string_value().size())
                                                  : 0)
                       : MaxLengthOf(base);
    // The header: 2 bytes, and the base type's own properties (precision, scale, collation).
    int64_t header = base.IsString() ? 9 : base.id == TypeId::Decimal ? 5 : 2;
    return Value::Int(data + header);
  }
  if (property == "collation") {
    if (!base.IsString()) return Value::Null();
    return Value::String(base.collation == Collation::kCsAs   ? "Chinese_PRC_CS_AS"
                         : base.collation == Collation::kBin2 ? "Chinese_PRC_BIN2"
                                                              : "Chinese_PRC_CI_AS");
  }
  if (property == "maxlength") return Value::Int(MaxLengthOf(base));
  return Value::Null();
}

SqlType VariantPropertyType(Types) { return SqlType::SqlVariant(); }

// xml.value(path, type) for the paths that stand for the whole document ('.', '(.)[1]',
// '(./text())[1]', '/'): its text with the markup taken out and the entities decoded, as the
// idiom (SELECT ... FOR XML PATH(''), TYPE).value('.', 'nvarchar(max)') uses it.
SqlType XmlValueType(Types) { return SqlType::NVarChar(SqlType::kMaxLength); }
Value XmlValue(Args a, Types, const SqlType&) {
  if (a[0].is_null()) return Value::Null();
  const std::string_view path = a[1].is_null() ? std::string_view() : a[1].string_value();
  if (path != "." && path != "(.)[1]" && path != "(./text())[1]" && path != "/" &&
      path != "(/)[1]") {
    ThrowError(2389);
  }
  const std::string_view xml = a[0].string_value();
  std::string out;
  out.reserve(xml.size());
  for (size_t i = 0; i < xml.size(); ++i) {
    const char c = xml[i];
    if (c == '<') {
      const size_t end = xml.find('>', i);
      if (end == std::string_view::npos) break;
      i = end;
      continue;
    }
    if (c != '&') {
      out.push_back(c);
      continue;
    }
    const size_t end = xml.find(';', i);
    if (end == std::string_view::npos) {
      out.push_back(c);
      continue;
    }
    const std::string_view entity = xml.substr(i + 1, end - i - 1);
    if (entity == "amp") {
      out.push_back('&');
    } else if (entity == "lt") {
      out.push_back('<');
    } else if (entity == "gt") {
      out.push_back('>');
    } else if (entity == "quot") {
      out.push_back('"');
    } else if (entity == "apos") {
      out.push_back('\'');
    } else if (entity.size() > 1 && entity[0] == '#') {
      const bool hex = entity[1] == 'x' || entity[1] == 'X';
      const std::string digits(entity.substr(hex ? 2 : 1));
      char32_t cp = 0;
      try {
        cp = static_cast<char32_t>(std::stoul(digits, nullptr, hex ? 16 : 10));
      } catch (const std::exception&) {
        out.append(xml.substr(i, end - i + 1));
        i = end;
        continue;
      }
      coll::AppendUtf8(out, cp);
    } else {
      out.append(xml.substr(i, end - i + 1));
    }
    i = end;
  }
  return Value::String(out);
}

// CHECKSUM(expr, ...): an int hash of the arguments. Values equal under the engine's
// collation ('Abc ' and 'ABC') give equal checksums, as a hash index over them needs; the
// numbers are this engine's own and only comparable with other checksums it computed.
Value Checksum(Args a, Types t, const SqlType&) {
  uint64_t h = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    h = h * 0x100000001b3ULL ^ static_cast<uint64_t>(Hash(a[i], t[i]));
  }
  return Value::Int(static_cast<int32_t>(static_cast<uint32_t>(h ^ (h >> 32))));
}

// HASHBYTES(algorithm, input): the digest of the input's bytes as CAST(input AS varbinary)
// gives them (UTF-16 for nvarchar); NULL for NULL input or an algorithm it does not name.
SqlType HashType(Types) { return SqlType::VarBinary(8000); }
Value HashBytes(Args a, Types t, const SqlType&) {
  if (a[0].is_null() || a[1].is_null()) return Value::Null();
  std::string algorithm;
  for (char c : ToText(a[0], t[0])) algorithm += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const EVP_MD* md = algorithm == "MD5"                        ? EVP_md5()
                     : algorithm == "SHA" || algorithm == "SHA1" ? EVP_sha1()
                     : algorithm == "SHA2_256"                   ? EVP_sha256()
                     : algorithm == "SHA2_512"                   ? EVP_sha512()
                                                                 : nullptr;
  if (!md) return Value::Null();
  const Value bytes = Convert(a[1], t[1], SqlType::VarBinary(SqlType::kMaxLength), CastMode::Implicit);
  const std::string_view input = bytes.string_value();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(input.data(), input.size(), digest, &length, md, nullptr) != 1) return Value::Null();
  return Value::String(std::string_view(reinterpret_cast<const char*>(digest), length));
}

constexpr ScalarFunction kMiscFunctions[] = {
    {"CONCAT", 1, 254, ConcatResult, Concat},
    {"CONCAT_WS", 1, 254, ConcatWsResult, ConcatWs},
    {"CHOOSE", 1, 254, ChooseType, Choose},
    {"NEWID", 0, 0, GuidType, NewId},
    {"SQL_VARIANT_PROPERTY", 2, 2, VariantPropertyType, VariantProperty},
    {"$XML_VALUE", 2, 2, XmlValueType, XmlValue},
    {"CHECKSUM", 1, 254, IntType, Checksum},
    {"HASHBYTES", 2, 2, HashType, HashBytes},
};

}  // namespace

std::span<const ScalarFunction> MiscFunctions() { return kMiscFunctions; }

}  // namespace orv::tsql::fn
