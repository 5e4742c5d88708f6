// The instances whose deallocation was put aside, one list per class, and their destruction.
#include <new>

#include "maybe_class/maybe.hpp"
#include "module/types.hpp"
#include "result_class/result.hpp"

namespace tolbrane::teardown {
namespace {

// The instance put aside last, whose hold counter links it to the one before.
template <class Class>
constinit thread_local PyObject* last_put_aside = nullptr;

// An instance being deallocated has no hold left on it, so its counter's storage is free to hold
// the link: putting an instance aside never allocates and so cannot fail.
template <class Class>
void* link_storage(PyObject* instance) noexcept {
    auto* holds = &instance_cast<Class>(instance)->holds;
    static_assert(sizeof(PyObject*) <= sizeof(*holds) &&
                  alignof(PyObject*) <= alignof(SharedHoldCounter));
    return holds;
}

template <class Class>
bool destroy_one() noexcept {
    PyObject* instance = last_put_aside<Class>;
    if (instance == nullptr) return false;
    last_put_aside<Class> = *std::launder(static_cast<PyObject**>(link_storage<Class>(instance)));
    --nesting.put_aside;
    // One level below the one that destroys, so that what it releases is put aside in turn.
    const Level level;
    destroy_instance<Class>(instance);
    return true;
}

}  // namespace

template <class Class>
void put_aside(PyObject* self) noexcept {
    instance_cast<Class>(self)->holds.~SharedHoldCounter();
    new (link_storage<Class>(self)) PyObject*(last_put_aside<Class>);
    last_put_aside<Class> = self;
    ++nesting.put_aside;
}

template void put_aside<ResultClass>(PyObject* self) noexcept;
template void put_aside<MayBeClass>(PyObject* self) noexcept;

[[gnu::noinline]] void destroy_put_aside() noexcept {
    while (destroy_one<ResultClass>() || destroy_one<MayBeClass>()) {
    }
}

}  // namespace tolbrane::teardown
