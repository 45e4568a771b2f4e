// Conversions between Python objects and Value trees. Python-to-value refuses containers
// that contain themselves and nesting deeper than kMaxConversionDepth; value-to-Python is
// iterative and handles any depth.
#pragma once

#include <Python.h>

#include <string_view>

#include "python/pyref.hpp"
#include "value/error.hpp"
#include "value/value.hpp"

namespace zel::py {

struct ModuleState;

inline constexpr int kMaxConversionDepth = 512;

// Never leaves a Python exception set: failures come back as ErrorKind::Conversion. `state`
// is the calling store's module state (its lookups of the abstract base classes).
Result<Value> to_value(PyObject* object, ModuleState& state);

// A new reference; on failure nullptr with the Python exception set.
PyRef to_python(const Value& value);

// A new str from UTF-8 text; on failure nullptr with the Python exception set.
PyRef str_from_utf8(std::string_view text);

// Text of a failed to_python (the exception is cleared), unless the failure is MemoryError,
// which is left set for the caller to raise as it is; returns false in that case.
bool take_conversion_failure(std::string& text);

}  // namespace zel::py
