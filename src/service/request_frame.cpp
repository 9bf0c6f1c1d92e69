// The frame table of the Data class.
#include "service/request_frame.h"

#include "automation/error.h"

namespace orv::service {

namespace {

using enum Operation;
using C = ConnectionTaken;
using F = FailurePath;
using H = Handler;
using S = Signal;

constexpr int32_t kUnitError = -1;
constexpr int32_t kAlarmReportError = -1;

// clang-format off
constexpr FrameRow kFrame[] = {
  // operation            name                    handler          start             connection              success           failure        path                number               suffix
  {kTransMode,            "TransMode",            H::kNone,        S::kNone,         C::kNone,               S::kNone,         S::kNone,      F::kPropagate,      0,                   ""},
  {kGetCurrencyScale,     "GetCurrencyScale",     H::kAfterSignal, S::kMarkComplete, C::kConnection,         S::kNone,         S::kNone,      F::kReraise,        0,                   ""},
  {kGetData,              "GetData",              H::kArmed,       S::kMarkComplete, C::kConnection,         S::kNone,         S::kNone,      F::kServiceError,   kServiceErrorNumber, "GetData"},
  {kGetItemMaxLevel,      "GetItemMaxLevel",      H::kArmed,       S::kMarkComplete, C::kConnection,         S::kNone,         S::kNone,      F::kServiceError,   kServiceErrorNumber, "::GetItemMaxLevel"},
  {kGetItemPropDesc,      "GetItemPropDesc",      H::kArmed,       S::kMarkComplete, C::kLanguageConnection, S::kNone,         S::kNone,      F::kServiceError,   kServiceErrorNumber, "::GetItemPropDesc"},
  {kGetRpt401Data,        "GetRpt401Data",        H::kArmed,       S::kMarkComplete, C::kConnection,         S::kNone,         S::kNone,      F::kServiceError,   kServiceErrorNumber, "::GetRpt401Data"},
  {kGetRpt400Data,        "GetRpt400Data",        H::kArmed,       S::kNone,         C::kConnection,         S::kNone,         S::kNone,      F::kServiceError,   kServiceErrorNumber, "::GetRpt400Data"},
  {kGetRpt406Data,        "GetRpt406Data",        H::kArmed,       S::kNone,         C::kConnection,         S::kNone,         S::kNone,      F::kServiceError,   kServiceErrorNumber, "::GetRpt406Data"},
  {kGetRpt410Data,        "GetRpt410Data",        H::kArmed,       S::kNone,         C::kConnection,         S::kNone,         S::kNone,      F::kServiceError,   kAlarmReportError,   "::GetRpt410Data"},
  {kGet498HappenData,     "Get498HappenData",     H::kArmed,       S::kMarkAbort,    C::kConnection,         S::kMarkComplete, S::kMarkAbort, F::kServiceError,   kServiceErrorNumber, "Get498HappenData"},
  {kGet499HappenData,     "Get499HappenData",     H::kArmed,       S::kMarkAbort,    C::kConnection,         S::kMarkComplete, S::kMarkAbort, F::kServiceError,   kServiceErrorNumber, "Get499HappenData"},
  {kGetLastPeriod,        "GetLastPeriod",        H::kNone,        S::kNone,         C::kLookupConnection,   S::kNone,         S::kNone,      F::kPropagate,      0,                   ""},
  {kGetCurDate,           "GetCurDate",           H::kNone,        S::kNone,         C::kLookupConnection,   S::kNone,         S::kNone,      F::kPropagate,      0,                   ""},
  {kGetMaxPeriod,         "GetMaxPeriod",         H::kArmed,       S::kNone,         C::kNone,               S::kNone,         S::kNone,      F::kReturnDefault,  0,                   ""},
  {kChangeUnitCoeffcient, "ChangeUnitCoeffcient", H::kArmed,       S::kNone,         C::kLookupUnlessGiven,  S::kNone,         S::kNone,      F::kNumberAsSource, kUnitError,          ""},
  {kGetDecimal,           "GetDecimal",           H::kNone,        S::kNone,         C::kLookupConnection,   S::kNone,         S::kNone,      F::kPropagate,      0,                   ""},
  {kPackageRecordset,     "PackageRecordset",     H::kNone,        S::kNone,         C::kNone,               S::kNone,         S::kNone,      F::kPropagate,      0,                   ""},
  {kPackageRecord,        "PackageRecord",        H::kNone,        S::kNone,         C::kNone,               S::kNone,         S::kNone,      F::kPropagate,      0,                   ""},
};
// clang-format on

}  // namespace

const FrameRow& FrameRowFor(Operation operation) {
  for (const FrameRow& row : kFrame) {
    if (row.operation == operation) return row;
  }
  automation::Raise(automation::err::kInvalidProcedureCall, "OrvVAduzAvu.Data",
                    "Operation without a frame row");
}

std::span<const FrameRow> FrameTable() { return std::span<const FrameRow>(kFrame); }

}  // namespace orv::service
