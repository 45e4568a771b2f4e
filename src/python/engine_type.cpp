// ZelSettingEngine: instance layout, borrow flag, constructor, destructor, and the entry
// points of the 15 methods and the `path` attribute. Each entry binds its arguments, checks
// the receiver, takes its borrow, converts arguments, runs the engine operation and turns
// every failure into a raised exception; no C++ exception leaves an entry point.
#include "python/engine_type.hpp"

#include <cxxabi.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.hpp"
#include "python/arguments.hpp"
#include "python/convert.hpp"
#include "python/custom_driver.hpp"
#include "python/driver_args.hpp"
#include "python/errors.hpp"
#include "python/module_state.hpp"
#include "python/pyref.hpp"

namespace zel::py {
namespace {

struct EngineObject {
    PyObject_HEAD
    Engine* engine;
};

EngineObject* as_engine(PyObject* self) { return reinterpret_cast<EngineObject*>(self); }

enum class Borrow { Shared, Exclusive };

// Holds a borrow of one instance for the length of a call; never waits.
class BorrowGuard {
public:
    BorrowGuard(BorrowFlag& flag, Borrow kind) : hold_(flag, kind == Borrow::Exclusive), kind_(kind) {}
    bool held() const { return hold_.held(); }
    PyObject* raise() const { return raise(kind_); }
    static PyObject* raise(Borrow kind) {
        return raise_message(PyExc_RuntimeError, kind == Borrow::Exclusive
                                                     ? "Already borrowed"
                                                     : "Already mutably borrowed");
    }

private:
    BorrowHold hold_;
    Borrow kind_;
};

void engine_dealloc(PyObject* self);

// Every interpreter has its own ZelSettingEngine class; they, and only they, have this
// deallocator (the class cannot be subclassed).
bool is_engine(PyObject* self) { return self && Py_TYPE(self)->tp_dealloc == engine_dealloc; }

// The module state of a store's class (what its conversions and exceptions need); nullptr for
// anything that is not a store.
ModuleState* state(PyObject* self) { return is_engine(self) ? state_of(Py_TYPE(self)) : nullptr; }

[[gnu::cold, gnu::noinline]] bool receiver_error(PyObject* self) {
    raise_message(PyExc_TypeError, self ? cast_text(self, "ZelSettingEngine")
                                        : std::string("'NULL' object is not an instance of "
                                                      "'ZelSettingEngine'"));
    return false;
}

bool check_receiver(PyObject* self) { return is_engine(self) || receiver_error(self); }

// The catch-all of an entry point lets a forced unwind (the end of this thread: pthread_exit,
// or a thread re-attaching to a finalizing interpreter) go on unwinding. libstdc++ gives it the
// type abi::__forced_unwind, caught first and rethrown. libc++ gives it no C++ type at all (it
// is a foreign exception), and there a catch (...) would be fatal: libc++abi rethrows a foreign
// exception by starting a new search for a handler, which a forced unwind never finds, and
// terminates. Every exception this module throws derives from std::exception, so with libc++
// the entry points catch that, and a foreign exception passes them by, running only cleanups.
#if defined(__GLIBCXX__)
#define ZEL_CATCH_ALL                 \
    catch (abi::__forced_unwind&) { \
        throw;                        \
    }                                 \
    catch (...)
#else
#define ZEL_CATCH_ALL catch (const std::exception&)
#endif

// Runs body(Engine&) under the receiver check and the borrow; the one catch sequence. A
// thread that re-attaches to a finalizing interpreter may be ended by a forced unwind: that
// is not an error to report, and must go on unwinding (hence no noexcept here).
template <class Body>
PyObject* run(PyObject* self, Borrow kind, Body&& body) {
    try {
        if (!check_receiver(self)) return nullptr;
        BorrowGuard borrow(as_engine(self)->engine->borrow(), kind);
        if (!borrow.held()) return borrow.raise();
        return body(*as_engine(self)->engine);
    } ZEL_CATCH_ALL {
        return handle_current_exception(state(self));
    }
}

// Key lookups (value, contains): the key converted first, then lookup(node) run under the
// document's read lock with the call's shared borrow folded into it, which costs one count
// instead of two (Engine::with_node_as_borrow); when a writer is about, the borrow and the
// lock the usual way. With the GIL, a lookup that meets no writer and no exclusive borrow
// takes no count at all (Engine::with_node_alone). finish(result) builds the answer after the
// lock is let go. Converting the key first cannot be told apart from converting it under the
// borrow: a str argument's conversion runs no Python code.
template <class Lookup, class Finish>
PyObject* run_lookup(PyObject* self, PyObject* key_arg, Lookup&& lookup, Finish&& finish) {
    try {
        if (!check_receiver(self)) return nullptr;
        std::string_view key;
        if (!str_argument(key_arg, "key", key)) return nullptr;
        Engine& engine = *as_engine(self)->engine;
        using Found = decltype(lookup(static_cast<const Value*>(nullptr)));
        std::optional<Found> found;
        auto take = [&](const Value* node) { found.emplace(lookup(node)); };
#ifndef Py_GIL_DISABLED
        // With the GIL, no other thread of this interpreter runs until this call returns: it
        // releases the GIL nowhere, and neither the lookup nor the conversion runs Python code
        // (the collector runs from the evaluation loop, not from allocations). Locks and
        // borrows are only ever requested by threads holding the GIL, so when nobody holds or
        // waits for the lock, nobody can until then, and the read needs no count.
        if (engine.with_node_alone(key, take)) return finish(std::move(*found));
#endif
        auto folded = engine.with_node_as_borrow(key, take);
        if (!folded) return raise_error(state(self), folded.error());
        switch (folded.value()) {
            case RwLock::Folded::Granted:
                return finish(std::move(*found));
            case RwLock::Folded::Borrowed:
                return BorrowGuard::raise(Borrow::Shared);
            case RwLock::Folded::Busy:
                break;
        }
        BorrowGuard borrow(engine.borrow(), Borrow::Shared);
        if (!borrow.held()) return borrow.raise();
        auto result = engine.with_node(key, lookup);
        if (!result) return raise_error(state(self), result.error());
        return finish(std::move(result).value());
    } ZEL_CATCH_ALL {
        return handle_current_exception(state(self));
    }
}

PyObject* none_or_raise(PyObject* self, Status status) {
    if (!status) return raise_error(state(self), status.error());
    Py_RETURN_NONE;
}

PyObject* list_or_raise(PyObject* self, Result<std::vector<std::string>> names) {
    if (!names) return raise_error(state(self), names.error());
    const auto& items = names.value();
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < items.size(); ++i) {
        PyObject* item = str_from_utf8(items[i]).release();
        if (!item) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

// Argument descriptors.
const char* const kNameParams[] = {"name"};
const char* const kKeyParams[] = {"key"};
const char* const kSetParams[] = {"key", "value"};
const char* const kNewParams[] = {"path", "driver"};
const FunctionDescription kBeginGroup{"begin_group", kNameParams, 1, 1};
const FunctionDescription kContains{"contains", kKeyParams, 1, 1};
const FunctionDescription kValue{"value", kKeyParams, 1, 1};
const FunctionDescription kSetValue{"set_value", kSetParams, 2, 2};
const FunctionDescription kRemove{"remove", kKeyParams, 1, 1};
const FunctionDescription kNew{"__new__", kNewParams, 2, 1};

// The common call, every parameter given by position, skips the binder.
#define ZEL_BIND(desc, n)                                                              \
    PyObject* bound[n];                                                                \
    if (nargs == n && !kwnames) {                                                      \
        for (int i = 0; i < n; ++i) bound[i] = args[i];                                \
    } else {                                                                           \
        try {                                                                          \
            if (!bind_arguments(desc, args, nargs, kwnames, bound)) return nullptr;    \
        } ZEL_CATCH_ALL {                                                              \
            return handle_current_exception(state(self));                              \
        }                                                                              \
    }

PyObject* begin_group(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    ZEL_BIND(kBeginGroup, 1)
    return run(self, Borrow::Exclusive, [&](Engine& engine) -> PyObject* {
        std::string_view name;
        if (!str_argument(bound[0], "name", name)) return nullptr;
        return none_or_raise(self, engine.begin_group(name));
    });
}

PyObject* end_group(PyObject* self, PyObject*) {
    return run(self, Borrow::Exclusive,
               [self](Engine& engine) { return none_or_raise(self, engine.end_group()); });
}

PyObject* group(PyObject* self, PyObject*) {
    return run(self, Borrow::Shared, [self](Engine& engine) -> PyObject* {
        auto joined = engine.group();
        if (!joined) return raise_error(state(self), joined.error());
        return str_from_utf8(joined.value()).release();
    });
}

PyObject* contains(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    ZEL_BIND(kContains, 1)
    return run_lookup(
        self, bound[0], [](const Value* node) { return node != nullptr; },
        [](bool found) { return PyBool_FromLong(found); });
}

PyObject* value(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    ZEL_BIND(kValue, 1)
#ifdef ZEL_TEST_HOOKS
    // Test builds only: a way to exercise the panic path from Python.
    if (PyUnicode_Check(bound[0])) {
        Py_ssize_t length = 0;
        const char* text = PyUnicode_AsUTF8AndSize(bound[0], &length);
        if (!text) PyErr_Clear();  // reported as usual below
        else if (std::string_view(text, static_cast<std::size_t>(length)) ==
                 std::string_view("\0zel-test-panic", 15))
            return run(self, Borrow::Shared, [](Engine&) -> PyObject* {
                ZEL_PANIC("panic requested by a test");
            });
    }
#endif
    // The Python result is built while the read lock is held; the lock is let go before any
    // failure is turned into its exception.
    return run_lookup(
        self, bound[0],
        [](const Value* node) { return node ? to_python(*node) : PyRef::borrow(Py_None); },
        [&](PyRef result) -> PyObject* {
            if (!result) {
                std::string text;
                if (!take_conversion_failure(text)) return nullptr;
                return raise_message(PyExc_TypeError, text);
            }
            return result.release();
        });
}

PyObject* set_value(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    ZEL_BIND(kSetValue, 2)
    return run(self, Borrow::Shared, [&](Engine& engine) -> PyObject* {
        std::string_view key;
        if (!str_argument(bound[0], "key", key)) return nullptr;
        // Converted before any engine lock is taken: the conversion may run Python code.
        Result<Value> converted = to_value(bound[1], *state(self));
        if (!converted) return raise_error(state(self), converted.error());
        return none_or_raise(self, engine.set_value(key, std::move(converted).value()));
    });
}

PyObject* remove(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    ZEL_BIND(kRemove, 1)
    return run(self, Borrow::Shared, [&](Engine& engine) -> PyObject* {
        std::string_view key;
        if (!str_argument(bound[0], "key", key)) return nullptr;
        return none_or_raise(self, engine.remove(key));
    });
}

PyObject* all_keys(PyObject* self, PyObject*) {
    return run(self, Borrow::Shared, [self](Engine& engine) { return list_or_raise(self, engine.all_keys()); });
}

PyObject* child_keys(PyObject* self, PyObject*) {
    return run(self, Borrow::Shared,
               [self](Engine& engine) { return list_or_raise(self, engine.child_keys()); });
}

PyObject* child_groups(PyObject* self, PyObject*) {
    return run(self, Borrow::Shared,
               [self](Engine& engine) { return list_or_raise(self, engine.child_groups()); });
}

PyObject* clear(PyObject* self, PyObject*) {
    return run(self, Borrow::Shared, [self](Engine& engine) { return none_or_raise(self, engine.clear()); });
}

PyObject* sync(PyObject* self, PyObject*) {
    return run(self, Borrow::Shared, [self](Engine& engine) { return none_or_raise(self, engine.sync()); });
}

PyObject* status(PyObject* self, PyObject*) {
    return run(self, Borrow::Shared, [](Engine&) { return PyLong_FromLong(0); });
}

PyObject* is_writable(PyObject* self, PyObject*) {
    return run(self, Borrow::Shared, [](Engine&) { Py_RETURN_TRUE; });
}

PyObject* file_name(PyObject* self, PyObject*) {
    return run(self, Borrow::Shared, [](Engine& engine) { return str_from_utf8(engine.path()).release(); });
}

PyObject* get_path(PyObject* self, void*) {
    // The attribute descriptor has already checked the receiver.
    try {
        BorrowGuard borrow(as_engine(self)->engine->borrow(), Borrow::Shared);
        if (!borrow.held()) return borrow.raise();
        return str_from_utf8(as_engine(self)->engine->path()).release();
    } ZEL_CATCH_ALL {
        return handle_current_exception(state(self));
    }
}

PyObject* engine_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    ModuleState* module_state = state_of(type);
    if (!module_state) return nullptr;
    try {
        PyObject* bound[2];
        if (!bind_arguments(kNew, args, kwargs, bound)) return nullptr;
        std::string_view path;
        if (!str_argument(bound[0], "path", path)) return nullptr;
        Driver driver;
        if (bound[1] && bound[1] != Py_None) {
            if (!driver_from_args(bound[1], *module_state, driver)) return nullptr;
        }
        auto engine = Engine::open(std::string(path), std::move(driver));
        if (!engine) return raise_error(module_state, engine.error());
        allocfunc alloc = type->tp_alloc ? type->tp_alloc : PyType_GenericAlloc;
        PyObject* self = alloc(type, 0);
        if (!self) return nullptr;
        EngineObject* object = as_engine(self);
        object->engine = engine.value().release();
        // Only a custom driver's object can lead back to the store; other stores are never
        // part of a cycle and need no tracking.
        if (!object->engine->custom_driver()) PyObject_GC_UnTrack(self);
        return self;
    } ZEL_CATCH_ALL {
        return handle_current_exception(module_state);
    }
}

void engine_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    delete as_engine(self)->engine;  // releases the driver object, if any
    as_engine(self)->engine = nullptr;
    freefunc free_slot = type->tp_free ? type->tp_free : PyObject_GC_Del;
    free_slot(self);
    Py_DECREF(type);
}

int engine_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    Engine* engine = as_engine(self)->engine;
    if (CustomDriver* driver = engine ? engine->custom_driver() : nullptr)
        Py_VISIT(custom_driver_object(*driver));
    return 0;
}

