// Type objects and instances of the extension's classes: the process-wide type-object cells,
// type creation from a class definition, instance creation from a record and deallocation.
#pragma once

#include <new>
#include <vector>

#include "binding/instance.hpp"

namespace tolbrane {

// What a class file tells the module layer about its type.
struct ClassDefinition {
    const char* name;       // "Result"
    const char* spec_name;  // "builtins.Result"
    const char* doc;
    std::vector<PyType_Slot> slots;  // the class's own slots, in registration order
    PyMethodDef* methods;            // zero-terminated; lives for the whole process
    int basic_size;
    destructor dealloc;
};

// One class's type object, process-wide: created on first need, never released.
class TypeCell {
public:
    explicit TypeCell(const ClassDefinition& (*definition)()) noexcept : definition_(definition) {}

    // The type object, or the creation error as a thrown PythonError.
    PyTypeObject* lookup();
    // The type object; a creation failure is an internal fault.
    PyTypeObject* get() {
        return type_ != nullptr ? reinterpret_cast<PyTypeObject*>(type_) : get_slow();
    }
    const char* name() const { return definition_().name; }

private:
    PyTypeObject* get_slow();

    const ClassDefinition& (*definition_)();
    PyObject* type_ = nullptr;  // owned for the life of the process
};

// `object.__new__(type)`: allocates through the type's tp_alloc.
PyObject* allocate_instance(PyTypeObject* type);

// A new instance of `type` holding `record`; on allocation failure the record is destroyed and
// the interpreter's exception is thrown.
template <class Class>
Owned create_instance_of(PyTypeObject* type, typename Class::Record&& record) {
    typename Class::Record taken(std::move(record));
    PyObject* raw = allocate_instance(type);
    if (raw == nullptr) throw_fetched();
    auto* instance = instance_cast<Class>(raw);
    new (&instance->record) typename Class::Record(std::move(taken));
    new (&instance->holds) SharedHoldCounter();
    return Owned::steal(raw);
}

template <class Class>
Owned create_instance(typename Class::Record&& record) {
    return create_instance_of<Class>(Class::type(), std::move(record));
}

// Destroys the record, frees the instance and gives back its reference to the type.
template <class Class>
void deallocate_instance(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    using Record = typename Class::Record;
    instance_cast<Class>(self)->record.~Record();
    auto free_instance = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free_instance(self);
    Py_DECREF(type);
}

}  // namespace tolbrane
