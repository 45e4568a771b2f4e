// Python <-> Value conversion. The order of type tests, the integer and float rules and the
// error texts are fixed; cycles and runaway nesting end in a conversion error.
#include "python/convert.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "python/errors.hpp"
#include "python/module_state.hpp"

namespace zel::py {
namespace {

Error conversion_error(std::string text) { return make_error(ErrorKind::Conversion, std::move(text)); }
Error python_failure() { return conversion_error(take_exception_text()); }

// The lookups of `state`, made on first need; false with the Python error set when one fails.
bool load_dataclasses(ModuleState& state) {
    PyMutex_Lock(&state.lookups);
    if (!state.dataclass_fields) {
        PyRef module = PyRef::steal(PyImport_ImportModule("dataclasses"));
        PyObject* fields = module ? PyObject_GetAttrString(module.get(), "fields") : nullptr;
        PyObject* field_type = fields ? PyObject_GetAttrString(module.get(), "Field") : nullptr;
        if (fields && field_type) {
            state.dataclass_field_type = field_type;
            state.dataclass_fields = fields;
        } else {
            Py_XDECREF(fields);
        }
    }
    const bool ok = state.dataclass_fields != nullptr;
    PyMutex_Unlock(&state.lookups);
    return ok;
}

bool load_abcs(ModuleState& state) {
    PyMutex_Lock(&state.lookups);
    bool ok = state.sequence_abc && state.mapping_abc;
    if (!ok) {
        PyRef module = PyRef::steal(PyImport_ImportModule("collections.abc"));
        if (module) {
            PyObject* sequence = PyObject_GetAttrString(module.get(), "Sequence");
            PyObject* mapping = sequence ? PyObject_GetAttrString(module.get(), "Mapping") : nullptr;
            if (sequence && mapping) {
                state.sequence_abc = sequence;
                state.mapping_abc = mapping;
                ok = true;
            } else {
                Py_XDECREF(sequence);
            }
        }
    }
    PyMutex_Unlock(&state.lookups);
    return ok;
}

// isinstance against an ABC; an exception goes to the unraisable hook and counts as false.
bool is_instance_of_abc(PyObject* object, PyObject* abc) {
    int result = PyObject_IsInstance(object, abc);
    if (result < 0) {
        PyErr_WriteUnraisable(object);
        return false;
    }
    return result == 1;
}

class ToValue {
public:
    explicit ToValue(ModuleState& state) : state_(state) {}

    Result<Value> convert(PyObject* o) {
        if (o == Py_None) return Value::null();
        PyTypeObject* type = Py_TYPE(o);
        if (type == &PyBool_Type) {
            int truth = PyObject_IsTrue(o);
            if (truth < 0) return python_failure();
            return Value::boolean(truth == 1);
        }
        if (PyLong_Check(o)) return integer(o);
        if (PyList_Check(o) || PyTuple_Check(o)) return sequence(o);
        if (PyDict_Check(o)) return mapping(o);
        if (PyUnicode_Check(o)) return string(o);
        if (type == &PyByteArray_Type || PyBytes_Check(o) ||
            PyType_IsSubtype(type, &PyByteArray_Type)) {
            if (PyBytes_Check(o))
                return conversion_error("invalid type: byte array, expected any valid JSON value");
            return conversion_error("unexpected type: " + cast_text(o, "bytes"));
        }
        if (PyFloat_Check(o)) {
            double d = PyFloat_AsDouble(o);
            if (d == -1.0 && PyErr_Occurred()) return python_failure();
            return Value::floating(d);
        }
        if (PyAnySet_Check(o)) return set(o);
        if (!load_abcs(state_)) return python_failure();
        if (is_instance_of_abc(o, state_.sequence_abc)) return sequence(o);
        if (is_instance_of_abc(o, state_.mapping_abc)) return mapping(o);
        if (has_dataclass_fields(o)) return dataclass(o);
        std::string name;
        PyRef qualname = PyRef::steal(PyType_GetQualName(type));
        const char* text = qualname ? PyUnicode_AsUTF8(qualname.get()) : nullptr;
        if (text) {
            name = text;
        } else {
            PyErr_Clear();
            name = "unknown";
        }
        return conversion_error("unsupported type " + name);
    }

private:
    // Guards entry into a container: refuses cycles and excessive depth.
    class Enter {
    public:
        Enter(ToValue& self, PyObject* container) : self_(self) {
            for (PyObject* open : self.path_)
                if (open == container) {
                    error_ = "value contains itself: a container holds a reference to itself, "
                             "directly or through its members";
                    return;
                }
            if (static_cast<int>(self.path_.size()) >= kMaxConversionDepth) {
                error_ = "value is nested more than " + std::to_string(kMaxConversionDepth) +
                         " levels deep";
                return;
            }
            self.path_.push_back(container);
            entered_ = true;
        }
        ~Enter() {
            if (entered_) self_.path_.pop_back();
        }
        bool failed() const { return !entered_; }
        Error error() const { return conversion_error(error_); }

