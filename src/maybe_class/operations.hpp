// The operations of the MayBe class that live in their own source file, each with the method that
// Python calls.
#pragma once

#include "binding/rows.hpp"
#include "maybe_class/maybe.hpp"

namespace tolbrane {

namespace maybe {

Owned map(const MayBeValue& self, PyObject* func);
inline constexpr Method<map> kMap{
    {"MayBe", "map", {"func"}, 1, 1},
    "map(fn) : applique fn à la valeur interne et wrappe dans un nouveau MayBe"};

Owned flat_map(const MayBeValue& self, PyObject* func);
inline constexpr Method<flat_map> kFlatMap{
    {"MayBe", "flat_map", {"func"}, 1, 1},
    "flat_map(fn) : applique fn à la valeur et attend un MayBe en retour"};

Owned match(const MayBeValue& self, PyObject* just, PyObject* nothing);
inline constexpr Method<match> kMatch{
    {"MayBe", "match", {"just", "nothing"}, 2, 0},
    "match(just=..., nothing=...) : pattern matching ergonomique"};

}  // namespace maybe
}  // namespace tolbrane
