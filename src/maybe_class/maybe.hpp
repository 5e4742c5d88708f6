// The MayBe class: Just(obj) | Nothing.
#pragma once

#include "object/instances.hpp"

namespace tolbrane {

// The one field of a MayBe: present is Just, absent is Nothing, whatever the object (a Just may
// hold None). Never changed once built.
struct MayBeValue {
    Owned inner;

    PyObject* held_object() const noexcept { return inner.get(); }
    Owned take_held_object() noexcept { return std::move(inner); }
};

extern TypeCell maybe_type_cell;

struct MayBeClass {
    using Record = MayBeValue;
    static constexpr const char* name = "MayBe";
    static PyTypeObject* type() { return maybe_type_cell.get(); }
};

inline Owned new_maybe(Owned inner) {
    return create_instance<MayBeClass>(MayBeValue{std::move(inner)});
}
}  // namespace tolbrane
