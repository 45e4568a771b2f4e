// Choosing a store's driver from the constructor's `driver` argument.
#pragma once

#include <Python.h>

#include "drivers/drivers.hpp"

namespace zel::py {

struct ModuleState;

// A name (any str, lower-cased with the full Unicode mapping) or an object with `read` and
// `write`. Raises and returns false when neither. `state` is the new store's module state.
bool driver_from_args(PyObject* argument, ModuleState& state, Driver& out);

}  // namespace zel::py
