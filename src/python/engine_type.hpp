// The ZelSettingEngine class: one for each interpreter, made by the module's execution step.
#pragma once

#include <Python.h>

namespace zel::py {

// A new ZelSettingEngine class belonging to `module` (its state is what the class's methods
// reach); nullptr with an error set when creation fails.
PyObject* new_engine_type(PyObject* module);

}  // namespace zel::py
