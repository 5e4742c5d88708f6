// Argument binding: the full binder for keywords and failures, with its exact messages.
#include "binding/arguments.hpp"

#include <string>

#include "binding/errors.hpp"
#include "binding/text.hpp"

namespace tolbrane {
namespace {

std::string full_name(const FunctionDescription& function) {
    return std::string(function.class_name) + "." + function.function_name + "()";
}

[[noreturn]] void fail_binding(std::string message) {
    throw PythonError::made(PyExc_TypeError, std::move(message));
}

[[noreturn]] void fail_too_many_positional(const FunctionDescription& function, Py_ssize_t given) {
    std::string message = full_name(function) + " takes ";
    if (function.required_count == function.positional_count) {
        message += std::to_string(function.positional_count);
    } else {
        message += "from " + std::to_string(function.required_count) + " to " +
                   std::to_string(function.positional_count);
    }
    message += " positional arguments but " + std::to_string(given) +
               (given == 1 ? " was given" : " were given");
    fail_binding(std::move(message));
}

[[noreturn]] void fail_unexpected_keyword(const FunctionDescription& function, PyObject* name) {
    fail_binding(full_name(function) + " got an unexpected keyword argument '" +
                 display_text(name) + "'");
}

// Lists the required parameters left empty: 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
[[noreturn]] void fail_missing(const FunctionDescription& function, PyObject* const* slots) {
    std::string listing;
    std::size_t missing = 0;
    for (std::size_t i = 0; i < function.required_count; ++i) missing += slots[i] == nullptr;
    std::size_t listed = 0;
    for (std::size_t i = 0; i < function.required_count; ++i) {
        if (slots[i] != nullptr) continue;
        if (listed > 0) {
            if (missing == 2) {
                listing += " and ";
            } else {
                listing += listed + 1 == missing ? ", and " : ", ";
            }
        }
        listing.append("'").append(function.parameters[i]).append("'");
        ++listed;
    }
    fail_binding(full_name(function) + " missing " + std::to_string(missing) +
                 " required positional " + (missing == 1 ? "argument" : "arguments") + ": " +
                 listing);
}

[[gnu::cold, gnu::noinline]] void intern_names(const FunctionDescription& function,
                                               const ParameterNameSlots& names,
                                               InterpreterStore& store) {
    for (std::size_t i = 0; i < function.positional_count; ++i) {
        store.fill(names, new_interned_text(function.parameters[i]), i);
    }
}

// A keyword that is not one of the interned names itself: compared by its UTF-8 bytes. A name
// that is not valid UTF-8 (lone surrogates) names no parameter.
[[gnu::cold, gnu::noinline]] std::size_t keyword_index_by_text(const FunctionDescription& function,
                                                               PyObject* name) {
    const std::optional<std::string_view> text =
        PyUnicode_Check(name) ? utf8_view(name) : std::nullopt;
    if (!text) {
        PyErr_Clear();
        fail_unexpected_keyword(function, name);
    }
    for (std::size_t i = 0; i < function.positional_count; ++i) {
        if (function.parameters[i] == *text) return i;
    }
    fail_unexpected_keyword(function, name);
}

// This interpreter's interned parameter names of the function, made on first use.
inline const Owned* interned_row(const FunctionDescription& function,
                                 const ParameterNameSlots& names) {
    InterpreterStore& store = InterpreterStore::current();
    const Owned* row = store.row(names);
    if (!row[0]) intern_names(function, names, store);
    return row;
}

// The parameter index a keyword names, by identity with the interned name first.
inline std::size_t keyword_index(const FunctionDescription& function, const Owned* interned,
                                 PyObject* name) {
    for (std::size_t i = 0; i < function.positional_count; ++i) {
        if (interned[i].get() == name) return i;
    }
    return keyword_index_by_text(function, name);
}

inline void bind_keyword(const FunctionDescription& function, const Owned* interned, PyObject* name,
                         PyObject* value, PyObject** slots) {
    const std::size_t index = keyword_index(function, interned, name);
    if (slots[index] != nullptr) {
        fail_binding(full_name(function) + " got multiple values for argument '" +
                     std::string(function.parameters[index]) + "'");
    }
    slots[index] = value;
}

void check_required(const FunctionDescription& function, Py_ssize_t nargs, PyObject** slots) {
    for (auto i = static_cast<std::size_t>(nargs); i < function.required_count; ++i) {
        if (slots[i] == nullptr) fail_missing(function, slots);
    }
}

}  // namespace

void extract_arguments_fastcall(const FunctionDescription& function,
                                const ParameterNameSlots& names, PyObject* const* args,
                                Py_ssize_t nargs, PyObject* kwnames, PyObject** slots) {
    if (nargs > static_cast<Py_ssize_t>(function.positional_count)) {
        fail_too_many_positional(function, nargs);
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];
    if (kwnames != nullptr) {
        const Owned* interned = interned_row(function, names);
        const Py_ssize_t count = PyTuple_Size(kwnames);
        for (Py_ssize_t i = 0; i < count; ++i) {
            bind_keyword(function, interned, PyTuple_GetItem(kwnames, i), args[nargs + i], slots);
        }
    }
    check_required(function, nargs, slots);
}

void extract_arguments_tuple_dict(const FunctionDescription& function,
                                  const ParameterNameSlots& names, PyObject* args, PyObject* kwargs,
                                  PyObject** slots) {
    const Py_ssize_t nargs = PyTuple_Size(args);
    const auto count = static_cast<Py_ssize_t>(function.positional_count);
    if (nargs > count) fail_too_many_positional(function, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = PyTuple_GetItem(args, i);
    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject* name = nullptr;
        PyObject* value = nullptr;
        const Owned* interned = interned_row(function, names);
        while (PyDict_Next(kwargs, &position, &name, &value)) {
            bind_keyword(function, interned, name, value, slots);
        }
    }
    check_required(function, nargs, slots);
}

}  // namespace tolbrane
