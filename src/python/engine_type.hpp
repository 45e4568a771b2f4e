// The ZelSettingEngine type object, created once per process.
#pragma once

#include <Python.h>

namespace zel::py {

// Borrowed reference to the type, creating it on first use; nullptr with an error set when
// creation fails.
PyObject* engine_type();

}  // namespace zel::py
