// Python errors inside operations.
//
// An operation that fails with a Python error throws a `PythonError`. It holds either the very
// exception object fetched from the interpreter (raised again unchanged), or a class and a message
// made by the extension; a made message is turned into text only when the error is raised, so a
// failure that is caught inside the extension costs no formatting.
//
// The failures that programs meet in loops (a callable that raises, `unwrap` of the wrong variant)
// do not throw: a C++ throw costs microseconds, several times the Python raise itself. Those
// paths leave the error raised in the interpreter and return an empty `Owned`, which the entry
// wrapper hands on as the convention's failure result. Functions that may do so say it.
#pragma once

#include <source_location>
#include <string>
#include <string_view>

#include "binding/refs.hpp"

namespace tolbrane {

class PythonError {
public:
    // The exception pending after a failed interpreter call. An internal-fault exception among
    // them is resumed as an internal fault where it is raised again (binding/failure.hpp).
    static PythonError fetch();
    // `exception_class` is one of the interpreter's built-in classes, which live forever.
    static PythonError made(PyObject* exception_class, std::string message);
    // TypeError: `object` is not an instance of the type named `expected`.
    static PythonError type_mismatch(PyObject* object, const char* expected);

    // An argument conversion failed: a TypeError gets the "argument 'name': " prefix and keeps
    // only the replaced exception's cause; any other error passes unchanged.
    PythonError for_argument(const char* name) &&;

    // Sets this error as the interpreter's pending exception.
    void raise() &&;

private:
    enum class Kind { fetched, made, type_mismatch };
    PythonError() = default;
    std::string made_text() const;

    Kind kind_ = Kind::made;
    Owned object_;                    // the fetched exception, or the mismatching object
    PyObject* class_ = nullptr;       // borrowed: a built-in exception class
    std::string message_;             // the message, or the prefix of a type mismatch
    const char* expected_ = nullptr;  // the expected type's name, for a type mismatch
    bool argument_ = false;           // raised with the replaced exception's cause
    Owned cause_;
};

[[noreturn]] void throw_fetched();
// Out of line, for the type tests on every call's path.
[[noreturn, gnu::cold, gnu::noinline]] void throw_type_mismatch(PyObject* object,
                                                                const char* expected);
[[noreturn]] void throw_value_error(std::string message);

// Raises ValueError with `message` at once; returns the empty `Owned` of a raised error.
[[nodiscard]] Owned raise_value_error(std::string_view message);

// The result of an interpreter call that returns a new reference, NULL meaning a raised exception.
inline Owned require(PyObject* result) {
    if (result == nullptr) throw_fetched();
    return Owned::steal(result);
}
inline void require_status(int status) {
    if (status < 0) throw_fetched();
}

// The result of creating an object that can fail only when memory runs out (a tuple, a dict, a
// list, a str of text the extension holds): a failure is an internal fault.
Owned require_created(PyObject* result,
                      std::source_location location = std::source_location::current());

// The message of the SystemError that stands in for an exception a failed call did not set.
inline constexpr const char* kNoExceptionMessage = "attempted to fetch exception but none was set";

// UTF-8 of a str with every unencodable character replaced into `out`; false, leaving `out` as it
// was, when even that fails.
bool replaced_utf8(PyObject* text, std::string& out);

// Text of `object` for a message: its str(), or "<unprintable T object>" when that fails.
std::string display_text(PyObject* object);

}  // namespace tolbrane
