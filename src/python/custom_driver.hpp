// The driver for any Python object with `read` and `write`: read(path) once at construction,
// write(path, data) on each sync with a freshly converted copy of the document.
#pragma once

#include <Python.h>

#include "drivers/drivers.hpp"
#include "python/pyref.hpp"

namespace zel::py {

struct ModuleState;

// Owns one strong reference to the driver object; released by whoever destroys the store,
// which always runs attached to the interpreter here. `state` is the store's module state,
// which outlives the store (the store's class holds its module).
std::unique_ptr<CustomDriver> make_custom_driver(PyRef object, ModuleState& state);

// For the garbage collector: the driver object a custom driver made by make_custom_driver
// holds (nullptr once cleared), and dropping it to break a reference cycle. A cleared
// driver's read and write raise RuntimeError.
PyObject* custom_driver_object(CustomDriver& driver) noexcept;
void clear_custom_driver(CustomDriver& driver) noexcept;

// The exception currently raised, taken from the interpreter into an Error that raise_error
// sets again unchanged. A PanicException coming back from Python is turned into a panic of
// this module (after printing it), as the caller of an extension expects.
Error capture_python_error();

// Sets a Foreign error's exception again; false when the error carries none.
bool restore_python_error(const Error& error);

}  // namespace zel::py
