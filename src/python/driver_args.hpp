// Choosing a store's driver from the constructor's `driver` argument.
#pragma once

#include <Python.h>

#include "drivers/drivers.hpp"

namespace zel::py {

// A name (any str, lower-cased with the full Unicode mapping) or an object with `read` and
// `write`. Raises and returns false when neither.
bool driver_from_args(PyObject* argument, Driver& out);

}  // namespace zel::py
