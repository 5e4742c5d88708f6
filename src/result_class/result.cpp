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
#include "binding/entry.hpp"
#include "binding/protocols.hpp"
#include "result_class/operations.hpp"

namespace tolbrane {

TypeCell result_type_cell(&result_definition);

namespace result {

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

Owned unwrap_err(const PyResult& self) {
    if (!self.message.present()) return raise_value_error("Tried to unwrap_err on an Ok");
    Owned triple = require_created(PyTuple_New(3));
    PyTuple_SetItem(triple.get(), 0, self.message.to_str().release());
    PyTuple_SetItem(triple.get(), 1, self.code.to_str_or_none().release());
    PyTuple_SetItem(triple.get(), 2, (self.details ? self.details.share() : new_none()).release());
    return triple;
}

Owned to_option(const PyResult& self) { return self.is_ok() ? self.value.share() : new_none(); }

Owned class_getitem(PyObject* cls, PyObject*) { return Owned::borrow(cls); }

bool truth(const PyResult& self) { return self.is_ok(); }

Py_ssize_t length(const PyResult& self) { return self.is_ok() ? 1 : 0; }

Owned iterate(const PyResult& self) { return iterate_optional(self.value.get()); }

// Err('message') or Err('message', code='code'), texts verbatim. Out of line, so that the repr of
// an Ok, which recurses for a nested value, takes no stack for this text.
[[gnu::noinline]] Owned represent_err(const PyResult& self) {
    std::string text("Err('");
    text.append(self.message.view());
    if (self.code.present()) text.append("', code='").append(self.code.view());
    text.append("')");
    return new_text(text);
}

// Ok(str of the value), or the Err's text.
Owned represent(const PyResult& self) {
    return self.is_ok() ? wrapped_text("Ok(", self.value.get()) : represent_err(self);
}

// `L | R`: the value of an Ok, or R itself for an Err.
Owned alternative(const PyResult& self, PyObject* other) {
    return self.is_ok() ? self.value.share() : Owned::borrow(other);
}

}  // namespace result

namespace {

constexpr FunctionDescription kOk{"Result", "ok", {"value"}, 1, 1};
constexpr FunctionDescription kErr{"Result", "err", {"message", "code", "details"}, 3, 1};
constexpr FunctionDescription kFromDict{"Result", "from_dict", {"dict"}, 1, 1};
constexpr FunctionDescription kExpect{"Result", "expect", {"message"}, 1, 1};
constexpr FunctionDescription kUnwrapOr{"Result", "unwrap_or", {"default"}, 1, 1};
constexpr FunctionDescription kMatch{"Result", "match", {"ok", "err"}, 2, 0};
constexpr FunctionDescription kMap{"Result", "map", {"func"}, 1, 1};
constexpr FunctionDescription kMapErr{"Result", "map_err", {"func"}, 1, 1};
constexpr FunctionDescription kFlatMap{"Result", "flat_map", {"func"}, 1, 1};
constexpr FunctionDescription kAndThen{"Result", "and_then", {"func"}, 1, 1};
constexpr FunctionDescription kClassGetitem{"Result", "__class_getitem__", {"_item"}, 1, 1};

using C = ResultClass;

PyMethodDef result_methods[] = {
    {"ok", as_method(&static_fastcall<kOk, result::ok>), kFastCallFlags | METH_STATIC,
     "ok(value)\n--\n\nConstructeur Ok"},
    {"err", as_method(&static_fastcall<kErr, result::err>), kFastCallFlags | METH_STATIC,
     "err(message, code=None, details=None)\n--\n\n"
     "Constructeur Err avec message, code optionnel, details optionnel"},
    {"from_dict", as_method(&static_fastcall<kFromDict, result::from_dict>),
     kFastCallFlags | METH_STATIC,
     "from_dict(dict)\n--\n\n"
     "from_dict(d) : construit un Result depuis un dict (inverse de to_dict)"},
    {"is_ok", noargs_method<C, result::is_ok>(), METH_NOARGS, "is_ok($self)\n--\n\nTrue si Ok"},
    {"is_err", noargs_method<C, result::is_err>(), METH_NOARGS, "is_err($self)\n--\n\nTrue si Err"},
    {"unwrap", noargs_method<C, result::unwrap>(), METH_NOARGS,
     "unwrap($self)\n--\n\nUnwrap value ou ValueError si Err"},
    {"expect", fastcall_method<C, kExpect, result::expect>(), kFastCallFlags,
     "expect($self, message)\n--\n\n"
     "expect(message) : comme unwrap mais avec message personnalisé"},
    {"unwrap_or", fastcall_method<C, kUnwrapOr, result::unwrap_or>(), kFastCallFlags,
     "unwrap_or($self, default)\n--\n\nunwrap_or(default) renvoie value ou default si Err"},
    {"unwrap_err", noargs_method<C, result::unwrap_err>(), METH_NOARGS,
     "unwrap_err($self)\n--\n\n"
     "unwrap_err() retourne (msg, code, details) ou ValueError si Ok"},
    {"to_option", noargs_method<C, result::to_option>(), METH_NOARGS,
     "to_option($self)\n--\n\nto_option() : retourne la valeur ou None"},
    {"match", fastcall_method<C, kMatch, result::match>(), kFastCallFlags,
     "match($self, ok=None, err=None)\n--\n\nmatch(ok=..., err=...) : pattern matching "
     "ergonomique"},
    {"map", fastcall_method<C, kMap, result::map>(), kFastCallFlags,
     "map($self, func)\n--\n\nmap(fn) : applique fn à Ok, laisse Err intact"},
    {"map_err", fastcall_method<C, kMapErr, result::map_err>(), kFastCallFlags,
     "map_err($self, func)\n--\n\nmap_err(fn) : applique fn à Err, laisse Ok intact\n"
     "fn reçoit (msg, code, details) et doit retourner (msg, code, details)"},
    {"flat_map", fastcall_method<C, kFlatMap, result::flat_map>(), kFastCallFlags,
     "flat_map($self, func)\n--\n\nflat_map(fn) : applique fn à Ok et attend un Result en retour"},
    {"and_then", fastcall_method<C, kAndThen, result::flat_map>(), kFastCallFlags,
     "and_then($self, func)\n--\n\nand_then : alias de flat_map"},
    {"to_dict", noargs_method<C, result::to_dict>(), METH_NOARGS,
     "to_dict($self)\n--\n\nto_dict() : sérialisation en dict Python\n"
     "Ok  -> {\"ok\": true, \"value\": ...}\n"
     "Err -> {\"ok\": false, \"error\": msg, \"code\": ..., \"details\": ...}"},
    {"__class_getitem__", as_method(&class_fastcall<kClassGetitem, result::class_getitem>),
     kFastCallFlags | METH_CLASS,
     "__class_getitem__($cls, _item)\n--\n\nSupport pour Result[T, E] (typage générique)"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

const ClassDefinition& result_definition() {
    static const ClassDefinition definition{
        "Result",
        "builtins.Result",
        "Result monad: Ok(value) | Err(message, code?, details?)",
        {
            {Py_nb_bool, reinterpret_cast<void*>(&inquiry<C, result::truth>)},
            {Py_tp_repr, reinterpret_cast<void*>(&unary<C, result::represent>)},
            {Py_mp_length, reinterpret_cast<void*>(&length<C, result::length>)},
            {Py_tp_iter, reinterpret_cast<void*>(&unary<C, result::iterate>)},
            {Py_nb_rshift, reinterpret_cast<void*>(&binary<C, result::flat_map>)},
            {Py_nb_or, reinterpret_cast<void*>(&binary<C, result::alternative>)},
        },
        result_methods,
        static_cast<int>(sizeof(InstanceOf<C>)),
        &no_report<deallocate_instance<C>>,
        &traverse_instance<C>,
    };
    return definition;
}

}  // namespace tolbrane
