// The _zel_core module: multi-phase initialisation, no GIL needed, its state kept per
// interpreter (isolated sub-interpreters with a GIL of their own are supported), and an
// execution step that publishes ZelSettingEngine and __all__.
#include <Python.h>

#include <initializer_list>

#include "drivers/file_io.hpp"
#include "engine/rw_lock.hpp"
#include "python/custom_driver.hpp"
#include "python/engine_type.hpp"
#include "python/errors.hpp"
#include "python/module_state.hpp"
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

// The key under which an interpreter's dictionary keeps its ZelSettingEngine class.
constexpr const char* kTypeKey = "_zel_core.ZelSettingEngine";

// The interpreter's ZelSettingEngine class: made with `module` (whose state then serves every
// store of this interpreter) the first time, and the same class for every later module object
// made from the definition in this interpreter. A new reference; nullptr with an error set.
PyObject* interpreter_engine_type(PyObject* module, ModuleState& state) {
    PyObject* registry = PyInterpreterState_GetDict(PyInterpreterState_Get());
    if (!registry) {
        if (!PyErr_Occurred())
            PyErr_SetString(PyExc_RuntimeError, "the interpreter has no dictionary for modules");
        return nullptr;
    }
    PyRef key = PyRef::steal(PyUnicode_FromString(kTypeKey));
    if (!key) return nullptr;
    PyObject* found = nullptr;
    if (PyDict_GetItemRef(registry, key.get(), &found) < 0) return nullptr;
    if (found) return found;
    Py_XSETREF(state.panic_type, new_panic_exception_type());
    if (!state.panic_type) return nullptr;
    PyRef made = PyRef::steal(new_engine_type(module));
    if (!made) return nullptr;
    // Two threads may execute module objects at once: the first class stored is everyone's.
    PyObject* kept = nullptr;
    if (PyDict_SetDefaultRef(registry, key.get(), made.get(), &kept) < 0) return nullptr;
    return kept;
}

int module_exec(PyObject* module) {
    set_wait_hooks(WaitHooks{detach_from_interpreter, attach_to_interpreter, interpreter_finalizing});
    set_file_wait_hooks(FileWaitHooks{detach_from_interpreter, attach_to_interpreter,
                                      run_signal_handlers});
    ModuleState* state = static_cast<ModuleState*>(PyModule_GetState(module));
    if (!state) return -1;
    PyObject* type = interpreter_engine_type(module, *state);
    if (type) {
        Py_XSETREF(state->engine_type, type);
    } else {
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
    {Py_mod_multiple_interpreters, Py_MOD_PER_INTERPRETER_GIL_SUPPORTED},
    {0, nullptr},
};

// Calls f on every reference the state holds (each a PyObject*& that may be nullptr).
template <class F>
void for_each_reference(ModuleState& state, F&& f) {
    for (PyObject** slot : {&state.engine_type, &state.panic_type, &state.sequence_abc,
                            &state.mapping_abc, &state.dataclass_fields, &state.dataclass_field_type})
        f(*slot);
}

int module_traverse(PyObject* module, visitproc visit, void* arg) {
    auto* state = static_cast<ModuleState*>(PyModule_GetState(module));
    int result = 0;
    if (state)
        for_each_reference(*state, [&](PyObject*& object) {
            if (!result && object) result = visit(object, arg);
        });
    return result;
}

int module_clear(PyObject* module) {
    auto* state = static_cast<ModuleState*>(PyModule_GetState(module));
    if (state) for_each_reference(*state, [](PyObject*& object) { Py_CLEAR(object); });
    return 0;
}

void module_free(void* module) { module_clear(static_cast<PyObject*>(module)); }

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT,
    "_zel_core",
    "",
    sizeof(ModuleState),
    nullptr,
    kSlots,
    module_traverse,
    module_clear,
    module_free,
};

}  // namespace

ModuleState* state_of(PyTypeObject* type) noexcept {
    return static_cast<ModuleState*>(PyType_GetModuleState(type));
}
}  // namespace zel::py

extern "C" __attribute__((visibility("default"))) PyObject* PyInit__zel_core() {
    return PyModuleDef_Init(&zel::py::kModule);
}
