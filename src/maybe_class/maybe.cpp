// MayBe: the value, its constructors, queries, protocols and operators, and the type's tables.
//
//     class MayBe:
//         MayBe(obj)                      # None gives Nothing, anything else a Just
//         @staticmethod just(obj) / nothing()
//         is_just() is_nothing() unwrap() expect(message) to_option()
//         match(just=None, nothing=None) or_else(default) map(func) flat_map(func)
//         __class_getitem__(_item)
//         __len__ __iter__ __bool__ __repr__ __rshift__ (flat_map) __or__ (value or right)
#include "maybe_class/maybe.hpp"

#include <string>

#include "binding/conversions.hpp"
#include "binding/protocols.hpp"
#include "binding/rows.hpp"
#include "maybe_class/operations.hpp"

namespace tolbrane {

namespace maybe {
namespace {

// The constructor is the one place where None means Nothing.
Owned tp_new(PyTypeObject* type, PyObject* obj) {
    return create_instance_of<MayBeClass>(type, MayBeValue{Owned::borrow_unless_none(obj)});
}

Owned just(PyObject* obj) { return new_maybe(Owned::borrow(obj)); }

Owned nothing() { return new_maybe(Owned()); }

Owned is_just(const MayBeValue& self) { return new_bool(static_cast<bool>(self.inner)); }

Owned is_nothing(const MayBeValue& self) { return new_bool(!self.inner); }

// Aligned, as the interpreter decodes aligned ASCII a word at a time.
alignas(8) constexpr char kUnwrapNothing[] = "Tried to unwrap a Nothing";

Owned unwrap(const MayBeValue& self) {
    if (!self.inner) return raise_value_error(kUnwrapNothing);
    return self.inner.share();
}

Owned expect(const MayBeValue& self, PyObject* message) {
    OptionalText text = convert_argument("message", [&] { return to_text(message); });
    if (!self.inner) return raise_value_error(text.view());
    return self.inner.share();
}

Owned to_option(const MayBeValue& self) { return self.inner ? self.inner.share() : new_none(); }

Owned or_else(const MayBeValue& self, PyObject* fallback) {
    return self.inner ? self.inner.share() : Owned::borrow(fallback);
}

Owned class_getitem(PyObject* cls, PyObject*) { return Owned::borrow(cls); }

bool nb_bool(const MayBeValue& self) { return static_cast<bool>(self.inner); }

Py_ssize_t mp_length(const MayBeValue& self) { return self.inner ? 1 : 0; }

Owned tp_iter(const MayBeValue& self) { return iterate_optional(self.inner.get()); }

Owned tp_repr(const MayBeValue& self) {
    return self.inner ? wrapped_text("Just(", self.inner.get()) : new_text("Nothing");
}

// `a | d`: the held object, or `d` itself for a Nothing.
Owned nb_or(const MayBeValue& self, PyObject* other) {
    return self.inner ? self.inner.share() : Owned::borrow(other);
}

}  // namespace
}  // namespace maybe

namespace {

constexpr auto kStatic = Receiver::none;
constexpr FunctionDescription kNew{"MayBe", "__new__", {"obj"}, 1, 1, kStatic};
constexpr FunctionDescription kJust{"MayBe", "just", {"obj"}, 1, 1, kStatic};
constexpr FunctionDescription kNothing{"MayBe", "nothing", {}, 0, 0, kStatic};
constexpr FunctionDescription kIsJust{"MayBe", "is_just", {}, 0, 0};
constexpr FunctionDescription kIsNothing{"MayBe", "is_nothing", {}, 0, 0};
constexpr FunctionDescription kUnwrap{"MayBe", "unwrap", {}, 0, 0};
constexpr FunctionDescription kExpect{"MayBe", "expect", {"message"}, 1, 1};
constexpr FunctionDescription kToOption{"MayBe", "to_option", {}, 0, 0};
constexpr FunctionDescription kMatch{"MayBe", "match", {"just", "nothing"}, 2, 0};
constexpr FunctionDescription kOrElse{"MayBe", "or_else", {"default"}, 1, 1};
constexpr FunctionDescription kMap{"MayBe", "map", {"func"}, 1, 1};
constexpr FunctionDescription kFlatMap{"MayBe", "flat_map", {"func"}, 1, 1};
constexpr FunctionDescription kClassGetitem{"MayBe", "__class_getitem__", {"_item"}, 1,
                                            1,       Receiver::cls};

// The French text of each docstring, after the signature head that its row derives.
constexpr char kJustText[] = "Constructeur Just";
constexpr char kNothingText[] = "Constructeur Nothing";
constexpr char kIsJustText[] = "True si Just, False si Nothing";
constexpr char kIsNothingText[] = "True si Nothing, False si Just";
constexpr char kUnwrapText[] = "Unwrap ou ValueError si Nothing";
constexpr char kExpectText[] = "expect(message) : comme unwrap mais avec message personnalisé";
constexpr char kToOptionText[] = "to_option() : retourne la valeur ou None";
constexpr char kMatchText[] = "match(just=..., nothing=...) : pattern matching ergonomique";
constexpr char kOrElseText[] = "or_else(default) renvoie la valeur interne ou default";
constexpr char kMapText[] =
    "map(fn) : applique fn à la valeur interne et wrappe dans un nouveau MayBe";
constexpr char kFlatMapText[] =
    "flat_map(fn) : applique fn à la valeur et attend un MayBe en retour";
constexpr char kClassGetitemText[] = "Support pour MayBe[T] (typage générique)";

using C = MayBeClass;

PyMethodDef maybe_methods[] = {
    method_row<C, kJust, maybe::just, kJustText>(),
    method_row<C, kNothing, maybe::nothing, kNothingText>(),
    method_row<C, kIsJust, maybe::is_just, kIsJustText>(),
    method_row<C, kIsNothing, maybe::is_nothing, kIsNothingText>(),
    method_row<C, kUnwrap, maybe::unwrap, kUnwrapText>(),
    method_row<C, kExpect, maybe::expect, kExpectText>(),
    method_row<C, kToOption, maybe::to_option, kToOptionText>(),
    method_row<C, kMatch, maybe::match, kMatchText>(),
    method_row<C, kOrElse, maybe::or_else, kOrElseText>(),
    method_row<C, kMap, maybe::map, kMapText>(),
    method_row<C, kFlatMap, maybe::flat_map, kFlatMapText>(),
    method_row<C, kClassGetitem, maybe::class_getitem, kClassGetitemText>(),
    kEndOfMethods,
};

const PyType_Slot maybe_slots[] = {
    new_row<kNew, maybe::tp_new>(),
    slot_row<Py_mp_length, C, maybe::mp_length>(),
    slot_row<Py_tp_iter, C, maybe::tp_iter>(),
    slot_row<Py_nb_bool, C, maybe::nb_bool>(),
    slot_row<Py_tp_repr, C, maybe::tp_repr>(),
    slot_row<Py_nb_rshift, C, maybe::flat_map>(),
    slot_row<Py_nb_or, C, maybe::nb_or>(),
};

const ClassDescription maybe_description =
    describe<C>("MayBe", "builtins.MayBe", "MayBe(obj)\n--\n\n", maybe_slots, maybe_methods);

}  // namespace

TypeCell maybe_type_cell(maybe_description);

}  // namespace tolbrane
