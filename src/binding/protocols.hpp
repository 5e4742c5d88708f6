// Pieces of the Python protocols that both classes implement the same way.
#pragma once

#include "binding/errors.hpp"
#include "binding/text.hpp"

namespace tolbrane {

// `C[T]`: the class itself. Subscription serves only type checkers.
inline Owned class_getitem(PyObject* cls, PyObject*) { return Owned::borrow(cls); }

// An iterator over `item` alone, or over nothing when `item` is NULL.
Owned iterate_optional(PyObject* item);

// `prefix`, str() of `object` as UTF-8, then ")": the repr of a held value. An exception from
// str(), or a text that cannot be encoded (lone surrogates), propagates.
Owned wrapped_text(const char* prefix, PyObject* object);

}  // namespace tolbrane
