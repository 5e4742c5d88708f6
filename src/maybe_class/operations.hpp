// The operations of the MayBe class that live in their own source file, each with the method that
// Python calls.
#pragma once

#include "binding/rows.hpp"
#include "maybe_class/maybe.hpp"

namespace tolbrane {

namespace maybe {

Owned map(const MayBeValue& self, PyObject* func);
inline constexpr auto kMap = method<MayBeClass, map>(
    "map", {"func"}, "map(fn) : applique fn à la valeur interne et wrappe dans un nouveau MayBe");

Owned flat_map(const MayBeValue& self, PyObject* func);
inline constexpr auto kFlatMap = method<MayBeClass, flat_map>(
    "flat_map", {"func"}, "flat_map(fn) : applique fn à la valeur et attend un MayBe en retour");

Owned match(const MayBeValue& self, PyObject* just, PyObject* nothing);
inline constexpr auto kMatch = method<MayBeClass, match>(
    "match", {"just", "nothing"}, "match(just=..., nothing=...) : pattern matching ergonomique",
    Required{0});

}  // namespace maybe
}  // namespace tolbrane
