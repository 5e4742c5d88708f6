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
#include "result_class/operations.hpp"

namespace tolbrane {

namespace result {
namespace {

Owned ok(PyObject* value) { return new_result(PyResult::ok(Owned::borrow(value))); }

Owned err(PyObject* message, PyObject* code, PyObject* details) {
    OptionalText message_text = convert_argument("message", [&] { return to_text(message); });
    OptionalText code_text =
        code == nullptr ? OptionalText()
                        : convert_argument("code", [&] { return to_text_unless_none(code); });
    Owned details_object = details == nullptr ? Owned() : Owned::borrow_unless_none(details);
    return new_result(
        PyResult::err(std::move(message_text), std::move(code_text), std::move(details_object)));
}

Owned is_ok(const PyResult& self) { return new_bool(self.is_ok()); }

Owned is_err(const PyResult& self) { return new_bool(self.message.present()); }

// Out of line, so that the Ok path of unwrap stays small enough to be inlined.
[[gnu::cold, gnu::noinline]] Owned fail_unwrap(const PyResult& self) {
    return raise_value_error("Tried to unwrap an Err: " + std::string(self.message.view()));
}

Owned unwrap(const PyResult& self) { return self.is_ok() ? self.value.share() : fail_unwrap(self); }

Owned expect(const PyResult& self, PyObject* message) {
    OptionalText text = convert_argument("message", [&] { return to_text(message); });
    if (self.is_ok()) return self.value.share();
    return raise_value_error(text.view());
}

Owned unwrap_or(const PyResult& self, PyObject* fallback) {
    return self.is_ok() ? self.value.share() : Owned::borrow(fallback);
}

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

Owned to_option(const PyResult& self) { return self.is_ok() ? self.value.share() : new_none(); }

Owned class_getitem(PyObject* cls, PyObject*) { return Owned::borrow(cls); }

bool nb_bool(const PyResult& self) { return self.is_ok(); }

Py_ssize_t mp_length(const PyResult& self) { return self.is_ok() ? 1 : 0; }

Owned tp_iter(const PyResult& self) { return iterate_optional(self.value.get()); }

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

// `L | R`: the value of an Ok, or R itself for an Err.
Owned nb_or(const PyResult& self, PyObject* other) {
    return self.is_ok() ? self.value.share() : Owned::borrow(other);
}

}  // namespace
}  // namespace result

namespace {

constexpr auto kStatic = Receiver::none;
constexpr FunctionDescription kOk{"Result", "ok", {"value"}, 1, 1, kStatic};
constexpr FunctionDescription kErr{"Result", "err", {"message", "code", "details"}, 3, 1, kStatic};
constexpr FunctionDescription kFromDict{"Result", "from_dict", {"dict"}, 1, 1, kStatic};
constexpr FunctionDescription kIsOk{"Result", "is_ok", {}, 0, 0};
constexpr FunctionDescription kIsErr{"Result", "is_err", {}, 0, 0};
constexpr FunctionDescription kUnwrap{"Result", "unwrap", {}, 0, 0};
constexpr FunctionDescription kExpect{"Result", "expect", {"message"}, 1, 1};
constexpr FunctionDescription kUnwrapOr{"Result", "unwrap_or", {"default"}, 1, 1};
constexpr FunctionDescription kUnwrapErr{"Result", "unwrap_err", {}, 0, 0};
constexpr FunctionDescription kToOption{"Result", "to_option", {}, 0, 0};
constexpr FunctionDescription kMatch{"Result", "match", {"ok", "err"}, 2, 0};
constexpr FunctionDescription kMap{"Result", "map", {"func"}, 1, 1};
constexpr FunctionDescription kMapErr{"Result", "map_err", {"func"}, 1, 1};
constexpr FunctionDescription kFlatMap{"Result", "flat_map", {"func"}, 1, 1};
constexpr FunctionDescription kAndThen{"Result", "and_then", {"func"}, 1, 1};
constexpr FunctionDescription kToDict{"Result", "to_dict", {}, 0, 0};
constexpr FunctionDescription kClassGetitem{"Result", "__class_getitem__", {"_item"}, 1,
                                            1,        Receiver::cls};

// The French text of each docstring, after the signature head that its row derives.
constexpr char kOkText[] = "Constructeur Ok";
constexpr char kErrText[] = "Constructeur Err avec message, code optionnel, details optionnel";
constexpr char kFromDictText[] =
    "from_dict(d) : construit un Result depuis un dict (inverse de to_dict)";
constexpr char kIsOkText[] = "True si Ok";
constexpr char kIsErrText[] = "True si Err";
constexpr char kUnwrapText[] = "Unwrap value ou ValueError si Err";
constexpr char kExpectText[] = "expect(message) : comme unwrap mais avec message personnalisé";
constexpr char kUnwrapOrText[] = "unwrap_or(default) renvoie value ou default si Err";
constexpr char kUnwrapErrText[] = "unwrap_err() retourne (msg, code, details) ou ValueError si Ok";
constexpr char kToOptionText[] = "to_option() : retourne la valeur ou None";
constexpr char kMatchText[] = "match(ok=..., err=...) : pattern matching ergonomique";
constexpr char kMapText[] = "map(fn) : applique fn à Ok, laisse Err intact";
constexpr char kMapErrText[] =
    "map_err(fn) : applique fn à Err, laisse Ok intact\n"
    "fn reçoit (msg, code, details) et doit retourner (msg, code, details)";
constexpr char kFlatMapText[] = "flat_map(fn) : applique fn à Ok et attend un Result en retour";
constexpr char kAndThenText[] = "and_then : alias de flat_map";
constexpr char kToDictText[] =
    "to_dict() : sérialisation en dict Python\n"
    "Ok  -> {\"ok\": true, \"value\": ...}\n"
    "Err -> {\"ok\": false, \"error\": msg, \"code\": ..., \"details\": ...}";
constexpr char kClassGetitemText[] = "Support pour Result[T, E] (typage générique)";

using C = ResultClass;

PyMethodDef result_methods[] = {
    method_row<C, kOk, result::ok, kOkText>(),
    method_row<C, kErr, result::err, kErrText>(),
    method_row<C, kFromDict, result::from_dict, kFromDictText>(),
    method_row<C, kIsOk, result::is_ok, kIsOkText>(),
    method_row<C, kIsErr, result::is_err, kIsErrText>(),
    method_row<C, kUnwrap, result::unwrap, kUnwrapText>(),
    method_row<C, kExpect, result::expect, kExpectText>(),
    method_row<C, kUnwrapOr, result::unwrap_or, kUnwrapOrText>(),
    method_row<C, kUnwrapErr, result::unwrap_err, kUnwrapErrText>(),
    method_row<C, kToOption, result::to_option, kToOptionText>(),
    method_row<C, kMatch, result::match, kMatchText>(),
    method_row<C, kMap, result::map, kMapText>(),
    method_row<C, kMapErr, result::map_err, kMapErrText>(),
    method_row<C, kFlatMap, result::flat_map, kFlatMapText>(),
    method_row<C, kAndThen, result::flat_map, kAndThenText>(),
    method_row<C, kToDict, result::to_dict, kToDictText>(),
    method_row<C, kClassGetitem, result::class_getitem, kClassGetitemText>(),
    kEndOfMethods,
};

const PyType_Slot result_slots[] = {
    slot_row<Py_nb_bool, C, result::nb_bool>(),     slot_row<Py_tp_repr, C, result::tp_repr>(),
    slot_row<Py_mp_length, C, result::mp_length>(), slot_row<Py_tp_iter, C, result::tp_iter>(),
    slot_row<Py_nb_rshift, C, result::flat_map>(),  slot_row<Py_nb_or, C, result::nb_or>(),
};

const ClassDescription result_description = describe<C>(
    "Result", "builtins.Result", "Result monad: Ok(value) | Err(message, code?, details?)",
    result_slots, result_methods);

}  // namespace

TypeCell result_type_cell(result_description);

}  // namespace tolbrane
