// SourceError: no usable data source could be chosen (nothing configured, an unknown name, a
// sources file others can read, a connection text naming no file). Commands report it as a
// mistake of the command line or configuration.
#pragma once

#include <stdexcept>

namespace orv::sources {

class SourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace orv::sources
