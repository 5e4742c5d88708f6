// Entry wrappers: one per calling convention. Each binds the arguments, checks the receiver and
// takes the shared read hold on it, runs the operation and turns its outcome into what the C API
// expects. No C++ exception leaves a wrapper: every one is noexcept and catches everything.
//
// Operations receive the receiver's record (under the hold) and one borrowed `PyObject*` per
// parameter, NULL for an optional parameter that was not supplied; they return an `Owned`.
#pragma once

#include <tuple>

#include "binding/arguments.hpp"
#include "binding/instance.hpp"

namespace tolbrane {

// A wrapper of any signature as a method table's `PyCFunction`; the flags of its row tell the
// interpreter the real signature.
template <class Function>
PyCFunction as_method(Function* function) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

constexpr int kFastCallFlags = METH_FASTCALL | METH_KEYWORDS;

template <class Operation>
PyObject* guarded(Operation&& operation) noexcept {
    try {
        return operation().release();
    } catch (...) {
        raise_current_failure();
        return nullptr;
    }
}

template <class Operation>
int guarded_int(Operation&& operation) noexcept {
    try {
        return operation();
    } catch (...) {
        raise_current_failure();
        return -1;
    }
}

template <const FunctionDescription& function>
using SlotsFor = Slots<function.positional_count>;

// A variable template, so that every function's names have their places before the first call.
template <const FunctionDescription& function>
const InternedNames interned_names{};

template <const FunctionDescription& function>
SlotsFor<function> bind_fastcall(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    SlotsFor<function> slots{};
    // The usual call passes every argument by position and binds in line; anything else, keywords
    // and every failure included, takes the full binder.
    constexpr auto required = static_cast<Py_ssize_t>(function.required_count);
    constexpr auto positional = static_cast<Py_ssize_t>(function.positional_count);
    if (kwnames == nullptr && required <= nargs && nargs <= positional) {
        for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];
        return slots;
    }
    extract_arguments_fastcall(function, interned_names<function>, args, nargs, kwnames,
                               slots.data());
    return slots;
}

// Fast call with keywords, static method: no receiver.
template <const FunctionDescription& function, auto operation>
PyObject* static_fastcall(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept {
    return guarded(
        [&] { return std::apply(operation, bind_fastcall<function>(args, nargs, kwnames)); });
}

// Fast call with keywords, class method: receives the class, which is not checked.
template <const FunctionDescription& function, auto operation>
PyObject* class_fastcall(PyObject* cls, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
    return guarded([&] {
        return std::apply([&](auto... bound) { return operation(cls, bound...); },
                          bind_fastcall<function>(args, nargs, kwnames));
    });
}

// Fast call with keywords, instance method.
template <class Class, const FunctionDescription& function, auto operation>
PyObject* instance_fastcall(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) noexcept {
    return guarded([&] {
        const auto slots = bind_fastcall<function>(args, nargs, kwnames);
        const auto receiver = read_as<Class>(self);
        return std::apply([&](auto... bound) { return operation(*receiver, bound...); }, slots);
    });
}

// No arguments, instance method; also the unary slots (`repr`, `iter`), whose signature is the
// same but for the unused second parameter.
template <class Class, auto operation>
PyObject* instance_noargs(PyObject* self, PyObject*) noexcept {
    return guarded([&] { return operation(*read_as<Class>(self)); });
}

template <class Class, auto operation>
PyObject* unary(PyObject* self) noexcept {
    return guarded([&] { return operation(*read_as<Class>(self)); });
}

// No arguments, static method.
template <auto operation>
PyObject* static_noargs(PyObject*, PyObject*) noexcept {
    return guarded([&] { return operation(); });
}

// The truth-value and length slots.
template <class Class, auto operation>
int inquiry(PyObject* self) noexcept {
    return guarded_int([&] { return static_cast<int>(operation(*read_as<Class>(self))); });
}

template <class Class, auto operation>
Py_ssize_t length(PyObject* self) noexcept {
    try {
        return operation(*read_as<Class>(self));
    } catch (...) {
        raise_current_failure();
        return -1;
    }
}

// A binary operator slot: a left operand of another type gets NotImplemented; the right operand
// goes to the operation unchecked.
template <class Class, auto operation>
PyObject* binary(PyObject* left, PyObject* right) noexcept {
    return guarded([&] {
        if (!is_instance<Class>(left)) return immortal(Py_NotImplemented);
        return operation(*SharedRead<Class>(left), right);
    });
}

// A type's constructor: arguments from a tuple and a keyword dictionary.
template <const FunctionDescription& function, auto operation>
PyObject* constructor(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return guarded([&] {
        SlotsFor<function> slots{};
        extract_arguments_tuple_dict(function, interned_names<function>, args, kwargs,
                                     slots.data());
        return std::apply([&](auto... bound) { return operation(type, bound...); }, slots);
    });
}

// The module's execution slot.
template <auto operation>
int module_exec(PyObject* module) noexcept {
    return guarded_int([&] {
        operation(module);
        return 0;
    });
}

// Deallocation has no failure result: a fault is raised and handed at once to the
// interpreter's unraisable hook.
template <auto operation>
void no_report(PyObject* self) noexcept {
    try {
        operation(self);
    } catch (...) {
        raise_current_failure();
        PyErr_WriteUnraisable(nullptr);
    }
}

// Method-table entries for the wrappers above.
template <class Class, auto operation>
PyCFunction noargs_method() {
    return as_method(&instance_noargs<Class, operation>);
}

template <class Class, const FunctionDescription& function, auto operation>
PyCFunction fastcall_method() {
    return as_method(&instance_fastcall<Class, function, operation>);
}

}  // namespace tolbrane
