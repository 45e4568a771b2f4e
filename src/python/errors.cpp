// Exception mapping and raising: one table from core error kinds to classes, one from errno
// to the OSError family, and the panic path that turns internal failures into PanicException.
#include "python/errors.hpp"

#include <pthread.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <stdexcept>

#include "python/custom_driver.hpp"
#include "python/module_state.hpp"
#include "python/pyref.hpp"

namespace zel::py {

PyObject* raise_message(PyObject* cls, const std::string& message) {
    PyRef text = PyRef::steal(
        PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (!text) return nullptr;
    PyErr_SetObject(cls, text.get());
    return nullptr;
}

PyObject* os_error_class(int code) noexcept {
    switch (code) {
        case ENOENT: return PyExc_FileNotFoundError;
        case EPERM:
        case EACCES: return PyExc_PermissionError;
        case ECONNREFUSED: return PyExc_ConnectionRefusedError;
        case ECONNRESET: return PyExc_ConnectionResetError;
        case ECONNABORTED: return PyExc_ConnectionAbortedError;
        case EPIPE: return PyExc_BrokenPipeError;
        case EEXIST: return PyExc_FileExistsError;
        case EAGAIN: return PyExc_BlockingIOError;
        case ENOTDIR: return PyExc_NotADirectoryError;
        case EISDIR: return PyExc_IsADirectoryError;
        case ETIMEDOUT: return PyExc_TimeoutError;
        case EINTR: return PyExc_InterruptedError;
        case ENOMEM: return PyExc_MemoryError;
        default: return PyExc_OSError;
    }
}

PyObject* raise_error(ModuleState* state, const Error& error) {
    switch (error.kind) {
        case ErrorKind::Io:
            return raise_message(error.os_code ? os_error_class(error.os_code) : PyExc_OSError,
                                 error.message);
        case ErrorKind::OpenFailed: return raise_message(PyExc_OSError, error.message);
        case ErrorKind::Parse:
        case ErrorKind::RootNotObject:
        case ErrorKind::PathNotObject:
        case ErrorKind::Conversion: return raise_message(PyExc_TypeError, error.message);
        case ErrorKind::KeyEmpty: return raise_message(PyExc_KeyError, error.message);
        case ErrorKind::Writer: return raise_message(PyExc_ValueError, error.message);
        case ErrorKind::Reentrant: return raise_message(PyExc_RuntimeError, error.message);
        case ErrorKind::Foreign:
            if (restore_python_error(error)) return nullptr;
            return raise_message(PyExc_SystemError, error.message);
        case ErrorKind::Internal: return raise_panic(state, error.message, __FILE__, __LINE__);
    }
    return raise_panic(state, "unknown error kind", __FILE__, __LINE__);
}

std::string type_qualname(PyObject* object) {
    PyRef name = PyRef::steal(PyType_GetQualName(Py_TYPE(object)));
    if (name) {
        Py_ssize_t size = 0;
        if (const char* text = PyUnicode_AsUTF8AndSize(name.get(), &size))
            return std::string(text, static_cast<std::size_t>(size));
    }
    PyErr_Clear();
    return "<failed to extract type name>";
}

std::string cast_text(PyObject* object, const char* required) {
    if (object == Py_None) return std::string("'None' is not an instance of '") + required + "'";
    std::string text = "'";
    text += type_qualname(object);
    text += "' object is not an instance of '";
    text += required;
    text += "'";
    return text;
}

std::string take_exception_text() {
    PyRef exc = PyRef::steal(PyErr_GetRaisedException());
    if (!exc) return "SystemError: attempted to fetch exception but none was set";
    std::string text = type_qualname(exc.get()) + ": ";
    PyRef str = PyRef::steal(PyObject_Str(exc.get()));
    const char* utf8 = nullptr;
    Py_ssize_t size = 0;
    if (str) utf8 = PyUnicode_AsUTF8AndSize(str.get(), &size);
    if (utf8) {
        text.append(utf8, static_cast<std::size_t>(size));
    } else {
        PyErr_Clear();
        text += "<exception str() failed>";
    }
    return text;
}

void argument_error(const char* name) {
    // Only an exception whose class is exactly TypeError is rewritten.
    if (PyErr_Occurred() != PyExc_TypeError) return;
    PyRef exc = PyRef::steal(PyErr_GetRaisedException());
    PyRef cause = PyRef::steal(PyException_GetCause(exc.get()));
    PyRef str = PyRef::steal(PyObject_Str(exc.get()));
    if (!str) return;
    PyRef message = PyRef::steal(PyUnicode_FromFormat("argument '%s': %U", name, str.get()));
    if (!message) return;
    PyRef replacement = PyRef::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
    if (!replacement) return;
    if (cause) PyException_SetCause(replacement.get(), cause.release());
    PyErr_SetRaisedException(replacement.release());
}

namespace {

const char* const kPanicDoc =
    "The exception raised when native code called from Python panics.\n\n"
    "Like SystemExit, this exception is derived from BaseException so that it will\n"
    "typically propagate all the way up the stack and cause the Python interpreter to exit.";

std::string thread_name() {
    char name[64] = {0};
    if (pthread_getname_np(pthread_self(), name, sizeof name) == 0 && name[0]) return name;
    return "<unnamed>";
}

}  // namespace

PyObject* new_panic_exception_type() {
    return PyErr_NewExceptionWithDoc("zel_native.PanicException", kPanicDoc, PyExc_BaseException,
                                     nullptr);
}

PyObject* raise_panic(ModuleState* state, const std::string& message, const char* file, int line,
                      bool report) {
    std::string text = message.empty() ? "native code failed without a message" : message;
    if (report)
        std::fprintf(stderr,
                 "\nthread '%s' panicked at %s:%d:\n%s\nnote: this is a bug in _zel_core; "
                 "run under gdb with `catch throw` to get a backtrace\n",
                 thread_name().c_str(), file, line, text.c_str());
    std::fflush(stderr);
    return raise_message(state && state->panic_type ? state->panic_type : PyExc_SystemError, text);
}

PyObject* handle_current_exception(ModuleState* state) noexcept {
    try {
        throw;
    } catch (const Panic& panic) {
        return raise_panic(state, panic.what(), panic.file, panic.line, panic.report);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::length_error&) {
        // A string or array longer than the address space allows (32-bit targets): memory
        // exhaustion too, as far as the caller can tell.
        return PyErr_NoMemory();
    } catch (const std::exception& e) {
        return raise_panic(state, e.what(), __FILE__, __LINE__);
    } catch (...) {
        return raise_panic(state, "unknown C++ exception", __FILE__, __LINE__);
    }
}

}  // namespace zel::py
