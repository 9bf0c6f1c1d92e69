// Standard texts of the data-access errors and the raising helper.
#include "ado/ado_errors.h"

#include <utility>

#include "ado/connection.h"
#include "automation/error.h"

namespace orv::ado {

std::string AdoErrorText(int32_t number) {
  switch (number) {
    case adoerr::kInvalidArgument:
      return "Arguments are of the wrong type, are out of acceptable range, or are in conflict "
             "with one another.";
    case adoerr::kNoCurrentRecord:
      return "Either BOF or EOF is True, or the current record has been deleted. Requested "
             "operation requires a current record.";
    case adoerr::kItemNotFound:
      return "Item cannot be found in the collection corresponding to the requested name or "
             "ordinal.";
    case adoerr::kObjectClosed:
      return "Operation is not allowed when the object is closed.";
    case adoerr::kObjectOpen:
      return "Operation is not allowed when the object is open.";
    case adoerr::kProviderNotFound:
      return "Provider cannot be found. It may not be properly installed.";
    case adoerr::kNoConnection:
      return "The connection cannot be used to perform this operation. It is either closed or "
             "invalid in this context.";
    default:
      return {};
  }
}

void RaiseAdoError(int32_t number, std::string description) {
  if (description.empty()) description = AdoErrorText(number);
  automation::Raise(number, kErrorSource, std::move(description));
}

void RaiseProviderError(const ProviderError& error) {
  automation::Raise(adoerr::kProviderError, kErrorSource, error.message);
}

}  // namespace orv::ado