    private:
        ToValue& self_;
        bool entered_ = false;
        std::string error_;
    };

    // Python ints within 128 bits are read as 16 little-endian bytes (no 128-bit integer type
    // is needed, which 32-bit targets lack); the value fits 64 bits when the high 8 bytes
    // only extend the low 8.
    Result<Value> integer(PyObject* o) {
        if (PyLong_CheckExact(o)) {
            int overflow = 0;
            const long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
            if (!overflow && !(v == -1 && PyErr_Occurred())) return Value::integer(v);
            PyErr_Clear();
        }
        PyRef index = PyRef::steal(PyNumber_Index(o));
        if (!index) return python_failure();
        unsigned char buffer[16];
        Py_ssize_t needed = PyLong_AsNativeBytes(
            index.get(), buffer, sizeof buffer,
            Py_ASNATIVEBYTES_LITTLE_ENDIAN | Py_ASNATIVEBYTES_UNSIGNED_BUFFER |
                Py_ASNATIVEBYTES_REJECT_NEGATIVE);
        if (needed >= 0 && needed <= static_cast<Py_ssize_t>(sizeof buffer)) {
            if (!high_half_is(buffer, 0x00)) return conversion_error("JSON number out of range");
            return Value::uinteger(low_half(buffer));
        }
        PyErr_Clear();
        needed = PyLong_AsNativeBytes(index.get(), buffer, sizeof buffer,
                                      Py_ASNATIVEBYTES_LITTLE_ENDIAN);
        if (needed < 0) return python_failure();
        if (needed > static_cast<Py_ssize_t>(sizeof buffer))
            return conversion_error("OverflowError: Python int larger than 128 bits");
        // Negative here: it fits 64 bits when the high half is all ones and the low half's top
        // bit is set (two's complement sign extension).
        const std::uint64_t low = low_half(buffer);
        if (!high_half_is(buffer, 0xFF) || (low >> 63) == 0)
            return conversion_error("JSON number out of range");
        return Value::integer(static_cast<std::int64_t>(low));
    }

    static std::uint64_t low_half(const unsigned char (&bytes)[16]) {
        std::uint64_t value = 0;
        for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
        return value;
    }

    static bool high_half_is(const unsigned char (&bytes)[16], unsigned char fill) {
        for (int i = 8; i < 16; ++i)
            if (bytes[i] != fill) return false;
        return true;
    }

    Result<Value> string(PyObject* o) {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(o, &size);
        if (!text) return python_failure();
        return Value::string(std::string_view(text, static_cast<std::size_t>(size)));
    }

    Result<Value> sequence(PyObject* o) {
        Enter enter(*this, o);
        if (enter.failed()) return enter.error();
        if (PyList_CheckExact(o)) return items_of(o);
        Py_ssize_t length = PyObject_Size(o);
        if (length < 0) return python_failure();
        Array items;
        // A length is a claim, not a promise: reserve no more than a modest start.
        items.reserve(std::min<std::size_t>(static_cast<std::size_t>(length), 4096));
        for (Py_ssize_t i = 0; i < length; ++i) {
            PyRef item = PyRef::steal(PySequence_GetItem(o, i));
            if (!item) return python_failure();
            Result<Value> converted = convert(item.get());
            if (!converted) return std::move(converted).error();
            items.push_back(std::move(converted).value());
        }
        return Value::array(std::move(items));
    }

    Result<Value> set(PyObject* o) {
        Enter enter(*this, o);
        if (enter.failed()) return enter.error();
        PyRef iterator = PyRef::steal(PyObject_GetIter(o));
        if (!iterator) return python_failure();
        Array items;
        while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
            Result<Value> converted = convert(item.get());
            if (!converted) return std::move(converted).error();
            items.push_back(std::move(converted).value());
        }
        if (PyErr_Occurred()) return python_failure();
        return Value::array(std::move(items));
    }

