// Argument binding shared by every method that takes arguments and by the constructor:
// positional then keyword arguments are placed into named parameters, with fixed messages.
#pragma once

#include <Python.h>

#include <string>
#include <string_view>

namespace zel::py {

struct FunctionDescription {
    const char* function;  // e.g. "value"; messages say ZelSettingEngine.value()
    const char* const* parameters;
    int count;
    int required;  // the leading `required` parameters must be given
};

// Vectorcall form. On success out[0..count) hold borrowed references or nullptr for absent
// optional parameters. On failure raises TypeError and returns false.
bool bind_arguments(const FunctionDescription& desc, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** out);

// Tuple and dictionary form (tp_new).
bool bind_arguments(const FunctionDescription& desc, PyObject* args, PyObject* kwargs,
                    PyObject** out);

// Takes a str argument as UTF-8 text. A non-str raises the argument error for `name`; a str
// that cannot be encoded raises the interpreter's UnicodeEncodeError unchanged.
bool str_argument_encoded(PyObject* object, const char* name, std::string_view& out);

// The same, inline for the common key: a str whose characters are all ASCII is its own
// UTF-8, held in the object (a str never changes once made).
inline bool str_argument(PyObject* object, const char* name, std::string_view& out) {
    if (PyUnicode_CheckExact(object) && PyUnicode_IS_COMPACT_ASCII(object)) [[likely]] {
        out = std::string_view(static_cast<const char*>(PyUnicode_DATA(object)),
                               static_cast<std::size_t>(PyUnicode_GET_LENGTH(object)));
        return true;
    }
    return str_argument_encoded(object, name, out);
}

}  // namespace zel::py
