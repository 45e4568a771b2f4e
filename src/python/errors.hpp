// Raising failures in the interpreter: core errors mapped to exception classes, the argument
// error rule, the cast text, and PanicException for failures of the module's own code.
#pragma once

#include <Python.h>

#include <stdexcept>
#include <string>

#include "value/error.hpp"

namespace zel::py {

struct ModuleState;

// A violated internal expectation. Thrown by ZEL_PANIC and caught at the entry point.
struct Panic : std::runtime_error {
    Panic(std::string message, const char* file, int line)
        : std::runtime_error(std::move(message)), file(file), line(line) {}
    const char* file;
    int line;
    bool report = true;  // false when the failure was already printed (a panic from Python)
};
#define ZEL_PANIC(message) throw ::zel::py::Panic((message), __FILE__, __LINE__)

// Sets the Python error indicator for a core error. Always returns nullptr. `state` is the
// store's module state (for PanicException).
PyObject* raise_error(ModuleState* state, const Error& error);

// Sets a lazy exception of the given class with one message argument. Returns nullptr.
PyObject* raise_message(PyObject* cls, const std::string& message);

// The exception class for an errno value (the OSError family).
PyObject* os_error_class(int code) noexcept;

// "'{type}' object is not an instance of '{required}'", or the None form.
std::string cast_text(PyObject* object, const char* required);

// Qualified name of an object's type, or "<failed to extract type name>".
std::string type_qualname(PyObject* object);

// "{ExceptionClass}: {str(exception)}" for the currently raised exception, which is cleared.
std::string take_exception_text();

// Applies the argument error rule to the exception currently set: a TypeError is replaced by
// TypeError("argument '{name}': {text}"), anything else stays as it is.
void argument_error(const char* name);

// Reports a panic on standard error (unless `report` is false) and raises the PanicException
// of `state` (SystemError when there is no state to take it from). Returns nullptr.
PyObject* raise_panic(ModuleState* state, const std::string& message, const char* file, int line,
                      bool report = true);

// The shared catch sequence of every entry point: call from inside a catch block.
PyObject* handle_current_exception(ModuleState* state) noexcept;

// A new PanicException class (one for each interpreter); nullptr with an error set on failure.
PyObject* new_panic_exception_type();

}  // namespace zel::py