int engine_clear(PyObject* self) {
    Engine* engine = as_engine(self)->engine;
    if (CustomDriver* driver = engine ? engine->custom_driver() : nullptr) clear_custom_driver(*driver);
    return 0;
}

#define ZEL_FAST(name, sig) \
    {#name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(name)), \
     METH_FASTCALL | METH_KEYWORDS, #name sig "\n--\n\n"}
#define ZEL_NOARGS(name) {#name, name, METH_NOARGS, #name "($self)\n--\n\n"}

PyMethodDef kMethods[] = {
    ZEL_FAST(begin_group, "($self, name)"),
    ZEL_NOARGS(end_group),
    ZEL_NOARGS(group),
    ZEL_FAST(contains, "($self, key)"),
    ZEL_FAST(value, "($self, key)"),
    ZEL_FAST(set_value, "($self, key, value)"),
    ZEL_FAST(remove, "($self, key)"),
    ZEL_NOARGS(all_keys),
    ZEL_NOARGS(child_keys),
    ZEL_NOARGS(child_groups),
    ZEL_NOARGS(clear),
    ZEL_NOARGS(sync),
    ZEL_NOARGS(status),
    ZEL_NOARGS(is_writable),
    ZEL_NOARGS(file_name),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef kGetSet[] = {
    {"path", get_path, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot kSlots[] = {
    {Py_tp_doc, const_cast<char*>("ZelSettingEngine(path, driver=None)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(engine_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(engine_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(engine_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(engine_clear)},
    {Py_tp_methods, kMethods},
    {Py_tp_getset, kGetSet},
    {0, nullptr},
};

PyType_Spec kSpec = {
    // Registered without a module of its own: like a built-in class it reports "builtins".
    "builtins.ZelSettingEngine",
    static_cast<int>(sizeof(EngineObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC,
    kSlots,
};

}  // namespace

PyObject* new_engine_type(PyObject* module) {
    return PyType_FromModuleAndSpec(module, &kSpec, nullptr);
}

}  // namespace zel::py
