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
#include "binding/entry.hpp"
#include "binding/protocols.hpp"

namespace tolbrane {

TypeCell maybe_type_cell(&maybe_definition);

namespace maybe {

// The constructor is the one place where None means Nothing.
Owned construct(PyTypeObject* type, PyObject* obj) {
    return create_instance_of<MayBeClass>(type, MayBeValue{Owned::borrow_unless_none(obj)});
}

Owned just(PyObject* obj) { return new_maybe(Owned::borrow(obj)); }

Owned nothing() { return new_maybe(Owned()); }

Owned is_just(const MayBeValue& self) { return new_bool(static_cast<bool>(self.inner)); }

Owned is_nothing(const MayBeValue& self) { return new_bool(!self.inner); }

Owned unwrap(const MayBeValue& self) {
    if (!self.inner) return raise_value_error("Tried to unwrap a Nothing");
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

bool truth(const MayBeValue& self) { return static_cast<bool>(self.inner); }

Py_ssize_t length(const MayBeValue& self) { return self.inner ? 1 : 0; }

Owned iterate(const MayBeValue& self) { return iterate_optional(self.inner.get()); }

Owned represent(const MayBeValue& self) {
    return self.inner ? wrapped_text("Just(", self.inner.get()) : new_text("Nothing");
}

// `a | d`: the held object, or `d` itself for a Nothing.
Owned alternative(const MayBeValue& self, PyObject* other) {
    return self.inner ? self.inner.share() : Owned::borrow(other);
}

}  // namespace maybe

namespace {

constexpr FunctionDescription kNew{"MayBe", "__new__", {"obj"}, 1, 1};
constexpr FunctionDescription kJust{"MayBe", "just", {"obj"}, 1, 1};
constexpr FunctionDescription kExpect{"MayBe", "expect", {"message"}, 1, 1};
constexpr FunctionDescription kMatch{"MayBe", "match", {"just", "nothing"}, 2, 0};
constexpr FunctionDescription kOrElse{"MayBe", "or_else", {"default"}, 1, 1};
constexpr FunctionDescription kMap{"MayBe", "map", {"func"}, 1, 1};
constexpr FunctionDescription kFlatMap{"MayBe", "flat_map", {"func"}, 1, 1};
constexpr FunctionDescription kClassGetitem{"MayBe", "__class_getitem__", {"_item"}, 1, 1};

using C = MayBeClass;

PyMethodDef maybe_methods[] = {
    {"just", as_method(&static_fastcall<kJust, maybe::just>), kFastCallFlags | METH_STATIC,
     "just(obj)\n--\n\nConstructeur Just"},
    {"nothing", as_method(&static_noargs<maybe::nothing>), METH_NOARGS | METH_STATIC,
     "nothing()\n--\n\nConstructeur Nothing"},
    {"is_just", noargs_method<C, maybe::is_just>(), METH_NOARGS,
     "is_just($self)\n--\n\nTrue si Just, False si Nothing"},
    {"is_nothing", noargs_method<C, maybe::is_nothing>(), METH_NOARGS,
     "is_nothing($self)\n--\n\nTrue si Nothing, False si Just"},
    {"unwrap", noargs_method<C, maybe::unwrap>(), METH_NOARGS,
     "unwrap($self)\n--\n\nUnwrap ou ValueError si Nothing"},
    {"expect", fastcall_method<C, kExpect, maybe::expect>(), kFastCallFlags,
     "expect($self, message)\n--\n\n"
     "expect(message) : comme unwrap mais avec message personnalisé"},
    {"to_option", noargs_method<C, maybe::to_option>(), METH_NOARGS,
     "to_option($self)\n--\n\nto_option() : retourne la valeur ou None"},
    {"match", fastcall_method<C, kMatch, maybe::match>(), kFastCallFlags,
     "match($self, just=None, nothing=None)\n--\n\n"
     "match(just=..., nothing=...) : pattern matching ergonomique"},
    {"or_else", fastcall_method<C, kOrElse, maybe::or_else>(), kFastCallFlags,
     "or_else($self, default)\n--\n\nor_else(default) renvoie la valeur interne ou default"},
    {"map", fastcall_method<C, kMap, maybe::map>(), kFastCallFlags,
     "map($self, func)\n--\n\n"
     "map(fn) : applique fn à la valeur interne et wrappe dans un nouveau MayBe"},
    {"flat_map", fastcall_method<C, kFlatMap, maybe::flat_map>(), kFastCallFlags,
     "flat_map($self, func)\n--\n\n"
     "flat_map(fn) : applique fn à la valeur et attend un MayBe en retour"},
    {"__class_getitem__", as_method(&class_fastcall<kClassGetitem, maybe::class_getitem>),
     kFastCallFlags | METH_CLASS,
     "__class_getitem__($cls, _item)\n--\n\nSupport pour MayBe[T] (typage générique)"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

const ClassDefinition& maybe_definition() {
    static const ClassDefinition definition{
        "MayBe",
        "builtins.MayBe",
        "MayBe(obj)\n--\n\n",
        {
            {Py_tp_new, reinterpret_cast<void*>(&constructor<kNew, maybe::construct>)},
            {Py_mp_length, reinterpret_cast<void*>(&length<C, maybe::length>)},
            {Py_tp_iter, reinterpret_cast<void*>(&unary<C, maybe::iterate>)},
            {Py_nb_bool, reinterpret_cast<void*>(&inquiry<C, maybe::truth>)},
            {Py_tp_repr, reinterpret_cast<void*>(&unary<C, maybe::represent>)},
            {Py_nb_rshift, reinterpret_cast<void*>(&binary<C, maybe::flat_map>)},
            {Py_nb_or, reinterpret_cast<void*>(&binary<C, maybe::alternative>)},
        },
        maybe_methods,
        static_cast<int>(sizeof(InstanceOf<C>)),
        &no_report<deallocate_instance<C>>,
        &traverse_instance<C>,
    };
    return definition;
}

}  // namespace tolbrane
