// Entry wrappers: one per calling convention. Each binds the arguments, checks the receiver and
// takes the shared read hold on it, runs the operation and turns its outcome into what the C API
// expects. No C++ exception leaves a wrapper: every one is noexcept and catches everything.
//
// Operations receive the receiver's record (under the hold) and one borrowed `PyObject*` per
// parameter, NULL for an optional parameter that was not supplied. They return an `Owned`, but
// for the truth-value and length slots, whose operations return a number (-1 for a failure).
#pragma once

#include <source_location>
#include <tuple>
#include <type_traits>

#include "binding/arguments.hpp"
#include "binding/failure.hpp"
#include "binding/instance.hpp"
#include "runtime/fault.hpp"

namespace tolbrane {

// In a checking build, an operation's outcome must agree with the interpreter's error state: an
// empty result comes with a raised exception, a result without one.
inline void check_outcome(bool failed, std::source_location location) noexcept {
#ifdef TOLBRANE_CHECK_OUTCOMES
    if (failed != (PyErr_Occurred() != nullptr)) {
        abort_unreportable(failed ? "an operation failed without raising an exception"
                                  : "an operation succeeded with an exception raised",
                           location);
    }
#else
    (void)failed;
    (void)location;
#endif
}

// Runs an operation that returns an object, or a number with -1 for a failure, and turns every
// C++ exception into a raised Python exception and the convention's failure result.
template <class Operation>
auto guarded(Operation&& operation,
             std::source_location location = std::source_location::current()) noexcept {
    using Outcome = decltype(operation());
    if constexpr (std::is_same_v<Outcome, Owned>) {
        try {
            PyObject* result = operation().release();
            check_outcome(result == nullptr, location);
            return result;
        } catch (...) {
            raise_current_failure();
            return static_cast<PyObject*>(nullptr);
        }
    } else {
        try {
            const Outcome result = operation();
            check_outcome(result == -1, location);
            return result;
        } catch (...) {
            raise_current_failure();
            return Outcome{-1};
        }
    }
}

template <const FunctionDescription& function>
using SlotsFor = Slots<function.positional_count>;

// A variable template, so that every function's names have their places before the first call.
template <const FunctionDescription& function>
const ParameterNameSlots interned_names{FunctionDescription::kMaxParameters};

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

// The unary slots (`repr`, `iter`); also, through `instance_noargs`, the instance methods without
// arguments, whose signature is the same but for the unused second parameter.
template <class Class, auto operation>
[[gnu::always_inline]] inline PyObject* unary(PyObject* self) noexcept {
    return guarded([&] { return operation(*read_as<Class>(self)); });
}

template <class Class, auto operation>
PyObject* instance_noargs(PyObject* self, PyObject*) noexcept {
    return unary<Class, operation>(self);
}

// No arguments, static method.
template <auto operation>
PyObject* static_noargs(PyObject*, PyObject*) noexcept {
    return guarded([&] { return operation(); });
}

// The truth-value and length slots.
template <class Class, auto operation>
int inquiry(PyObject* self) noexcept {
    return guarded([&] { return static_cast<int>(operation(*read_as<Class>(self))); });
}

template <class Class, auto operation>
Py_ssize_t length(PyObject* self) noexcept {
    return guarded([&] { return operation(*read_as<Class>(self)); });
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
    return guarded([&] {
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

}  // namespace tolbrane
