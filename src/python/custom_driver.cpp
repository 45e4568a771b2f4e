// Custom drivers: the calls into the Python object, the conversions on the way in and out,
// and captured Python exceptions carried through the core unchanged.
#include "python/custom_driver.hpp"

#include <cstdio>
#include <cstring>

#include "python/convert.hpp"
#include "python/errors.hpp"

namespace zel::py {
namespace {

struct PythonException final : ForeignPayload {
    explicit PythonException(PyRef e) : exception(std::move(e)) {}
    PyRef exception;
};

struct PythonSnapshot final : CustomSnapshot {
    explicit PythonSnapshot(PyRef d) : data(std::move(d)) {}
    PyRef data;
};

// A PanicException raised by another extension built the same way, or by this one.
bool is_panic(PyObject* exception) {
    PyTypeObject* type = Py_TYPE(exception);
    if (std::strcmp(type->tp_name, "PanicException") != 0) {
        const char* dot = std::strrchr(type->tp_name, '.');
        if (!dot || std::strcmp(dot + 1, "PanicException") != 0) return false;
    }
    return !PyObject_TypeCheck(exception, reinterpret_cast<PyTypeObject*>(PyExc_Exception));
}

class PythonDriver final : public CustomDriver {
public:
    PythonDriver(PyRef object, ModuleState& state) : object_(std::move(object)), state_(&state) {}

    Result<Value> read(const std::string& path) override {
        if (!object_) return cleared();
        PyRef name = PyRef::steal(PyUnicode_InternFromString("read"));
        PyRef arg = str_from_utf8(path);
        if (!name || !arg) return capture_python_error();
        PyRef data = PyRef::steal(PyObject_CallMethodOneArg(object_.get(), name.get(), arg.get()));
        if (!data) return capture_python_error();
        Result<Value> converted = to_value(data.get(), *state_);
        if (!converted)
            return make_error(ErrorKind::Conversion,
                              "Failed to depythonize custom driver data: " + converted.error().message);
        return converted;
    }

    Result<std::unique_ptr<CustomSnapshot>> snapshot(const Value& document) override {
        PyRef data = to_python(document);
        if (!data) {
            std::string text;
            if (!take_conversion_failure(text)) return capture_python_error();
            return make_error(ErrorKind::Conversion, "Failed to pythonize data: " + text);
        }
        return std::unique_ptr<CustomSnapshot>(new PythonSnapshot(std::move(data)));
    }

    Status write(const std::string& path, CustomSnapshot& snapshot) override {
        if (!object_) return cleared();
        PyRef name = PyRef::steal(PyUnicode_InternFromString("write"));
        PyRef arg = str_from_utf8(path);
        if (!name || !arg) return capture_python_error();
        PyObject* data = static_cast<PythonSnapshot&>(snapshot).data.get();
        PyRef result = PyRef::steal(
            PyObject_CallMethodObjArgs(object_.get(), name.get(), arg.get(), data, nullptr));
        if (!result) return capture_python_error();
        return success();
    }

    PyObject* object() const noexcept { return object_.get(); }
    void clear() noexcept { object_ = PyRef(); }

private:
    static Error cleared() {
        PyErr_SetString(PyExc_RuntimeError,
                        "the custom driver was released by the garbage collector");
        return capture_python_error();
    }

    PyRef object_;
    ModuleState* state_;  // the store's: its class keeps the module alive
};

}  // namespace

std::unique_ptr<CustomDriver> make_custom_driver(PyRef object, ModuleState& state) {
    return std::make_unique<PythonDriver>(std::move(object), state);
}

PyObject* custom_driver_object(CustomDriver& driver) noexcept {
    return static_cast<PythonDriver&>(driver).object();
}

void clear_custom_driver(CustomDriver& driver) noexcept { static_cast<PythonDriver&>(driver).clear(); }

Error capture_python_error() {
    PyRef exception = PyRef::steal(PyErr_GetRaisedException());
    if (!exception)
        return make_error(ErrorKind::Foreign, "attempted to fetch exception but none was set");
    if (is_panic(exception.get())) {
        std::string message = "Unwrapped panic from Python code";
        PyRef text = PyRef::steal(PyObject_Str(exception.get()));
        const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
        if (utf8)
            message = utf8;
        else
            PyErr_Clear();
        std::fputs("--- A PanicException was raised by Python code called from _zel_core ---\n"
                   "Python stack trace below:\n",
                   stderr);
        PyErr_SetRaisedException(exception.release());
        PyErr_PrintEx(0);
        Panic panic(message, __FILE__, __LINE__);
        panic.report = false;
        throw panic;
    }
    Error error = make_error(ErrorKind::Foreign, std::string());
    error.foreign = std::make_shared<PythonException>(std::move(exception));
    return error;
}

bool restore_python_error(const Error& error) {
    auto* payload = dynamic_cast<PythonException*>(error.foreign.get());
    if (!payload || !payload->exception) return false;
    PyErr_SetRaisedException(Py_NewRef(payload->exception.get()));
    return true;
}

}  // namespace zel::py
