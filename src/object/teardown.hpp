// Deallocation of the extension's instances, with its bounded teardown of deep chains. Generic
// over a class's traits; the classes are found through their descriptions (object/types.hpp).
#pragma once

#include <cstddef>
#include <new>

#include "object/instances.hpp"

namespace tolbrane {

// Releases the object that a destroyed record held. A chain of our own instances, each holding
// the last reference to the next, is freed in a loop rather than by recursion, so freeing a deep
// chain does not exhaust the C stack. `own_type` and `own_take_held` are the destroyed instance's.
void release_held_chain(Owned held, PyTypeObject* own_type, TakeHeld own_take_held) noexcept;

template <class Class>
inline void release_held(Owned held, PyTypeObject* own_type) noexcept {
    // Only a last reference can start a chain; anything else is just given back.
    if (held && Py_REFCNT(held.get()) == 1) {
        release_held_chain(std::move(held), own_type, &take_held<Class>);
    }
}

// Deallocations of our instances nest when an object that one of them held releases another one
// of ours, as the lists do in Ok([Ok([...])]), and CPython's own deferral of deep container
// teardown does not count our levels. So the nesting is counted per thread: an instance whose
// deallocation would run deeper than kLevels is put aside instead, and the deallocation at level
// kLevels destroys those in a loop as it ends. Freeing a chain of any depth then takes a bounded
// C stack, whatever lies between its instances.
//
// Instances put aside are destroyed under the thread state that put them aside, as they belong to
// its interpreter. A finaliser deep in one teardown may switch the thread to another thread state
// (a sub-interpreter's): there the first deallocation that runs deeper than kLevels suspends the
// teardown in progress and starts one of its own, which ends before the other resumes.
namespace teardown {

inline constexpr unsigned kLevels = 8;

struct Nesting {
    unsigned depth;         // our deallocations running on this thread
    std::size_t put_aside;  // instances put aside and not destroyed yet
    PyThreadState* owner;   // the thread state of the running level kLevels
};
// Every deallocation reads the nesting: the initial-exec model makes that one load, where the
// general one calls into the dynamic linker. The extension's few bytes of thread-local storage fit
// in the static reserve that the C library keeps for modules loaded later.
[[gnu::tls_model("initial-exec")]] inline constinit thread_local Nesting nesting{};

// Destroys every instance put aside, of every class, and those put aside meanwhile.
void destroy_put_aside() noexcept;

// One level of nesting, for the scope of one deallocation.
class Level {
public:
    Level() noexcept : nesting_(nesting) {
        if (++nesting_.depth >= kLevels) [[unlikely]] {
            enter_deep();
        }
    }
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;
    ~Level() {
        if (nesting_.depth == kLevels && nesting_.put_aside != 0) [[unlikely]] {
            destroy_put_aside();
        }
        --nesting_.depth;
    }

    // Whether this deallocation runs as usual, is put aside, or starts a teardown of its own.
    enum class Course : unsigned char { run, put_aside, own_teardown };
    Course course() const noexcept { return course_; }

private:
    void enter_deep() noexcept {
        // Only the thread state of the level that destroys the instances put aside may put one
        // aside; another one, switched to by a finaliser, starts its own teardown.
        if (nesting_.depth == kLevels) {
            nesting_.owner = PyThreadState_Get();
        } else {
            course_ =
                nesting_.owner == PyThreadState_Get() ? Course::put_aside : Course::own_teardown;
        }
    }

    Nesting& nesting_;
    Course course_ = Course::run;
};

// The teardown in progress on this thread, set aside with the instances it put aside for the
// scope of a teardown under another thread state, and resumed as the scope ends.
class Suspension {
public:
    Suspension() noexcept;
    Suspension(const Suspension&) = delete;
    Suspension& operator=(const Suspension&) = delete;
    ~Suspension();

private:
    Nesting nesting_;
    PyObject* put_aside_[kMaxClasses];  // borrowed: the lists own their instances
};

// The instance of the class put aside last, whose hold counter links it to the one before.
template <class Class>
[[gnu::tls_model("initial-exec")]] inline constinit thread_local PyObject* last_put_aside = nullptr;

// An instance being deallocated has no hold left on it, so its counter's storage is free to hold
// the link: putting an instance aside never allocates and so cannot fail.
template <class Class>
void* link_storage(PyObject* instance) noexcept {
    auto* holds = &instance_cast<Class>(instance)->holds;
    static_assert(sizeof(PyObject*) <= sizeof(*holds) &&
                  alignof(PyObject*) <= alignof(SharedHoldCounter));
    return holds;
}

// The list of the class's instances put aside on this thread, by its last one.
template <class Class>
PyObject** put_aside_list() noexcept {
    return &last_put_aside<Class>;
}

template <class Class>
[[gnu::noinline]] void put_aside(PyObject* self) noexcept {
    instance_cast<Class>(self)->holds.~SharedHoldCounter();
    new (link_storage<Class>(self)) PyObject*(last_put_aside<Class>);
    last_put_aside<Class> = self;
    ++nesting.put_aside;
}

}  // namespace teardown

// Destroys the record, frees the instance, releases the object the record held and gives back
// its reference to the type.
template <class Class>
[[gnu::always_inline]] inline void destroy_instance(PyObject* self) noexcept {
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
    release_held<Class>(std::move(held), type);
}

namespace teardown {

// Destroys the instance of the class put aside last; false when there is none.
template <class Class>
bool destroy_one_put_aside() noexcept {
    PyObject* instance = last_put_aside<Class>;
    if (instance == nullptr) return false;
    last_put_aside<Class> = *std::launder(static_cast<PyObject**>(link_storage<Class>(instance)));
    --nesting.put_aside;
    // One level below the one that destroys, so that what it releases is put aside in turn.
    const Level level;
    destroy_instance<Class>(instance);
    return true;
}

// Destroys the instance as the first level of a teardown of the current thread state, with the
// teardown in progress suspended meanwhile.
template <class Class>
[[gnu::noinline]] void destroy_in_own_teardown(PyObject* self) noexcept {
    const Suspension suspension;
    const Level level;
    destroy_instance<Class>(self);
}

}  // namespace teardown

// Stops tracking the instance and destroys it, or puts it aside when our deallocations already
// nest deep on this thread and its thread state. Inlined whole into the slot's wrapper, as every
// operation's result ends here.
template <class Class>
[[gnu::always_inline]] inline void deallocate_instance(PyObject* self) {
    PyObject_GC_UnTrack(self);
    const teardown::Level level;
    if (level.course() == teardown::Level::Course::run) [[likely]] {
        destroy_instance<Class>(self);
    } else if (level.course() == teardown::Level::Course::put_aside) {
        teardown::put_aside<Class>(self);
    } else {
        teardown::destroy_in_own_teardown<Class>(self);
    }
}

}  // namespace tolbrane
