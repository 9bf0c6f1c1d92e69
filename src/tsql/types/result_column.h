// A column of a statement's result as a client sees it: its name, type and nullability.
#pragma once

#include <string>

#include "tsql/types/types.h"

namespace orv::tsql {

struct ResultColumn {
  std::string name;  // "" for an unnamed expression
  SqlType type;
  bool nullable = true;
};

}  // namespace orv::tsql
