// Instance allocation and what deallocation needs to know about every class at once: the
// collector's tracking decision, the iterative release of chains and the instances put aside.
#include "object/instances.hpp"
#include "object/types.hpp"

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

void release_held_chain(Owned held, PyTypeObject* own_type, TakeHeld own_take_held) noexcept {
    // Emptying the next instance before dropping the current one keeps every deallocation that
    // this loop triggers one level deep. The last class met is remembered, as most chains repeat
    // it; the destroyed instance's own class needs no lookup.
    PyTypeObject* known_type = own_type;
    TakeHeld known_take_held = own_take_held;
    while (held && Py_REFCNT(held.get()) == 1) {
        PyTypeObject* type = Py_TYPE(held.get());
        if (type != known_type) {
            const ClassDescription* found = class_of(type);
            if (found == nullptr) break;
            known_type = type;
            known_take_held = found->take_held;
        }
        held = known_take_held(held.get());
    }
}

namespace teardown {

[[gnu::noinline]] void destroy_put_aside() noexcept {
    bool destroyed = true;
    while (destroyed) {
        destroyed = false;
        for (const TypeCell* cell = TypeCell::first(); cell != nullptr; cell = cell->next()) {
            while (cell->description().destroy_one_put_aside()) destroyed = true;
        }
    }
}

Suspension::Suspension() noexcept : nesting_(nesting) {
    // The new teardown's first deallocation is its level kLevels, which destroys what it puts
    // aside before this scope ends.
    nesting = {kLevels - 1, 0, nullptr};
    std::size_t index = 0;
    for (const TypeCell* cell = TypeCell::first(); cell != nullptr; cell = cell->next()) {
        PyObject** list = cell->description().put_aside_list();
        put_aside_[index++] = *list;
        *list = nullptr;
    }
}

Suspension::~Suspension() {
    nesting = nesting_;
    std::size_t index = 0;
    for (const TypeCell* cell = TypeCell::first(); cell != nullptr; cell = cell->next()) {
        *cell->description().put_aside_list() = put_aside_[index++];
    }
}

}  // namespace teardown
}  // namespace tolbrane
