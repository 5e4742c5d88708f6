// Ownership of Python references.
//
// A raw `PyObject*` is always borrowed: the code that holds it owns nothing and must not keep it
// beyond the call that lent it (a kept one is marked `// borrowed`). Every owned reference lives
// in an `Owned`, made only through `Owned::steal` (take over a new reference) or `Owned::borrow`
// (add a reference), and given back to the interpreter with `release()`.
#pragma once

#include "binding/python.hpp"
#include "binding/sole_pointer.hpp"

namespace tolbrane {

class Owned {
public:
    Owned() noexcept = default;

    static Owned steal(PyObject* ptr) noexcept { return Owned(ptr); }
    static Owned borrow(PyObject* ptr) noexcept {
        Py_XINCREF(ptr);
        return Owned(ptr);
    }
    // A new reference to `ptr`, or an empty holder for `None`: optional parameters treat both
    // alike.
    static Owned borrow_unless_none(PyObject* ptr) noexcept {
        return ptr == Py_None ? Owned() : borrow(ptr);
    }

    PyObject* get() const noexcept { return ptr_.get(); }
    PyObject* release() noexcept { return ptr_.release(); }
    explicit operator bool() const noexcept { return get() != nullptr; }

    // A new reference to the same object (or an empty holder).
    Owned share() const noexcept { return borrow(get()); }

private:
    struct Drop {
        void operator()(PyObject* ptr) const noexcept { Py_DECREF(ptr); }
    };

    explicit Owned(PyObject* ptr) noexcept : ptr_(ptr) {}
    SolePointer<PyObject, Drop> ptr_;
};

// True, False, None and NotImplemented are immortal on every interpreter this extension loads in
// (3.12 and later): a reference to one costs no count, and the stable ABI would make the count a
// function call. Dropping such an `Owned` is still correct, as a decrement leaves them alone too.
inline Owned immortal(PyObject* singleton) noexcept { return Owned::steal(singleton); }
inline Owned new_bool(bool value) noexcept { return immortal(value ? Py_True : Py_False); }
inline Owned new_none() noexcept { return immortal(Py_None); }

}  // namespace tolbrane
