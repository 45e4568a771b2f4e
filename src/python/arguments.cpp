// The argument binder and its error messages ("takes N positional arguments but G were
// given", "missing N required positional arguments: 'a' and 'b'", ...).
#include "python/arguments.hpp"

#include <string>
#include <vector>

#include "python/errors.hpp"
#include "python/pyref.hpp"

namespace zel::py {
namespace {

std::string full_name(const FunctionDescription& desc) {
    return std::string("ZelSettingEngine.") + desc.function + "()";
}

bool too_many(const FunctionDescription& desc, Py_ssize_t given) {
    std::string text = full_name(desc);
    if (desc.required == desc.count) {
        text += " takes " + std::to_string(desc.count);
    } else {
        text += " takes from " + std::to_string(desc.required) + " to " + std::to_string(desc.count);
    }
    text += " positional arguments but " + std::to_string(given) + (given == 1 ? " was" : " were") +
            " given";
    raise_message(PyExc_TypeError, text);
    return false;
}

bool unexpected_keyword(const FunctionDescription& desc, PyObject* keyword) {
    PyRef text = PyRef::steal(PyObject_Str(keyword));
    if (!text) return false;
    const char* utf8 = PyUnicode_AsUTF8(text.get());
    if (!utf8) return false;
    raise_message(PyExc_TypeError,
                  full_name(desc) + " got an unexpected keyword argument '" + utf8 + "'");
    return false;
}

bool multiple_values(const FunctionDescription& desc, int index) {
    raise_message(PyExc_TypeError, full_name(desc) + " got multiple values for argument '" +
                                       desc.parameters[index] + "'");
    return false;
}

bool check_missing(const FunctionDescription& desc, PyObject** out) {
    std::vector<const char*> missing;
    for (int i = 0; i < desc.required; ++i)
        if (!out[i]) missing.push_back(desc.parameters[i]);
    if (missing.empty()) return true;
    std::string text = full_name(desc) + " missing " + std::to_string(missing.size()) +
                       " required positional " + (missing.size() == 1 ? "argument" : "arguments") +
                       ": ";
    for (std::size_t i = 0; i < missing.size(); ++i) {
        if (i > 0) {
            if (missing.size() == 2)
                text += " and ";
            else
                text += (i + 1 == missing.size()) ? ", and " : ", ";
        }
        text += "'";
        text += missing[i];
        text += "'";
    }
    raise_message(PyExc_TypeError, text);
    return false;
}

// Places one keyword argument; false with an exception set on failure.
bool place_keyword(const FunctionDescription& desc, PyObject* name, PyObject* value,
                   PyObject** out) {
    if (PyUnicode_Check(name)) {
        for (int i = 0; i < desc.count; ++i) {
            if (PyUnicode_EqualToUTF8(name, desc.parameters[i])) {
                if (out[i]) return multiple_values(desc, i);
                out[i] = value;
                return true;
            }
        }
    }
    return unexpected_keyword(desc, name);
}

}  // namespace

bool bind_arguments(const FunctionDescription& desc, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** out) {
    for (int i = 0; i < desc.count; ++i) out[i] = nullptr;
    if (nargs > desc.count) return too_many(desc, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
    if (kwnames) {
        Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k)
            if (!place_keyword(desc, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], out))
                return false;
    }
    return check_missing(desc, out);
}

bool bind_arguments(const FunctionDescription& desc, PyObject* args, PyObject* kwargs,
                    PyObject** out) {
    for (int i = 0; i < desc.count; ++i) out[i] = nullptr;
    Py_ssize_t nargs = args ? PyTuple_GET_SIZE(args) : 0;
    if (nargs > desc.count) return too_many(desc, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = PyTuple_GET_ITEM(args, i);
    if (kwargs) {
        Py_ssize_t pos = 0;
        PyObject* name = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &pos, &name, &value))
            if (!place_keyword(desc, name, value, out)) return false;
    }
    return check_missing(desc, out);
}

bool str_argument_encoded(PyObject* object, const char* name, std::string_view& out) {
    if (!PyUnicode_Check(object)) {
        raise_message(PyExc_TypeError, cast_text(object, "str"));
        argument_error(name);
        return false;
    }
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(object, &size);
    if (!text) {
        argument_error(name);
        return false;
    }
    out = std::string_view(text, static_cast<std::size_t>(size));
    return true;
}

}  // namespace zel::py
