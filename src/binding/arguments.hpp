// Argument binding: fills one borrowed slot per parameter from a call's arguments, in place,
// with the exact TypeError messages of a failed binding.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "binding/interpreter.hpp"

namespace tolbrane {

// How a callable receives its first argument: the instance, the class, or nothing.
enum class Receiver { instance, cls, none };

struct FunctionDescription {
    static constexpr std::size_t kMaxParameters = 3;

    const char* class_name;
    const char* function_name;  // "__new__" for a constructor
    std::array<std::string_view, kMaxParameters> parameters;
    std::size_t positional_count;  // every parameter is positional-or-keyword
    std::size_t required_count;    // the leading parameters that must be supplied
    Receiver receiver = Receiver::instance;
};

// Where each interpreter's store keeps the parameter names of one callable as interned strings, a
// row of kMaxParameters places filled on first use: keyword names from code objects are interned,
// so most keywords match by identity without being decoded.
using ParameterNameSlots = InterpreterSlot;

// Bound arguments: a borrowed reference per parameter, NULL for an optional one not supplied.
template <std::size_t N>
using Slots = std::array<PyObject*, N>;

// Fast-call form: `args[0..nargs)` positional, then one value per name in `kwnames`. Methods are
// never passed PY_VECTORCALL_ARGUMENTS_OFFSET in `nargs`.
void extract_arguments_fastcall(const FunctionDescription& function,
                                const ParameterNameSlots& names, PyObject* const* args,
                                Py_ssize_t nargs, PyObject* kwnames, PyObject** slots);

// Argument tuple and keyword dictionary (or NULL), for a type's constructor.
void extract_arguments_tuple_dict(const FunctionDescription& function,
                                  const ParameterNameSlots& names, PyObject* args, PyObject* kwargs,
                                  PyObject** slots);

}  // namespace tolbrane
