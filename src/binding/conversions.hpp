// Conversions of arguments and of values returned by called code to the types the operations
// declare. A failure throws a `PythonError`; `convert_argument` adds the argument's name.
#pragma once

#include "binding/errors.hpp"
#include "binding/text.hpp"

namespace tolbrane {

// A str (or subclass) as UTF-8 text; anything else is a type mismatch against 'str', and a str
// that cannot be encoded (lone surrogates) raises the interpreter's UnicodeEncodeError.
OptionalText to_text(PyObject* object);
// None as absent text, or as `to_text`.
OptionalText to_text_unless_none(PyObject* object);
// A dict (or subclass), returned as it is.
PyObject* to_dictionary(PyObject* object);

// Runs the conversion of the bound argument `name`, naming it in a TypeError.
template <class Conversion>
auto convert_argument(const char* name, Conversion&& conversion) {
    try {
        return conversion();
    } catch (PythonError& error) {
        throw std::move(error).for_argument(name);
    }
}

}  // namespace tolbrane
