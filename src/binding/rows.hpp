// A class's method and slot tables, made from declarations that each stand beside the operation
// they describe. A `Method` holds the function description, the operation and the French text of
// the docstring; its row derives from the description the name, the calling convention (the flags
// and the entry wrapper together) and the docstring's signature head, so a row can never pair
// flags with the wrong wrapper. A `Slot` row derives its wrapper from the slot.
#pragma once

#include <array>
#include <string_view>

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
