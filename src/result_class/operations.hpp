// The operations of the Result class that live in their own source files, each with the method
// that Python calls.
#pragma once

#include "binding/rows.hpp"
#include "result_class/result.hpp"

namespace tolbrane {

namespace result {

Owned map(const PyResult& self, PyObject* func);
inline constexpr Method<map> kMap{{"Result", "map", {"func"}, 1, 1},
                                  "map(fn) : applique fn à Ok, laisse Err intact"};

Owned map_err(const PyResult& self, PyObject* func);
inline constexpr Method<map_err> kMapErr{
    {"Result", "map_err", {"func"}, 1, 1},
    "map_err(fn) : applique fn à Err, laisse Ok intact\n"
    "fn reçoit (msg, code, details) et doit retourner (msg, code, details)"};

Owned flat_map(const PyResult& self, PyObject* func);
inline constexpr Method<flat_map> kFlatMap{
    {"Result", "flat_map", {"func"}, 1, 1},
    "flat_map(fn) : applique fn à Ok et attend un Result en retour"};
inline constexpr Method<flat_map> kAndThen{{"Result", "and_then", {"func"}, 1, 1},
                                           "and_then : alias de flat_map"};

Owned match(const PyResult& self, PyObject* ok, PyObject* err);
inline constexpr Method<match> kMatch{{"Result", "match", {"ok", "err"}, 2, 0},
                                      "match(ok=..., err=...) : pattern matching ergonomique"};

Owned to_dict(const PyResult& self);
inline constexpr Method<to_dict> kToDict{
    {"Result", "to_dict", {}, 0, 0},
    "to_dict() : sérialisation en dict Python\n"
    "Ok  -> {\"ok\": true, \"value\": ...}\n"
    "Err -> {\"ok\": false, \"error\": msg, \"code\": ..., \"details\": ...}"};

Owned from_dict(PyObject* dict);
inline constexpr Method<from_dict> kFromDict{
    {"Result", "from_dict", {"dict"}, 1, 1, Receiver::none},
    "from_dict(d) : construit un Result depuis un dict (inverse de to_dict)"};

}  // namespace result
}  // namespace tolbrane
