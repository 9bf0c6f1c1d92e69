// Date functions: YEAR, MONTH, DAY, DATEPART, DATEDIFF, DATEADD. The datepart keyword comes
// as the first argument, a varchar value.
#include <cmath>
#include <limits>

#include "tsql/functions/functions_common.h"
#include "tsql/types/datetime.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql::fn {
namespace {

dt::DatePart PartOf(const Value& v, const char* function) {
  std::string_view name = v.kind() == Value::Kind::String ? v.string_value() : "";
  auto part = dt::ParseDatePart(name);
  if (!part) ThrowError(155, {std::string(name), function});
  return *part;
}

template <dt::DatePart kPart>
Value PartFunction(Args a, Types t, const SqlType&) {
  if (a[0].is_null()) return Value::Null();
  return Value::Int(dt::Part(kPart, TicksOf(a[0], t[0])));
}

Value DatePartFn(Args a, Types t, const SqlType&) {
  dt::DatePart part = PartOf(a[0], "datepart");
  if (a[1].is_null()) return Value::Null();
  return Value::Int(dt::Part(part, TicksOf(a[1], t[1])));
}

Value DateDiff(Args a, Types t, const SqlType&) {
  dt::DatePart part = PartOf(a[0], "datediff");
  if (a[1].is_null() || a[2].is_null()) return Value::Null();
  int64_t r = dt::Diff(part, TicksOf(a[1], t[1]), TicksOf(a[2], t[2]));
  if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max()) {
    ThrowError(535);
  }
  return Value::Int(r);
}

Value DateAdd(Args a, Types t, const SqlType& result) {
  dt::DatePart part = PartOf(a[0], "dateadd");
  if (a[1].is_null() || a[2].is_null()) return Value::Null();
  int64_t n = IntOf(a[1], t[1]);  // a fraction is truncated
  auto r = dt::Add(part, n, TicksOf(a[2], t[2]));
  if (!r) ThrowError(517, {std::string(result.MessageName())});
  if (result.id == TypeId::Date || result.id == TypeId::SmallDateTime) {
    return Convert(Value::DateTime(*r), SqlType::DateTime(), result, CastMode::Implicit);
  }
  return Value::DateTime(*r);
}

SqlType IntType(Types) { return SqlType::Int(); }
SqlType DateAddType(Types t) {
  if (t.size() > 2 && t[2].IsDateTime()) return t[2];
  return SqlType::DateTime();
}

constexpr ScalarFunction kDateFunctions[] = {
    {"YEAR", 1, 1, IntType, PartFunction<dt::DatePart::kYear>},
    {"MONTH", 1, 1, IntType, PartFunction<dt::DatePart::kMonth>},
    {"DAY", 1, 1, IntType, PartFunction<dt::DatePart::kDay>},
    {"DATEPART", 2, 2, IntType, DatePartFn},
    {"DATEDIFF", 3, 3, IntType, DateDiff},
    {"DATEADD", 3, 3, DateAddType, DateAdd},
};

}  // namespace

std::span<const ScalarFunction> DateFunctions() { return kDateFunctions; }

}  // namespace orv::tsql::fn
