// The Data object's life, BindDataSource, and the runner that applies the frame table.
#include "service/data.h"

#include <string>
#include <utility>

#include "automation/error.h"
#include "automation/factory.h"
#include "service/deref.h"
#include "service/load_message.h"
#include "service/resource_loader.h"
#include "lookups/system_profile.h"

namespace orv::service {

Data::Data() {
  broker_ = OrvGlobal::ForThread().ConnectionBroker();
  context_ = broker_->GetContext();
}

Data::~Data() {
  broker_.reset();
  context_.reset();
}

bool Data::BindDataSource(const std::string& sDsn) {
  broker_ = OrvGlobal::ForThread().ConnectionBroker();
  broker_->OpenDataSource(sDsn);
  context_ = broker_->GetContext();
  return false;
}

void Data::GiveSignal(Signal signal) {
  switch (signal) {
    case Signal::kNone:
      return;
    case Signal::kMarkComplete:
      broker_->MarkComplete();
      return;
    case Signal::kMarkAbort:
      broker_->MarkAbort();
      return;
  }
}

bool Data::RunFrame(Operation operation, const std::string& sDsn, bool connection_given,
                    const Body& body) {
  const FrameRow& row = FrameRowFor(operation);
  if (row.handler == Handler::kAfterSignal) GiveSignal(row.at_start);
  std::optional<FrameScope> scope;
  try {
    if (row.handler != Handler::kAfterSignal) GiveSignal(row.at_start);
    ConnectionRef connection;
    std::string language;
    switch (row.connection) {
      case ConnectionTaken::kNone:
        break;
      case ConnectionTaken::kConnection:
        BindDataSource(sDsn);
        connection = broker_->Connection();
        break;
      case ConnectionTaken::kLanguageConnection:
        BindDataSource(sDsn);
        language = Deref(broker_->GetContext()).Language();
        connection = broker_->Connection();
        break;
      case ConnectionTaken::kLookupUnlessGiven:
        if (connection_given) break;
        [[fallthrough]];
      case ConnectionTaken::kLookupConnection:
        BindDataSource(sDsn);
        connection = broker_->LookupConnection();
        break;
    }
    scope.emplace(std::move(connection), std::move(language),
                  [this, &row] { GiveSignal(row.on_success); });
    body(*scope);
    scope->SignalSuccess();
    return true;
  } catch (...) {
    if (row.handler == Handler::kNone) throw;
    automation::Err().Set(automation::CurrentErrorInfo());
    // Locals of the body are gone with its frame; the connection reference goes here.
    if (scope) scope->ReleaseConnection();
    if (row.failure == FailurePath::kReturnDefault) {
      automation::Err().Clear();
      return false;
    }
    RaiseFailure(row);
  }
}

void Data::RaiseFailure(const FrameRow& row) {
  automation::ErrObject& err = automation::Err();
  GiveSignal(row.on_failure);
  automation::ErrorInfo raised = err.info();
  switch (row.failure) {
    case FailurePath::kServiceError:
      // LoadMessage leaves the pending error as it was, so the description read afterwards is
      // still the failure's.
      raised.source = LoadMessage(kServiceNameKey, language_) + std::string(row.suffix);
      raised.number = row.error_number;
      raised.description = err.Description();
      break;
    case FailurePath::kNumberAsSource:
      raised.source = std::to_string(err.Number());
      raised.number = row.error_number;
      break;
    case FailurePath::kReraise:
    case FailurePath::kPropagate:
    case FailurePath::kReturnDefault:
      break;
  }
  err.Set(raised);
  automation::Raise(raised);
}

void RegisterServiceClasses() {
  automation::RegisterClass(kDataProgId, [] { return std::make_shared<Data>(); });
  RegisterResourceLoader();
  lookups::RegisterSystemProfile();
}

}  // namespace orv::service
