// The request frame of the Data class as data: per public operation, whether it has a failure
// handler (and when it is armed), the broker signal given at the start and on success, which
// connection it takes, and its failure path with the error number and Source suffix. The
// runner in Data applies a row around each operation's body.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "ado/connection.h"

namespace orv::service {

enum class Operation {
  kTransMode,
  kGetCurrencyScale,
  kGetData,
  kGetItemMaxLevel,
  kGetItemPropDesc,
  kGetRpt401Data,
  kGetRpt400Data,
  kGetRpt406Data,
  kGetRpt410Data,
  kGet498HappenData,
  kGet499HappenData,
  kGetLastPeriod,
  kGetCurDate,
  kGetMaxPeriod,
  kChangeUnitCoeffcient,
  kGetDecimal,
  kPackageRecordset,
  kPackageRecord,
};

enum class Handler {
  kNone,         // failures reach the caller unchanged
  kArmed,        // armed before the start signal
  kAfterSignal,  // armed after the start signal (a failing signal reaches the caller)
};

enum class Signal { kNone, kMarkComplete, kMarkAbort };

enum class ConnectionTaken {
  kNone,                // no data source is bound
  kConnection,          // BindDataSource, then the broker's Connection
  kLanguageConnection,  // BindDataSource, the broker context's Language (a fresh GetContext),
                        // then the broker's Connection
  kLookupConnection,    // BindDataSource, then the broker's LookupConnection
  kLookupUnlessGiven,   // as kLookupConnection, only when the caller passed no connection
};

enum class FailurePath {
  kPropagate,       // no handler
  kReraise,         // release locals, raise the underlying error with all its fields
  kServiceError,    // Source = LoadMessage(service name) + suffix, Description of the failure
  kNumberAsSource,  // Source = the underlying error number as text, Description of the failure
  kReturnDefault,   // swallow the failure; the operation returns its default
};

struct FrameRow {
  Operation operation;
  std::string_view name;
  Handler handler;
  Signal at_start;
  ConnectionTaken connection;
  Signal on_success;
  Signal on_failure;  // given before the error is raised
  FailurePath failure;
  int32_t error_number;     // for kServiceError and kNumberAsSource
  std::string_view suffix;  // appended to the loaded service name (kServiceError)
};

inline constexpr int32_t kServiceErrorNumber = -7000;

// The row of an operation.
const FrameRow& FrameRowFor(Operation operation);

// Every row, in interface order.
std::span<const FrameRow> FrameTable();

// Handed to an operation's body by the runner: the connection the frame took (nullptr when the
// row takes none or the caller gave its own), the broker context's language read by a
// kLanguageConnection frame ("" otherwise), and the success signal, which a body may give in
// the middle of its work; the runner gives it after the body otherwise. It is given once.
class FrameScope {
 public:
  FrameScope(std::shared_ptr<ado::Connection> connection, std::string language,
             std::function<void()> signal_success)
      : connection_(std::move(connection)),
        language_(std::move(language)),
        signal_success_(std::move(signal_success)) {}
  const std::shared_ptr<ado::Connection>& connection() const { return connection_; }
  const std::string& language() const { return language_; }
  void ReleaseConnection() { connection_.reset(); }
  void SignalSuccess() {
    if (signalled_) return;
    signalled_ = true;
    if (signal_success_) signal_success_();
  }

 private:
  std::shared_ptr<ado::Connection> connection_;
  std::string language_;
  std::function<void()> signal_success_;
  bool signalled_ = false;
};

}  // namespace orv::service
