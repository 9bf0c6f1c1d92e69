// The Variant value itself: construction, type and typed access.
#include "automation/variant.h"

#include <utility>

#include "automation/error.h"
#include "automation/number_text.h"

namespace orv::automation {

// The alternatives of v_ are declared in the order of VarType.
static_assert(static_cast<int>(VarType::Object) == 9);

Variant Variant::Null() {
  Variant v;
  v.v_ = NullTag{};
  return v;
}

Variant::Variant(bool b) : v_(b) {}
Variant::Variant(int16_t i) : v_(i) {}
Variant::Variant(int32_t l) : v_(l) {}
Variant::Variant(double d) : v_(d) {}
Variant::Variant(DecimalValue d) : v_(d) {}
Variant::Variant(DateValue d) : v_(d) {}
Variant::Variant(std::string s) : v_(std::move(s)) {}
Variant::Variant(std::string_view s) : v_(std::string(s)) {}
Variant::Variant(const char* s) : v_(std::string(s ? s : "")) {}
Variant::Variant(ObjectRef o) : v_(std::move(o)) {}

VarType Variant::type() const { return static_cast<VarType>(v_.index()); }

bool Variant::IsNumeric() const {
  switch (type()) {
    case VarType::Boolean:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Double:
    case VarType::Decimal:
      return true;
    case VarType::String:
      return internal::ParseNumericText(std::get<std::string>(v_)).has_value();
    default:
      return false;
  }
}

namespace {

template <class T, class V>
const T& Get(const V& v) {
  const T* value = std::get_if<T>(&v);
  if (!value) Raise(err::kTypeMismatch);
  return *value;
}

}  // namespace

bool Variant::AsBoolean() const { return Get<bool>(v_); }
int16_t Variant::AsInteger() const { return Get<int16_t>(v_); }
int32_t Variant::AsLong() const { return Get<int32_t>(v_); }
double Variant::AsDouble() const { return Get<double>(v_); }
const DecimalValue& Variant::AsDecimal() const { return Get<DecimalValue>(v_); }
const DateValue& Variant::AsDate() const { return Get<DateValue>(v_); }
const std::string& Variant::AsString() const { return Get<std::string>(v_); }
const ObjectRef& Variant::AsObject() const { return Get<ObjectRef>(v_); }

}  // namespace orv::automation
