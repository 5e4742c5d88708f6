// Result: the value, its constructors, queries, protocols and operators, and the type's tables.
//
//     class Result:
//         @staticmethod ok(value) / err(message, code=None, details=None) / from_dict(dict)
//         is_ok() is_err() unwrap() expect(message) unwrap_or(default) unwrap_err() to_option()
//         match(ok=None, err=None) map(func) map_err(func) flat_map(func) and_then(func)
//         to_dict()  __class_getitem__(_item)
//         __bool__ __repr__ __len__ __iter__ __rshift__ (flat_map) __or__ (value or right)
#include "result_class/result.hpp"

#include <string>

#include "binding/conversions.hpp"
#include "binding/protocols.hpp"
#include "binding/rows.hpp"
#include "object/describe.hpp"
#include "result_class/operations.hpp"

namespace tolbrane {

namespace result {
namespace {

Owned ok(PyObject* value) { return new_result(PyResult::ok(Owned::borrow(value))); }
constexpr auto kOk = static_method<ResultClass, ok>("ok", {"value"}, "Constructeur Ok");

Owned err(PyObject* message, PyObject* code, PyObject* details) {
    OptionalText message_text = convert_argument("message", [&] { return to_text(message); });
    OptionalText code_text =
        code == nullptr ? OptionalText()
                        : convert_argument("code", [&] { return to_text_unless_none(code); });
    Owned details_object = details == nullptr ? Owned() : Owned::borrow_unless_none(details);
    return new_result(
        PyResult::err(std::move(message_text), std::move(code_text), std::move(details_object)));
}
constexpr auto kErr = static_method<ResultClass, err>(
    "err", {"message", "code", "details"},
    "Constructeur Err avec message, code optionnel, details optionnel", Required{1});

Owned is_ok(const PyResult& self) { return new_bool(self.is_ok()); }
constexpr auto kIsOk = method<ResultClass, is_ok>("is_ok", {}, "True si Ok");

Owned is_err(const PyResult& self) { return new_bool(self.message.present()); }
constexpr auto kIsErr = method<ResultClass, is_err>("is_err", {}, "True si Err");

// Out of line, so that the Ok path of unwrap stays small enough to be inlined.
[[gnu::cold, gnu::noinline]] Owned fail_unwrap(const PyResult& self) {
    return raise_value_error("Tried to unwrap an Err: " + std::string(self.message.view()));
}

Owned unwrap(const PyResult& self) { return self.is_ok() ? self.value.share() : fail_unwrap(self); }
constexpr auto kUnwrap =
    method<ResultClass, unwrap>("unwrap", {}, "Unwrap value ou ValueError si Err");

Owned expect(const PyResult& self, PyObject* message) {
    OptionalText text = convert_argument("message", [&] { return to_text(message); });
    if (self.is_ok()) return self.value.share();
    return raise_value_error(text.view());
}
constexpr auto kExpect = method<ResultClass, expect>(
    "expect", {"message"}, "expect(message) : comme unwrap mais avec message personnalisé");

Owned unwrap_or(const PyResult& self, PyObject* fallback) {
    return self.is_ok() ? self.value.share() : Owned::borrow(fallback);
}
constexpr auto kUnwrapOr = method<ResultClass, unwrap_or>(
    "unwrap_or", {"default"}, "unwrap_or(default) renvoie value ou default si Err");

// Aligned, as the interpreter decodes aligned ASCII a word at a time.
alignas(8) constexpr char kUnwrapErrOnOk[] = "Tried to unwrap_err on an Ok";

Owned unwrap_err(const PyResult& self) {
    if (!self.message.present()) return raise_value_error(kUnwrapErrOnOk);
    Owned triple = require_created(PyTuple_New(3));
    PyTuple_SetItem(triple.get(), 0, self.message.to_str().release());
    PyTuple_SetItem(triple.get(), 1, self.code.to_str_or_none().release());
    PyTuple_SetItem(triple.get(), 2, (self.details ? self.details.share() : new_none()).release());
    return triple;
}
constexpr auto kUnwrapErr = method<ResultClass, unwrap_err>(
    "unwrap_err", {}, "unwrap_err() retourne (msg, code, details) ou ValueError si Ok");

Owned to_option(const PyResult& self) { return self.is_ok() ? self.value.share() : new_none(); }
constexpr auto kToOption =
    method<ResultClass, to_option>("to_option", {}, "to_option() : retourne la valeur ou None");

constexpr auto kClassGetitem = class_method<ResultClass, class_getitem>(
    "__class_getitem__", {"_item"}, "Support pour Result[T, E] (typage générique)");

bool nb_bool(const PyResult& self) { return self.is_ok(); }
constexpr Slot<Py_nb_bool, nb_bool> kBool{};

Py_ssize_t mp_length(const PyResult& self) { return self.is_ok() ? 1 : 0; }
constexpr Slot<Py_mp_length, mp_length> kLength{};

Owned tp_iter(const PyResult& self) { return iterate_optional(self.value.get()); }
constexpr Slot<Py_tp_iter, tp_iter> kIter{};

// Err('message') or Err('message', code='code'), texts verbatim. Out of line, so that the repr of
// an Ok, which recurses for a nested value, takes no stack for this text.
[[gnu::noinline]] Owned repr_of_err(const PyResult& self) {
    std::string text("Err('");
    text.append(self.message.view());
    if (self.code.present()) text.append("', code='").append(self.code.view());
    text.append("')");
    return new_text(text);
}

// Ok(str of the value), or the Err's text.
Owned tp_repr(const PyResult& self) {
    return self.is_ok() ? wrapped_text("Ok(", self.value.get()) : repr_of_err(self);
}
constexpr Slot<Py_tp_repr, tp_repr> kRepr{};

// `L | R`: the value of an Ok, or R itself for an Err.
Owned nb_or(const PyResult& self, PyObject* other) {
    return self.is_ok() ? self.value.share() : Owned::borrow(other);
}
constexpr Slot<Py_nb_or, nb_or> kOr{};

// `r >> f` is `r.flat_map(f)`.
constexpr Slot<Py_nb_rshift, flat_map> kRshift{};

using C = ResultClass;

auto methods =
    method_table<C, kOk, kErr, kFromDict, kIsOk, kIsErr, kUnwrap, kExpect, kUnwrapOr, kUnwrapErr,
                 kToOption, kMatch, kMap, kMapErr, kFlatMap, kAndThen, kToDict, kClassGetitem>();
const auto slots = slot_table<C, kBool, kRepr, kLength, kIter, kRshift, kOr>();

const ClassDescription description =
    describe<C>("Result", "builtins.Result",
                "Result monad: Ok(value) | Err(message, code?, details?)", slots, methods.data());

}  // namespace
}  // namespace result

TypeCell result_type_cell(result::description);

}  // namespace tolbrane
