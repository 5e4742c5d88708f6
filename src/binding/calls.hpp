// Calls into Python code through the vectorcall protocol, positional arguments only, with room
// before the arguments so the callee may reuse the slot (PY_VECTORCALL_ARGUMENTS_OFFSET). When
// the callable raises, the result is empty and its exception stays raised, unchanged.
#pragma once

#include "binding/failure.hpp"

namespace tolbrane {

inline Owned call_result(PyObject* result) {
    return result != nullptr ? Owned::steal(result) : pending_failure();
}

inline Owned call_with(PyObject* callable, PyObject* argument) {
    PyObject* frame[2] = {nullptr, argument};
    return call_result(
        PyObject_Vectorcall(callable, frame + 1, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
}

inline Owned call_with(PyObject* callable, PyObject* first, PyObject* second, PyObject* third) {
    PyObject* frame[4] = {nullptr, first, second, third};
    return call_result(
        PyObject_Vectorcall(callable, frame + 1, 3 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
}

inline Owned call_without_arguments(PyObject* callable) {
    return call_result(PyObject_CallNoArgs(callable));
}

}  // namespace tolbrane
