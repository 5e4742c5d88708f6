// Calls into Python code through the vectorcall protocol, positional arguments only, with room
// before the arguments so the callee may reuse the slot (PY_VECTORCALL_ARGUMENTS_OFFSET). A
// failure throws the raised exception unchanged.
#pragma once

#include "binding/errors.hpp"

namespace tolbrane {

inline Owned call_with(PyObject* callable, PyObject* argument) {
    PyObject* frame[2] = {nullptr, argument};
    return require(
        PyObject_Vectorcall(callable, frame + 1, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
}

inline Owned call_with(PyObject* callable, PyObject* first, PyObject* second, PyObject* third) {
    PyObject* frame[4] = {nullptr, first, second, third};
    return require(
        PyObject_Vectorcall(callable, frame + 1, 3 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
}

inline Owned call_without_arguments(PyObject* callable) {
    return require(PyObject_CallNoArgs(callable));
}

}  // namespace tolbrane
