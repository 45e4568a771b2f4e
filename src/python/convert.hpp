// Conversions between Python objects and Value trees. Python-to-value refuses containers
// that contain themselves and nesting deeper than kMaxConversionDepth; value-to-Python is
// iterative and handles any depth.
#pragma once

#include <Python.h>

#include <string_view>

#include "python/pyref.hpp"
#include "value/error.hpp"
#include "value/value.hpp"

namespace zel::py {

struct ModuleState;

inline constexpr int kMaxConversionDepth = 512;

// Never leaves a Python exception set: failures come back as ErrorKind::Conversion. `state`
// is the calling store's module state (its lookups of the abstract base classes).
Result<Value> to_value(PyObject* object, ModuleState& state);

// The object of a node; for a container, empty (the walk of to_python fills it).
inline PyRef node_to_python(const Value& v) {
    switch (v.kind()) {
        case Kind::Null: return PyRef::borrow(Py_None);
        case Kind::Bool: return PyRef::borrow(v.as_bool() ? Py_True : Py_False);
        case Kind::UInt: return PyRef::steal(PyLong_FromUnsignedLongLong(v.as_uint()));
        case Kind::Int: return PyRef::steal(PyLong_FromLongLong(v.as_int()));
        case Kind::Float: return PyRef::steal(PyFloat_FromDouble(v.as_float()));
        case Kind::String: {
            const std::string_view s = v.as_string();
            return PyRef::steal(
                PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "strict"));
        }
        case Kind::Array:
            return PyRef::steal(PyList_New(static_cast<Py_ssize_t>(v.as_array().size())));
        case Kind::Object: return PyRef::steal(PyDict_New());
    }
    return PyRef();
}

PyRef container_to_python(const Value& value);

// A new reference; on failure nullptr with the Python exception set. A scalar (the common
// read) is made inline.
inline PyRef to_python(const Value& value) {
    if (value.is_array() || value.is_object()) return container_to_python(value);
    return node_to_python(value);
}

// A new str from UTF-8 text; on failure nullptr with the Python exception set.
PyRef str_from_utf8(std::string_view text);

// Text of a failed to_python (the exception is cleared), unless the failure is MemoryError,
// which is left set for the caller to raise as it is; returns false in that case.
bool take_conversion_failure(std::string& text);

}  // namespace zel::py
