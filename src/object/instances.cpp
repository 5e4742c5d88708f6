// Instance allocation and the collector's tracking decision.
#include "object/instances.hpp"

namespace tolbrane {

PyObject* allocate_instance(PyTypeObject* type) {
    static const auto object_new =
        reinterpret_cast<newfunc>(PyType_GetSlot(&PyBaseObject_Type, Py_tp_new));
    // The empty tuple is one immortal object that every interpreter shares.
    static PyObject* const no_arguments = require_created(PyTuple_New(0)).release();  // kept
    return object_new(type, no_arguments, nullptr);
}

namespace {

// `own_type`, the type of the instance at hand, is checked first: most nesting is of one class.
bool is_our_instance(PyObject* object, PyTypeObject* own_type) {
    return Py_TYPE(object) == own_type || class_of(Py_TYPE(object)) != nullptr;
}

}  // namespace

bool may_join_cycle_slow(PyObject* object, PyTypeObject* own_type) {
    PyTypeObject* type = Py_TYPE(object);
    if ((PyType_GetFlags(type) & Py_TPFLAGS_HAVE_GC) == 0) return false;
    if (type == &PyTuple_Type || is_our_instance(object, own_type)) {
        return PyObject_GC_IsTracked(object);
    }
    return true;
}

}  // namespace tolbrane
