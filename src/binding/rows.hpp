// Rows of a class's method and slot tables, each made from what it wraps. A method row takes the
// function description, the operation and the French text of its docstring, and derives from the
// description the name, the calling convention (the flags and the entry wrapper together) and the
// docstring's signature head, so a row can never pair flags with the wrong wrapper. A slot row
// derives its wrapper from the slot.
#pragma once

#include <array>
#include <string_view>

#include "binding/entry.hpp"

namespace tolbrane {
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

template <const FunctionDescription& function, const char* text>
struct Docstring {
    static constexpr std::size_t size = write_docstring(function, text, nullptr);
    static constexpr std::array<char, size + 1> value = [] {
        std::array<char, size + 1> out{};
        write_docstring(function, text, out.data());
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

template <class Class, const FunctionDescription& function, auto operation, const char* text>
PyMethodDef method_row() noexcept {
    using rows::as_method;
    constexpr int fast_call = METH_FASTCALL | METH_KEYWORDS;
    constexpr bool no_arguments = function.positional_count == 0;
    const char* doc = rows::Docstring<function, text>::value.data();
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

constexpr PyMethodDef kEndOfMethods{nullptr, nullptr, 0, nullptr};

template <int slot, class Class, auto operation>
PyType_Slot slot_row() noexcept {
    using rows::as_slot;
    if constexpr (slot == Py_nb_bool) {
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

// The constructor slot, bound by `function`.
template <const FunctionDescription& function, auto operation>
PyType_Slot new_row() noexcept {
    return {Py_tp_new, rows::as_slot(&constructor<function, operation>)};
}

}  // namespace tolbrane
