// ChoiceError: the caller asked the writers for something the result does not have (a column
// name that is not there, a format that does not exist). Front ends report it as the caller's
// mistake, not as a failure of the data source.
#pragma once

#include <stdexcept>

namespace orv::exports {

class ChoiceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace orv::exports