    static bool has_dataclass_fields(PyObject* o) {
        int found = PyObject_HasAttrStringWithError(o, "__dataclass_fields__");
        if (found < 0) {
            PyErr_Clear();
            return false;
        }
        return found == 1;
    }

    // An exact list: its items as they were at one moment. Another thread (or a member's own
    // conversion code) may change the list meanwhile; the copy is taken under the list's lock.
    Result<Value> items_of(PyObject* list) {
        PyRef snapshot = PyRef::steal(PyList_GetSlice(list, 0, PY_SSIZE_T_MAX));
        if (!snapshot) return python_failure();
        const Py_ssize_t length = PyList_GET_SIZE(snapshot.get());
        Array items;
        items.reserve(static_cast<std::size_t>(length));
        for (Py_ssize_t i = 0; i < length; ++i) {
            Result<Value> converted = convert(PyList_GET_ITEM(snapshot.get(), i));
            if (!converted) return std::move(converted).error();
            items.push_back(std::move(converted).value());
        }
        return Value::array(std::move(items));
    }

    // An exact dict: its entries as they were at one moment (a copy taken under the dict's
    // lock), so keys are never paired with another entry's value. Its keys and values come in
    // the same order as from its keys() and values().
    Result<Value> entries_of(PyObject* dict) {
        PyRef snapshot = PyRef::steal(PyDict_Copy(dict));
        if (!snapshot) return python_failure();
        Value object = Value::object();
        Py_ssize_t position = 0;
        PyObject* key;  // borrowed from the copy, which nothing else can reach
        PyObject* item;
        while (PyDict_Next(snapshot.get(), &position, &key, &item)) {
            if (!PyUnicode_Check(key))
                return conversion_error("unexpected type: " + cast_text(key, "str"));
            Py_ssize_t size = 0;
            const char* text = PyUnicode_AsUTF8AndSize(key, &size);
            if (!text) return python_failure();
            Result<Value> converted = convert(item);
            if (!converted) return std::move(converted).error();
            object.set(std::string_view(text, static_cast<std::size_t>(size)),
                       std::move(converted).value());
        }
        return object;
    }

    Result<Value> mapping(PyObject* o) {
        if (has_dataclass_fields(o)) return dataclass(o);
        Enter enter(*this, o);
        if (enter.failed()) return enter.error();
        if (PyDict_CheckExact(o)) return entries_of(o);
        PyRef keys = PyRef::steal(PyMapping_Keys(o));
        if (!keys) return python_failure();
        PyRef values = PyRef::steal(PyMapping_Values(o));
        if (!values) return python_failure();
        Py_ssize_t count = PyMapping_Size(o);
        if (count < 0) return python_failure();
        Value object = Value::object();
        for (Py_ssize_t i = 0; i < count; ++i) {
            PyRef key = PyRef::steal(PySequence_GetItem(keys.get(), i));
            if (!key) return python_failure();
            if (!PyUnicode_Check(key.get()))
                return conversion_error("unexpected type: " + cast_text(key.get(), "str"));
            Py_ssize_t size = 0;
            const char* text = PyUnicode_AsUTF8AndSize(key.get(), &size);
            if (!text) return python_failure();
            PyRef item = PyRef::steal(PySequence_GetItem(values.get(), i));
            if (!item) return python_failure();
            Result<Value> converted = convert(item.get());
            if (!converted) return std::move(converted).error();
            object.set(std::string_view(text, static_cast<std::size_t>(size)),
                       std::move(converted).value());
        }
        return object;
    }

