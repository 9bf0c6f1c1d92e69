#include "reports/conditions.h"

#include "sqltext/quote.h"

namespace orv::reports {

using automation::Dictionary;
using automation::Variant;

bool IsGiven(const Variant& value) {
  return !value.IsNull() && !automation::EqualsText(value, "");
}

const char* NumberColumn(bool long_number) { return long_number ? "FNumber" : "FShortNumber"; }

bool ReadLongNumber(const Dictionary& filter) {
  return automation::CBool(filter.Item("bLongNumber"));
}

std::string QuotedItem(const Dictionary& filter, std::string_view key) {
  return sqltext::Q(automation::CStr(filter.Item(key)));
}

std::string QuotedDate(const Dictionary& filter, std::string_view key) {
  return sqltext::Q(automation::Format(filter.Item(key), "YYYY-MM-DD"));
}

void AppendIfValue(std::string& out, const Dictionary& filter, std::string_view key,
                   std::string_view prefix) {
  if (!IsGiven(filter.GetValue(key, Variant(""))))
    return;
  out.append(prefix);
  out.append(QuotedItem(filter, key));
}

void AppendIfItem(std::string& out, const Dictionary& filter, std::string_view key,
                  std::string_view prefix) {
  if (!IsGiven(filter.Item(key)))
    return;
  out.append(prefix);
  out.append(QuotedItem(filter, key));
}

void AppendDate(std::string& out, const Dictionary& filter, std::string_view key,
                std::string_view prefix) {
  out.append(prefix);
  out.append(QuotedDate(filter, key));
}

void AppendDateIfValue(std::string& out, const Dictionary& filter, std::string_view key,
                       std::string_view prefix) {
  if (!IsGiven(filter.GetValue(key, Variant(""))))
    return;
  AppendDate(out, filter, key, prefix);
}

void AppendLikeIfValue(std::string& out, const Dictionary& filter, std::string_view key,
                       std::string_view prefix) {
  if (!IsGiven(filter.GetValue(key, Variant(""))))
    return;
  out.append(prefix);
  out.append(sqltext::Q("%" + automation::CStr(filter.Item(key)) + "%"));
}

void AppendStatusSwitch(std::string& out, const Dictionary& filter, std::string_view key,
                        const std::vector<StatusCase>& cases, std::string_view otherwise) {
  const Variant value = filter.GetValue(key, Variant(int32_t{0}));
  for (const StatusCase& c : cases) {
    if (automation::EqualsInteger(value, c.value)) {
      out.append(c.fragment);
      return;
    }
  }
  out.append(otherwise);
}

bool IntegerKeyEquals(const Dictionary& filter, std::string_view key, int n) {
  return automation::EqualsInteger(filter.GetValue(key, Variant(int32_t{0})), n);
}

}  // namespace orv::reports
