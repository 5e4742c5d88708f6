// MayBe combinators: map, flat_map and match. A Nothing never calls or examines the callable.
#include "binding/calls.hpp"
#include "maybe_class/operations.hpp"

namespace tolbrane::maybe {

// A Just of whatever `func` returns, None and MayBe included: nothing is flattened.
Owned map(const MayBeValue& self, PyObject* func) {
    if (!self.inner) return new_maybe(Owned());
    Owned mapped = call_with(func, self.inner.get());
    if (!mapped) return mapped;
    return new_maybe(std::move(mapped));
}

// `func` must return a MayBe, which is read by value: the result is a new instance.
Owned flat_map(const MayBeValue& self, PyObject* func) {
    if (!self.inner) return new_maybe(Owned());
    Owned returned = call_with(func, self.inner.get());
    if (!returned) return returned;
    Owned inner = read_as<MayBeClass>(returned.get())->inner.share();
    return new_maybe(std::move(inner));
}

Owned match(const MayBeValue& self, PyObject* just, PyObject* nothing) {
    if (self.inner) {
        if (just == nullptr || just == Py_None) return new_none();
        return call_with(just, self.inner.get());
    }
    if (nothing == nullptr || nothing == Py_None) return new_none();
    return call_without_arguments(nothing);
}

}  // namespace tolbrane::maybe
