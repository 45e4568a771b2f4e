// Driver selection: driver names, and the attribute tests for objects that act as drivers.
#include "python/driver_args.hpp"

#include <string>

#include "python/custom_driver.hpp"
#include "python/errors.hpp"
#include "python/pyref.hpp"

namespace zel::py {
namespace {

// hasattr-like: 1 found, 0 missing (AttributeError), -1 any other exception (left set).
int has_attribute(PyObject* object, const char* name) {
    PyObject* value = nullptr;
    int found = PyObject_GetOptionalAttrString(object, name, &value);
    Py_XDECREF(value);
    return found;
}

}  // namespace

bool driver_from_args(PyObject* argument, ModuleState& state, Driver& out) {
    if (PyUnicode_Check(argument)) {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(argument, &size);
        if (text) {
            std::string_view name(text, static_cast<std::size_t>(size));
            DriverKind kind;
            if (driver_kind_from_name(lowercase_name(name), kind)) {
                out.kind = kind;
                return true;
            }
            raise_message(PyExc_ValueError, "Unknown driver: " + std::string(name));
            return false;
        }
        PyErr_Clear();  // not encodable as UTF-8: tested as an object below
    }
    int has_read = has_attribute(argument, "read");
    if (has_read < 0) return false;
    if (has_read == 1) {
        int has_write = has_attribute(argument, "write");
        if (has_write < 0) return false;
        if (has_write == 1) {
            out.kind = DriverKind::Custom;
            out.custom = make_custom_driver(PyRef::borrow(argument), state);
            return true;
        }
    }
    raise_message(PyExc_TypeError,
                  "Driver must be a string (name) or an object with 'read' and 'write' methods");
    return false;
}

}  // namespace zel::py
