// What the module keeps for each interpreter: the ZelSettingEngine class, PanicException and
// the lookups conversions need. It lives in the module object's state, is reached from the
// class, and nothing of it is shared between interpreters, so the module runs in isolated
// sub-interpreters with a GIL of their own.
#pragma once

#include <Python.h>

namespace zel::py {

// Zero-filled by the interpreter when the module object is made (a zeroed PyMutex is
// unlocked); every pointer is a strong reference or nullptr.
struct ModuleState {
    PyObject* engine_type;  // ZelSettingEngine
    PyObject* panic_type;   // PanicException
    // Looked up on first need, under `lookups`: collections.abc.Sequence and Mapping,
    // dataclasses.fields and dataclasses.Field (importing dataclasses is not free, and most
    // programs never convert one).
    PyMutex lookups;
    PyObject* sequence_abc;
    PyObject* mapping_abc;
    PyObject* dataclass_fields;
    PyObject* dataclass_field_type;
};

// The state of the module that made `type`, which must be a ZelSettingEngine class (of any
// interpreter); nullptr with an error set if the class has lost its module.
ModuleState* state_of(PyTypeObject* type) noexcept;

}  // namespace zel::py
