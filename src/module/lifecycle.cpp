// What the collector and deallocation need to know about both classes at once.
#include "maybe_class/maybe.hpp"
#include "module/types.hpp"
#include "result_class/result.hpp"

namespace tolbrane {
namespace {

bool is_our_instance(PyObject* object) {
    PyTypeObject* type = Py_TYPE(object);
    return type == result_type_cell.peek() || type == maybe_type_cell.peek();
}

// Takes the held object out of an instance of ours whose last reference the caller holds.
Owned take_from_instance(PyObject* object) {
    if (Py_TYPE(object) == result_type_cell.peek()) {
        return instance_cast<ResultClass>(object)->record.take_held_object();
    }
    return instance_cast<MayBeClass>(object)->record.take_held_object();
}

}  // namespace

bool may_join_cycle(PyObject* object) {
    if (object == nullptr) return false;
    PyTypeObject* type = Py_TYPE(object);
    // The payloads met most often, without asking the type for its flags.
    if (type == &PyLong_Type || type == &PyUnicode_Type || type == &PyFloat_Type ||
        object == Py_None || type == &PyBool_Type) {
        return false;
    }
    if ((PyType_GetFlags(type) & Py_TPFLAGS_HAVE_GC) == 0) return false;
    if (type == &PyTuple_Type || is_our_instance(object)) return PyObject_GC_IsTracked(object);
    return true;
}

void release_held_chain(Owned held) noexcept {
    // Emptying the next instance before dropping the current one keeps every deallocation that
    // this loop triggers one level deep.
    while (held && Py_REFCNT(held.get()) == 1 && is_our_instance(held.get())) {
        Owned next = take_from_instance(held.get());
        held = std::move(next);
    }
}

}  // namespace tolbrane
