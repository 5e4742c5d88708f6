// A class's method and slot tables, made from declarations that each stand beside the operation
// they describe. A `Method` holds the function description, the operation and the French text of
// the docstring; its row derives from the description the name, the calling convention (the flags
// and the entry wrapper together) and the docstring's signature head, so a row can never pair
// flags with the wrong wrapper. A `Slot` row derives its wrapper from the slot.
#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "binding/entry.hpp"

namespace tolbrane {

// A method as Python calls it. The operation is a template argument, not a stored pointer: a
// function whose address is stored is no longer inlined into its entry wrapper.
template <auto op>
struct Method {
    static constexpr auto operation = op;
    FunctionDescription function;
    const char* text;  // the docstring after its signature head
};

// A slot of the type and the operation behind it.
template <int slot_, auto op>
struct Slot {
    static constexpr int slot = slot_;
    static constexpr auto operation = op;
};

// The type's constructor: its arguments are bound as `function` says.
template <auto op>
struct Constructor {
    static constexpr int slot = Py_tp_new;
    static constexpr auto operation = op;
    FunctionDescription function;
};

namespace rows {

// Not constexpr: a declaration whose constant evaluation reaches it is ill-formed, and the
// compiler's message shows `what` at that declaration.
void declaration_mismatch(const char* what);

template <class>
struct Signature;
template <class Returned, class... Parameters>
struct Signature<Returned (*)(Parameters...)> {
    static constexpr std::size_t arity = sizeof...(Parameters);
    using First = std::tuple_element_t<0, std::tuple<Parameters..., void>>;
};

using Names = std::array<std::string_view, FunctionDescription::kMaxParameters>;

// The description of a callable of `Class` whose operation `op` receives `leading` arguments
// before the parameters: the class name comes from the class and the parameter count from the
// names, which must be as many as the operation's parameters.
template <class Class, auto op>
consteval FunctionDescription describe_function(const char* name, const Names& names,
                                                std::optional<std::size_t> required,
                                                std::size_t leading, Receiver receiver) {
    std::size_t count = 0;
    while (count < names.size() && !names[count].empty()) ++count;
    for (std::size_t i = count; i < names.size(); ++i) {
        if (!names[i].empty()) declaration_mismatch("a parameter name is empty");
    }
    if (Signature<decltype(op)>::arity != leading + count)
        declaration_mismatch("the parameter names do not match the operation's parameters");
    if (required.value_or(count) > count)
        declaration_mismatch("more parameters are required than there are");
    return {Class::name, name, names, count, required.value_or(count), receiver};
}

template <class Class, auto op>
constexpr bool kTakesRecord =
    std::is_same_v<typename Signature<decltype(op)>::First, const typename Class::Record&>;

}  // namespace rows

// How many leading parameters must be supplied, where the others are optional (None when
// omitted); every one by default.
struct Required {
    std::optional<std::size_t> count;
};

// The declarations of a class's callables, each beside its operation. An instance method's
// operation receives the record, a class method's the class, a constructor's the type.
template <class Class, auto op>
consteval Method<op> method(const char* name, const rows::Names& names, const char* text,
                            Required required = {}) {
    static_assert(rows::kTakesRecord<Class, op>, "an instance method receives the record");
    return {rows::describe_function<Class, op>(name, names, required.count, 1, Receiver::instance),
            text};
}
template <class Class, auto op>
consteval Method<op> static_method(const char* name, const rows::Names& names, const char* text,
                                   Required required = {}) {
    return {rows::describe_function<Class, op>(name, names, required.count, 0, Receiver::none),
            text};
}
template <class Class, auto op>
consteval Method<op> class_method(const char* name, const rows::Names& names, const char* text) {
    return {rows::describe_function<Class, op>(name, names, {}, 1, Receiver::cls), text};
}
template <class Class, auto op>
consteval Constructor<op> constructor_method(const rows::Names& names) {
    return {rows::describe_function<Class, op>("__new__", names, {}, 1, Receiver::none)};
}

namespace rows {

// Writes `name(parameters)\n--\n\n` and then `text` to `out` (when given); returns the length.
// Optional parameters default to None.
constexpr std::size_t write_docstring(const FunctionDescription& function, std::string_view text,
                                      char* out) {
    std::size_t size = 0;
    const auto put = [&](std::string_view part) {
        for (const char c : part) {
            if (out != nullptr) out[size] = c;
            ++size;
        }
    };
    put(function.function_name);
    put("(");
    bool first = true;
    if (function.receiver != Receiver::none) {
        put(function.receiver == Receiver::instance ? "$self" : "$cls");
        first = false;
    }
    for (std::size_t i = 0; i < function.positional_count; ++i) {
        if (!first) put(", ");
        put(function.parameters[i]);
        if (i >= function.required_count) put("=None");
        first = false;
    }
    put(")\n--\n\n");
    put(text);
    return size;
}

template <const auto& method>
struct Docstring {
    static constexpr std::size_t size = write_docstring(method.function, method.text, nullptr);
    static constexpr std::array<char, size + 1> value = [] {
        std::array<char, size + 1> out{};
        write_docstring(method.function, method.text, out.data());
        return out;
    }();
};

// A wrapper of any signature as a `PyCFunction`; the flags of its row tell the interpreter the
// real signature. Used only here, beside the flags.
template <class Function>
PyCFunction as_method(Function* function) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

template <class Function>
void* as_slot(Function* function) noexcept {
    return reinterpret_cast<void*>(function);
}

template <int>
constexpr bool kUnsupportedSlot = false;

}  // namespace rows

template <class Class, const auto& method>
PyMethodDef method_row() noexcept {
    using rows::as_method;
    constexpr const FunctionDescription& function = method.function;
    constexpr auto operation = method.operation;
    constexpr int fast_call = METH_FASTCALL | METH_KEYWORDS;
    constexpr bool no_arguments = function.positional_count == 0;
    const char* doc = rows::Docstring<method>::value.data();
    const char* name = function.function_name;
    if constexpr (function.receiver == Receiver::none && no_arguments) {
        return {name, as_method(&static_noargs<operation>), METH_NOARGS | METH_STATIC, doc};
    } else if constexpr (function.receiver == Receiver::none) {
        return {name, as_method(&static_fastcall<function, operation>), fast_call | METH_STATIC,
                doc};
    } else if constexpr (function.receiver == Receiver::cls) {
        return {name, as_method(&class_fastcall<function, operation>), fast_call | METH_CLASS, doc};
    } else if constexpr (no_arguments) {
        return {name, as_method(&instance_noargs<Class, operation>), METH_NOARGS, doc};
    } else {
        return {name, as_method(&instance_fastcall<Class, function, operation>), fast_call, doc};
    }
}

template <class Class, const auto& entry>
PyType_Slot slot_row() noexcept {
    using rows::as_slot;
    constexpr int slot = entry.slot;
    constexpr auto operation = entry.operation;
    if constexpr (slot == Py_tp_new) {
        return {slot, as_slot(&constructor<entry.function, operation>)};
    } else if constexpr (slot == Py_nb_bool) {
        return {slot, as_slot(&inquiry<Class, operation>)};
    } else if constexpr (slot == Py_mp_length) {
        return {slot, as_slot(&length<Class, operation>)};
    } else if constexpr (slot == Py_tp_repr || slot == Py_tp_iter) {
        return {slot, as_slot(&unary<Class, operation>)};
    } else if constexpr (slot == Py_nb_or || slot == Py_nb_rshift) {
        return {slot, as_slot(&binary<Class, operation>)};
    } else {
        static_assert(rows::kUnsupportedSlot<slot>, "no entry wrapper for this slot");
    }
}

// The zero-terminated method table of `Class`, in the order given.
template <class Class, const auto&... methods>
std::array<PyMethodDef, sizeof...(methods) + 1> method_table() noexcept {
    return {method_row<Class, methods>()..., PyMethodDef{nullptr, nullptr, 0, nullptr}};
}

// The slots of `Class`, in the order given.
template <class Class, const auto&... entries>
std::array<PyType_Slot, sizeof...(entries)> slot_table() noexcept {
    return {slot_row<Class, entries>()...};
}

}  // namespace tolbrane