    // A field dict made of field objects, as the dataclass decorator writes it: the fields
    // dataclasses.fields() reports (so not ClassVar or InitVar pseudo-fields). Any other dict
    // (a hand-written stand-in): its keys, in order, are the field names. Either way each field
    // is read by attribute access (so slotted classes and fields outside __init__ work).
    Result<Value> dataclass(PyObject* o) {
        Enter enter(*this, o);
        if (enter.failed()) return enter.error();
        PyRef declared = PyRef::steal(PyObject_GetAttrString(o, "__dataclass_fields__"));
        if (!declared) return python_failure();
        if (!PyDict_Check(declared.get()))
            return conversion_error("unexpected type: " + cast_text(declared.get(), "dict"));
        if (!load_dataclasses(state_)) return python_failure();
        // One snapshot of the dict, which another thread may be changing.
        PyRef snapshot = PyRef::steal(PyDict_Copy(declared.get()));
        if (!snapshot) return python_failure();
        bool all_fields = true;
        {
            Py_ssize_t position = 0;
            PyObject* key;
            PyObject* value;
            while (all_fields && PyDict_Next(snapshot.get(), &position, &key, &value)) {
                const int is_field = PyObject_IsInstance(value, state_.dataclass_field_type);
                if (is_field < 0) return python_failure();
                all_fields = is_field == 1;
            }
        }
        PyRef names;
        if (all_fields) {
            PyRef fields = PyRef::steal(PyObject_CallOneArg(state_.dataclass_fields, o));
            if (!fields) return python_failure();
            PyRef sequence =
                PyRef::steal(PySequence_Fast(fields.get(), "fields() must be a sequence"));
            if (!sequence) return python_failure();
            const Py_ssize_t count = PySequence_Fast_GET_SIZE(sequence.get());
            names = PyRef::steal(PyList_New(count));
            if (!names) return python_failure();
            for (Py_ssize_t i = 0; i < count; ++i) {
                PyObject* name =
                    PyObject_GetAttrString(PySequence_Fast_GET_ITEM(sequence.get(), i), "name");
                if (!name) return python_failure();
                PyList_SET_ITEM(names.get(), i, name);
            }
        } else {
            names = PyRef::steal(PyDict_Keys(snapshot.get()));
            if (!names) return python_failure();
        }
        std::vector<Member> members;
        const Py_ssize_t count = PyList_GET_SIZE(names.get());
        for (Py_ssize_t i = 0; i < count; ++i) {
            PyObject* name = PyList_GET_ITEM(names.get(), i);  // names is ours alone
            if (!PyUnicode_Check(name))
                return conversion_error("unexpected type: " + cast_text(name, "str"));
            PyRef item = PyRef::steal(PyObject_GetAttr(o, name));
            if (!item) return python_failure();
            Result<Value> converted = convert(item.get());
            if (!converted) return std::move(converted).error();
            Py_ssize_t size = 0;
            const char* text = PyUnicode_AsUTF8AndSize(name, &size);
            if (!text) return python_failure();
            members.push_back(Member{Value::string(std::string_view(text, static_cast<std::size_t>(size))),
                                     std::move(converted).value()});
        }
        return Value::object(Object::from_members(members.data(), members.size()));
    }

    ModuleState& state_;
    std::vector<PyObject*> path_;
};

}  // namespace

Result<Value> to_value(PyObject* object, ModuleState& state) { return ToValue(state).convert(object); }

PyRef container_to_python(const Value& value) {
    PyRef root = node_to_python(value);
    if (!root) return root;
    // Containers are linked into their parent as soon as they are made, so releasing the
    // root on failure releases everything built so far.
    struct Frame {
        const Value* node;
        PyObject* container;  // borrowed: owned by its parent or by root
        std::size_t index;
        Object::const_iterator next;
    };
    std::vector<Frame> stack;
    auto push = [&stack](const Value& node, PyObject* container) {
        stack.push_back(Frame{&node, container, 0,
                              node.is_object() ? node.as_object().begin()
                                               : Object::const_iterator()});
    };
    push(value, root.get());
    while (!stack.empty()) {
        Frame& top = stack.back();
        const Value* child = nullptr;
        PyRef key;
        if (top.node->is_array()) {
            const Array& items = top.node->as_array();
            if (top.index == items.size()) {
                stack.pop_back();
                continue;
            }
            child = &items[top.index];
        } else {
            const Object& members = top.node->as_object();
            if (top.next == members.end()) {
                stack.pop_back();
                continue;
            }
            const std::string_view name = top.next->name();
            key = PyRef::steal(PyUnicode_DecodeUTF8(name.data(), static_cast<Py_ssize_t>(name.size()),
                                                   "strict"));
            if (!key) return PyRef();
            child = &top.next->value;
        }
        PyRef item = node_to_python(*child);
        if (!item) return PyRef();
        PyObject* container = item.get();
        if (top.node->is_array()) {
            PyList_SET_ITEM(top.container, static_cast<Py_ssize_t>(top.index), item.release());
            ++top.index;
        } else {
            if (PyDict_SetItem(top.container, key.get(), item.get()) < 0) return PyRef();
            ++top.next;
        }
        if (child->is_array() || child->is_object()) push(*child, container);  // invalidates top
    }
    return root;
}

PyRef str_from_utf8(std::string_view text) {
    return PyRef::steal(
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict"));
}

bool take_conversion_failure(std::string& text) {
    if (PyErr_ExceptionMatches(PyExc_MemoryError)) return false;
    text = take_exception_text();
    return true;
}

}  // namespace zel::py
