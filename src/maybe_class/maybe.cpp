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

#include "binding/conversions.hpp"
#include "binding/protocols.hpp"
#include "binding/rows.hpp"
#include "maybe_class/operations.hpp"
#include "object/describe.hpp"

namespace tolbrane {

namespace maybe {
namespace {

// The constructor is the one place where None means Nothing.
Owned tp_new(PyTypeObject* type, PyObject* obj) {
    return create_instance_of<MayBeClass>(type, MayBeValue{Owned::borrow_unless_none(obj)});
}
constexpr auto kNew = constructor_method<MayBeClass, tp_new>({"obj"});

Owned just(PyObject* obj) { return new_maybe(Owned::borrow(obj)); }
constexpr auto kJust = static_method<MayBeClass, just>("just", {"obj"}, "Constructeur Just");

Owned nothing() { return new_maybe(Owned()); }
constexpr auto kNothing = static_method<MayBeClass, nothing>("nothing", {}, "Constructeur Nothing");

Owned is_just(const MayBeValue& self) { return new_bool(static_cast<bool>(self.inner)); }
constexpr auto kIsJust =
    method<MayBeClass, is_just>("is_just", {}, "True si Just, False si Nothing");

Owned is_nothing(const MayBeValue& self) { return new_bool(!self.inner); }
constexpr auto kIsNothing =
    method<MayBeClass, is_nothing>("is_nothing", {}, "True si Nothing, False si Just");

// Aligned, as the interpreter decodes aligned ASCII a word at a time.
alignas(8) constexpr char kUnwrapNothing[] = "Tried to unwrap a Nothing";

Owned unwrap(const MayBeValue& self) {
    if (!self.inner) return raise_value_error(kUnwrapNothing);
    return self.inner.share();
}
constexpr auto kUnwrap =
    method<MayBeClass, unwrap>("unwrap", {}, "Unwrap ou ValueError si Nothing");

Owned expect(const MayBeValue& self, PyObject* message) {
    OptionalText text = convert_argument("message", [&] { return to_text(message); });
    if (!self.inner) return raise_value_error(text.view());
    return self.inner.share();
}
constexpr auto kExpect = method<MayBeClass, expect>(
    "expect", {"message"}, "expect(message) : comme unwrap mais avec message personnalisé");

Owned to_option(const MayBeValue& self) { return self.inner ? self.inner.share() : new_none(); }
constexpr auto kToOption =
    method<MayBeClass, to_option>("to_option", {}, "to_option() : retourne la valeur ou None");

Owned or_else(const MayBeValue& self, PyObject* fallback) {
    return self.inner ? self.inner.share() : Owned::borrow(fallback);
}
constexpr auto kOrElse = method<MayBeClass, or_else>(
    "or_else", {"default"}, "or_else(default) renvoie la valeur interne ou default");

constexpr auto kClassGetitem = class_method<MayBeClass, class_getitem>(
    "__class_getitem__", {"_item"}, "Support pour MayBe[T] (typage générique)");

bool nb_bool(const MayBeValue& self) { return static_cast<bool>(self.inner); }
constexpr Slot<Py_nb_bool, nb_bool> kBool{};

Py_ssize_t mp_length(const MayBeValue& self) { return self.inner ? 1 : 0; }
constexpr Slot<Py_mp_length, mp_length> kLength{};

Owned tp_iter(const MayBeValue& self) { return iterate_optional(self.inner.get()); }
constexpr Slot<Py_tp_iter, tp_iter> kIter{};

Owned tp_repr(const MayBeValue& self) {
    return self.inner ? wrapped_text("Just(", self.inner.get()) : new_text("Nothing");
}
constexpr Slot<Py_tp_repr, tp_repr> kRepr{};

// `a | d`: the held object, or `d` itself for a Nothing.
Owned nb_or(const MayBeValue& self, PyObject* other) {
    return self.inner ? self.inner.share() : Owned::borrow(other);
}
constexpr Slot<Py_nb_or, nb_or> kOr{};

// `m >> f` is `m.flat_map(f)`.
constexpr Slot<Py_nb_rshift, flat_map> kRshift{};

using C = MayBeClass;

auto methods = method_table<C, kJust, kNothing, kIsJust, kIsNothing, kUnwrap, kExpect, kToOption,
                            kMatch, kOrElse, kMap, kFlatMap, kClassGetitem>();
const auto slots = slot_table<C, kNew, kLength, kIter, kBool, kRepr, kRshift, kOr>();

const ClassDescription description =
    describe<C>("MayBe", "builtins.MayBe", "MayBe(obj)\n--\n\n", slots, methods.data());

}  // namespace
}  // namespace maybe

TypeCell maybe_type_cell(maybe::description);

}  // namespace tolbrane
