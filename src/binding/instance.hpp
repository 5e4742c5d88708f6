// The layout of an instance of the extension's classes, the shared read hold, the type test and
// the receiver check.
//
// A class is described to the binding layer by a small traits struct:
//     struct SomeClass {
//         using Record = ...;                   // the value an instance holds
//         static constexpr const char* name;    // the class name, for messages
//         static PyTypeObject* type();          // the type object, created on first need
//     };
#pragma once

#include <atomic>
#include <cstddef>

#include "binding/errors.hpp"

namespace tolbrane {

// Counts the shared read holds on an instance. No operation takes an exclusive hold, so taking a
// shared one always succeeds, and holds nest when called code re-enters the same instance.
class SharedHoldCounter {
public:
    void acquire() noexcept {
        std::size_t current = count_.load(std::memory_order_relaxed);
        while (!count_.compare_exchange_weak(current, current + 1, std::memory_order_acquire,
                                             std::memory_order_relaxed)) {
        }
    }
    void release() noexcept { count_.fetch_sub(1, std::memory_order_release); }

private:
    std::atomic<std::size_t> count_{0};
};

template <class Record>
struct Instance {
    PyObject ob_base;
    Record record;
    SharedHoldCounter holds;
};

template <class Class>
using InstanceOf = Instance<typename Class::Record>;

template <class Class>
InstanceOf<Class>* instance_cast(PyObject* object) noexcept {
    return reinterpret_cast<InstanceOf<Class>*>(object);
}

// The type test: `object`'s type is the class or a subtype of it.
template <class Class>
[[gnu::always_inline]] inline bool is_instance(PyObject* object) {
    PyTypeObject* type = Class::type();
    return Py_TYPE(object) == type || PyType_IsSubtype(Py_TYPE(object), type);
}

// A shared read hold on an instance already known to be of the class, for one scope.
template <class Class>
class SharedRead {
public:
    explicit SharedRead(PyObject* object) noexcept : instance_(instance_cast<Class>(object)) {
        instance_->holds.acquire();
    }
    SharedRead(const SharedRead&) = delete;
    SharedRead& operator=(const SharedRead&) = delete;
    ~SharedRead() { instance_->holds.release(); }

    const typename Class::Record& operator*() const noexcept { return instance_->record; }
    const typename Class::Record* operator->() const noexcept { return &instance_->record; }

private:
    InstanceOf<Class>* instance_;  // borrowed: the caller keeps the object alive
};

// `object` as an instance of the class, under a shared read hold; a TypeError naming the class
// otherwise. Serves both the receiver check and the type test of a value, on every call's path.
template <class Class>
[[gnu::always_inline]] inline SharedRead<Class> read_as(PyObject* object) {
    if (!is_instance<Class>(object)) [[unlikely]]
        throw_type_mismatch(object, Class::name);
    return SharedRead<Class>(object);
}

}  // namespace tolbrane
