// Owning handle for a PyObject reference: the only place reference counts are changed by
// hand. steal() adopts a new reference, borrow() takes a new one, release() hands it back.
#pragma once

#include <Python.h>

#include <utility>

namespace zel::py {

class PyRef {
public:
    PyRef() noexcept = default;
    static PyRef steal(PyObject* o) noexcept { return PyRef(o); }
    static PyRef borrow(PyObject* o) noexcept {
        Py_XINCREF(o);
        return PyRef(o);
    }
    PyRef(PyRef&& o) noexcept : o_(std::exchange(o.o_, nullptr)) {}
    PyRef& operator=(PyRef&& o) noexcept {
        PyRef old(std::move(*this));
        o_ = std::exchange(o.o_, nullptr);
        return *this;
    }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    ~PyRef() { Py_XDECREF(o_); }

    PyObject* get() const noexcept { return o_; }
    PyObject* release() noexcept { return std::exchange(o_, nullptr); }
    explicit operator bool() const noexcept { return o_ != nullptr; }

private:
    explicit PyRef(PyObject* o) noexcept : o_(o) {}
    PyObject* o_ = nullptr;
};

}  // namespace zel::py
