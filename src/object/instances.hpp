// Instances of the extension's classes: allocation, creation from a record and the collector's
// view. Generic over a class's traits (binding/instance.hpp); nothing here knows a particular
// class.
#pragma once

#include <new>

#include "binding/instance.hpp"
#include "object/types.hpp"

namespace tolbrane {

// `object.__new__(type)`: allocates through the type's tp_alloc, which leaves the instance
// untracked by the cyclic garbage collector and its fields unset.
PyObject* allocate_instance(PyTypeObject* type);

// Whether a reference to `object` may ever close a reference cycle. Objects of types that the
// collector ignores cannot; neither can an untracked tuple or an untracked instance of ours, as
// those never become tracked again. Any other collected object (a dict, even one untracked right
// now) may. NULL cannot. `own_type` is the type of the instance that would hold it.
bool may_join_cycle_slow(PyObject* object, PyTypeObject* own_type);
[[gnu::always_inline]] inline bool may_join_cycle(PyObject* object, PyTypeObject* own_type) {
    if (object == nullptr) return false;
    // The payloads met most often, without a call.
    PyTypeObject* type = Py_TYPE(object);
    if (type == &PyLong_Type || type == &PyUnicode_Type || type == &PyFloat_Type ||
        object == Py_None || type == &PyBool_Type) {
        return false;
    }
    return may_join_cycle_slow(object, own_type);
}

// The class's `TakeHeld`.
template <class Class>
Owned take_held(PyObject* instance) noexcept {
    return instance_cast<Class>(instance)->record.take_held_object();
}

// A new instance of `type` holding `record`; on allocation failure the record is destroyed and
// the interpreter's exception is thrown.
template <class Class>
[[gnu::always_inline]] inline Owned create_instance_of(PyTypeObject* type,
                                                       typename Class::Record&& record) {
    PyObject* raw = allocate_instance(type);
    if (raw == nullptr) throw_fetched();  // the caller's record is destroyed on the way out
    auto* instance = instance_cast<Class>(raw);
    new (&instance->record) typename Class::Record(std::move(record));
    new (&instance->holds) SharedHoldCounter();
    // An instance that can never be part of a cycle costs the collector nothing.
    if (may_join_cycle(instance->record.held_object(), type)) PyObject_GC_Track(raw);
    return Owned::steal(raw);
}

template <class Class>
[[gnu::always_inline]] inline Owned create_instance(typename Class::Record&& record) {
    return create_instance_of<Class>(Class::type(), std::move(record));
}

// The collector's view of an instance: its type and the object its record holds.
template <class Class>
int traverse_instance(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(instance_cast<Class>(self)->record.held_object());
    return 0;
}

}  // namespace tolbrane
