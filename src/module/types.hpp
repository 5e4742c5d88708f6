// Type objects and instances of the extension's classes: the type-object cells (one type object
// per class and interpreter), type creation from a class definition, instance creation from a
// record and deallocation.
#pragma once

#include <new>
#include <span>

#include "binding/instance.hpp"
#include "binding/interpreter.hpp"

namespace tolbrane {

// What a class file tells the module layer about its type.
struct ClassDefinition {
    const char* name;       // "Result"
    const char* spec_name;  // "builtins.Result"
    const char* doc;
    std::span<const PyType_Slot> slots;  // the class's own slots, in registration order
    PyMethodDef* methods;                // zero-terminated; lives for the whole process
    int basic_size;
    destructor dealloc;
    traverseproc traverse;
};

// One class's type object in each interpreter: created there on first need, released when that
// interpreter ends. Within one interpreter every lookup gives the same type object.
class TypeCell {
public:
    explicit TypeCell(const ClassDefinition& (*definition)()) noexcept : definition_(definition) {}

    // The type object, or the creation error as a thrown PythonError.
    PyTypeObject* lookup();
    // The type object; a creation failure is an internal fault.
    PyTypeObject* get() {
        PyObject* type = slot_.get();
        return type != nullptr ? reinterpret_cast<PyTypeObject*>(type) : get_slow();
    }
    const char* name() const { return definition_().name; }

private:
    PyTypeObject* get_slow();

    const ClassDefinition& (*definition_)();
    InterpreterSlot slot_;
};

// `object.__new__(type)`: allocates through the type's tp_alloc, which also starts tracking the
// instance in the cyclic garbage collector.
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

// Releases the object that a destroyed record held. A chain of our own instances, each holding
// the last reference to the next, is freed in a loop rather than by recursion, so freeing a deep
// chain does not exhaust the C stack.
// `own_type` is the type of the destroyed instance.
void release_held_chain(Owned held, PyTypeObject* own_type) noexcept;

inline void release_held(Owned held, PyTypeObject* own_type) noexcept {
    // Only a last reference can start a chain; anything else is just given back.
    if (held && Py_REFCNT(held.get()) == 1) release_held_chain(std::move(held), own_type);
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
    if (!may_join_cycle(instance->record.held_object(), type)) PyObject_GC_UnTrack(raw);
    return Owned::steal(raw);
}

template <class Class>
[[gnu::always_inline]] inline Owned create_instance(typename Class::Record&& record) {
    return create_instance_of<Class>(Class::type(), std::move(record));
}

// Stops tracking the instance, destroys its record, frees it, releases the object the record
// held and gives back its reference to the type.
template <class Class>
void deallocate_instance(PyObject* self) {
    PyObject_GC_UnTrack(self);
    PyTypeObject* type = Py_TYPE(self);
    using Record = typename Class::Record;
    Record& record = instance_cast<Class>(self)->record;
    Owned held = record.take_held_object();
    record.~Record();
    // Both classes are collected types with object as their base: PyObject_GC_Del frees them.
    static const auto free_instance = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free_instance(self);
    // The instance's reference to its type is given back after the held chain, which compares
    // types with it.
    const Owned type_reference = Owned::steal(reinterpret_cast<PyObject*>(type));
    release_held(std::move(held), type);
}

// The collector's view of an instance: its type and the object its record holds.
template <class Class>
int traverse_instance(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(instance_cast<Class>(self)->record.held_object());
    return 0;
}

}  // namespace tolbrane
