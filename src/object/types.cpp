// Type creation from a class description, the type-object cells and the class lookup by type.
#include "object/types.hpp"

#include <array>
#include <string>

#include "binding/errors.hpp"
#include "runtime/fault.hpp"

namespace tolbrane {
namespace {

// The most slots a class has of its own; the type adds its doc, methods, base, allocation,
// deallocation, traversal and the terminating entry.
constexpr std::size_t kMaxClassSlots = 8;

// The types' tp_alloc, which object.__new__ calls: PyType_GenericAlloc but for the tracking, which
// instance creation starts only when the payload may close a cycle, and for the zeroing, as
// creation constructs every field at once. The classes have no items.
PyObject* allocate_untracked(PyTypeObject* type, Py_ssize_t) noexcept {
    return PyObject_GC_New(PyObject, type);
}

Owned create_type_object(const ClassDescription& definition) {
    if (definition.slots.size() > kMaxClassSlots) raise_fault("a class has too many slots");
    std::array<PyType_Slot, kMaxClassSlots + 7> slots{};
    std::size_t count = 0;
    const auto append = [&](int slot, void* pointer) { slots[count++] = {slot, pointer}; };
    if (definition.doc[0] != '\0') append(Py_tp_doc, const_cast<char*>(definition.doc));
    bool has_new = false;
    for (const PyType_Slot& slot : definition.slots) {
        append(slot.slot, slot.pfunc);
        has_new = has_new || slot.slot == Py_tp_new;
    }
    append(Py_tp_methods, definition.methods);
    append(Py_tp_base, &PyBaseObject_Type);
    append(Py_tp_alloc, reinterpret_cast<void*>(&allocate_untracked));
    append(Py_tp_dealloc, reinterpret_cast<void*>(definition.dealloc));
    append(Py_tp_traverse, reinterpret_cast<void*>(definition.traverse));
    append(0, nullptr);

    PyType_Spec spec{
        definition.spec_name,
        definition.basic_size,
        0,
        // Instances take part in cyclic garbage collection: a payload may refer back to them.
        static_cast<unsigned>(Py_TPFLAGS_HAVE_GC) |
            (has_new ? 0u : static_cast<unsigned>(Py_TPFLAGS_DISALLOW_INSTANTIATION)),
        slots.data(),
    };
    PyObject* type = PyType_FromSpec(&spec);
    if (type == nullptr) throw PythonError::fetch();
    return Owned::steal(type);
}

}  // namespace

TypeCell::TypeCell(const ClassDescription& description) noexcept
    : description_(description), next_(first_) {
    first_ = this;
    ++count_;
}

const ClassDescription* class_of(PyTypeObject* type) {
    // Known by the deallocation function, which is the same for the type objects of every
    // interpreter and needs no lookup, so it also serves while an interpreter is finalised.
    const auto dealloc = reinterpret_cast<destructor>(PyType_GetSlot(type, Py_tp_dealloc));
    for (const TypeCell* cell = TypeCell::first(); cell != nullptr; cell = cell->next()) {
        if (cell->description().dealloc == dealloc) return &cell->description();
    }
    return nullptr;
}

PyTypeObject* TypeCell::lookup() {
    // Module execution comes here first in every interpreter, so it asks which one it runs in.
    InterpreterStore& store = InterpreterStore::current_checked();
    PyObject* type = store.get(slot_);
    // Creation may let another thread run: the first type stored is the one everyone uses.
    if (type == nullptr) type = store.fill(slot_, create_type_object(description_));
    return reinterpret_cast<PyTypeObject*>(type);
}

PyTypeObject* TypeCell::get_slow() {
    try {
        return lookup();
    } catch (PythonError& error) {
        std::move(error).raise();
        PyErr_WriteUnraisable(nullptr);
        raise_fault(std::string("failed to create type object for `") + description_.name + "`");
    }
}
}  // namespace tolbrane
