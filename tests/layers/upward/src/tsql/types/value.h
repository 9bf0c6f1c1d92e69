// A value header that reaches up into the executor: the layers check must refuse it.
#pragma once

#include "tsql/exec/exec.h"
