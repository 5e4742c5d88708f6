// The operations of the Result class that live in their own source files, each with the method
// that Python calls.
#pragma once

#include "binding/rows.hpp"
#include "result_class/result.hpp"

namespace tolbrane {

namespace result {

Owned map(const PyResult& self, PyObject* func);
inline constexpr auto kMap =
    method<ResultClass, map>("map", {"func"}, "map(fn) : applique fn à Ok, laisse Err intact");

Owned map_err(const PyResult& self, PyObject* func);
inline constexpr auto kMapErr = method<ResultClass, map_err>(
    "map_err", {"func"},
    "map_err(fn) : applique fn à Err, laisse Ok intact\n"
    "fn reçoit (msg, code, details) et doit retourner (msg, code, details)");

Owned flat_map(const PyResult& self, PyObject* func);
inline constexpr auto kFlatMap = method<ResultClass, flat_map>(
    "flat_map", {"func"}, "flat_map(fn) : applique fn à Ok et attend un Result en retour");
inline constexpr auto kAndThen =
    method<ResultClass, flat_map>("and_then", {"func"}, "and_then : alias de flat_map");

Owned match(const PyResult& self, PyObject* ok, PyObject* err);
inline constexpr auto kMatch = method<ResultClass, match>(
    "match", {"ok", "err"}, "match(ok=..., err=...) : pattern matching ergonomique", Required{0});

Owned to_dict(const PyResult& self);
inline constexpr auto kToDict = method<ResultClass, to_dict>(
    "to_dict", {},
    "to_dict() : sérialisation en dict Python\n"
    "Ok  -> {\"ok\": true, \"value\": ...}\n"
    "Err -> {\"ok\": false, \"error\": msg, \"code\": ..., \"details\": ...}");

Owned from_dict(PyObject* dict);
inline constexpr auto kFromDict = static_method<ResultClass, from_dict>(
    "from_dict", {"dict"},
    "from_dict(d) : construit un Result depuis un dict (inverse de to_dict)");

}  // namespace result
}  // namespace tolbrane
