// The _zel_core module: multi-phase initialisation, no GIL needed, one interpreter only, and
// an execution step that publishes ZelSettingEngine and __all__.
#include <Python.h>

#include "drivers/file_io.hpp"
#include "engine/rw_lock.hpp"
#include "python/custom_driver.hpp"
#include "python/engine_type.hpp"
#include "python/errors.hpp"
#include "python/pyref.hpp"

namespace zel::py {
namespace {

void* detach_from_interpreter() { return PyEval_SaveThread(); }
void attach_to_interpreter(void* token) {
    PyEval_RestoreThread(static_cast<PyThreadState*>(token));
}
// Asked by an attached thread: while the interpreter finalizes, the thread that finalizes it
// is the only one attached, and every other one stops when it next tries to attach.
bool interpreter_finalizing() { return Py_IsFinalizing() != 0; }
// A wait on a file cut short by a signal: the handlers run now; what they raise ends it.
Status run_signal_handlers() {
    if (PyErr_CheckSignals() < 0) return capture_python_error();
    return success();
}

int module_exec(PyObject* module) {
    set_wait_hooks(WaitHooks{detach_from_interpreter, attach_to_interpreter, interpreter_finalizing});
    set_file_wait_hooks(FileWaitHooks{detach_from_interpreter, attach_to_interpreter,
                                      run_signal_handlers});
    PyObject* type = engine_type();
    if (!type) {
        PyRef cause = PyRef::steal(PyErr_GetRaisedException());
        PyRef error = PyRef::steal(PyObject_CallFunction(
            PyExc_RuntimeError, "s", "An error occurred while initializing class ZelSettingEngine"));
        if (!error) return -1;
        if (cause) PyException_SetCause(error.get(), cause.release());
        PyErr_SetRaisedException(error.release());
        return -1;
    }
    PyRef name = PyRef::steal(PyUnicode_FromString("ZelSettingEngine"));
    if (!name) return -1;
    PyObject* raw_all = nullptr;
    if (PyObject_GetOptionalAttrString(module, "__all__", &raw_all) < 0) return -1;
    PyRef all = PyRef::steal(raw_all);
    if (!all) {
        all = PyRef::steal(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return -1;
    }
    if (!PyList_Check(all.get())) {
        raise_message(PyExc_TypeError, cast_text(all.get(), "list"));
        return -1;
    }
    if (PyList_Append(all.get(), name.get()) < 0) return -1;
    return PyModule_AddObjectRef(module, "ZelSettingEngine", type);
}

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    // Process-wide state (the type object, cached lookups) ties the module to one
    // interpreter: importing it in another raises ImportError.
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
    {0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT,
    "_zel_core",
    "",
    0,
    nullptr,
    kSlots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace zel::py

extern "C" __attribute__((visibility("default"))) PyObject* PyInit__zel_core() {
    return PyModuleDef_Init(&zel::py::kModule);
}
