// What the collector and deallocation need to know about both classes at once.
#include "binding/entry.hpp"
#include "maybe_class/maybe.hpp"
#include "module/types.hpp"
#include "result_class/result.hpp"

namespace tolbrane {
namespace {

constexpr destructor result_dealloc = &no_report<deallocate_instance<ResultClass>>;
constexpr destructor maybe_dealloc = &no_report<deallocate_instance<MayBeClass>>;

// Our classes are known by their deallocation function, which is the same for the type objects
// of every interpreter and needs no lookup, so it also serves while an interpreter is finalised.
destructor dealloc_of(PyObject* object) {
    return reinterpret_cast<destructor>(PyType_GetSlot(Py_TYPE(object), Py_tp_dealloc));
}

// `own_type`, the type of the instance at hand, is checked first: most nesting is of one class.
bool is_our_instance(PyObject* object, PyTypeObject* own_type) {
    if (Py_TYPE(object) == own_type) return true;
    const destructor dealloc = dealloc_of(object);
    return dealloc == result_dealloc || dealloc == maybe_dealloc;
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

void release_held_chain(Owned held, PyTypeObject* own_type) noexcept {
    // Emptying the next instance before dropping the current one keeps every deallocation that
    // this loop triggers one level deep. The types met are remembered, as most chains repeat them.
    PyTypeObject* result_type = nullptr;
    PyTypeObject* maybe_type = nullptr;
    while (held && Py_REFCNT(held.get()) == 1) {
        PyTypeObject* type = Py_TYPE(held.get());
        if (type != result_type && type != maybe_type) {
            if (type != own_type && !is_our_instance(held.get(), own_type)) break;
            (dealloc_of(held.get()) == result_dealloc ? result_type : maybe_type) = type;
        }
        held = type == result_type
                   ? instance_cast<ResultClass>(held.get())->record.take_held_object()
                   : instance_cast<MayBeClass>(held.get())->record.take_held_object();
    }
}

}  // namespace tolbrane
