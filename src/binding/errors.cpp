#include "binding/errors.hpp"

#include <cstdio>
#include <new>

#include "binding/interpreter.hpp"
#include "runtime/fault.hpp"

namespace tolbrane {
namespace {

const InterpreterSlot fault_class_slot;

// The internal-fault exception class of this interpreter, created on first need.
PyObject* internal_fault_class();

// The type-mismatch message for `object` against the type named `expected`.
std::string type_mismatch_text(PyObject* object, const char* expected);

constexpr const char* kGenericFaultMessage = "internal fault in the tolbrane extension";
constexpr const char* kResumedFaultMessage = "Unwrapped panic from Python code";

// UTF-8 of a str with every unencodable character replaced, or nothing when even that fails.
bool replaced_utf8(PyObject* text, std::string& out) {
    Owned bytes = Owned::steal(PyUnicode_AsEncodedString(text, "utf-8", "replace"));
    if (!bytes) {
        PyErr_Clear();
        return false;
    }
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(bytes.get(), &data, &size) < 0) {
        PyErr_Clear();
        return false;
    }
    out.assign(data, static_cast<std::size_t>(size));
    return true;
}

// Python code raised an internal-fault exception again: show where, then fault with its text.
[[noreturn]] void resume_fault(Owned exception) {
    std::string message = kResumedFaultMessage;
    if (Owned text = Owned::steal(PyObject_Str(exception.get()))) {
        if (!replaced_utf8(text.get(), message)) message = kResumedFaultMessage;
    } else {
        PyErr_Clear();
    }
    std::fputs(
        "tolbrane: an internal fault is being resumed after it was fetched from Python code\n"
        "Python stack trace below:\n",
        stderr);
    PyErr_SetRaisedException(exception.release());
    PyErr_PrintEx(0);
    raise_fault(std::move(message));
}

// A new str for an exception being raised; NULL leaves the interpreter's MemoryError pending,
// the one report still possible when memory has run out.
Owned message_for_raise(std::string_view utf8) {
    return Owned::steal(
        PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size())));
}

// Sets the internal-fault exception with `message` as its single argument.
void raise_internal_fault(const std::string& message) {
    PyObject* fault_class = internal_fault_class();
    Owned text = message_for_raise(message.empty() ? std::string_view(kGenericFaultMessage)
                                                   : std::string_view(message));
    if (text) PyErr_SetObject(fault_class, text.get());
}

constexpr const char* kNoExceptionMessage = "attempted to fetch exception but none was set";

// Exactly the internal-fault class of this interpreter. Before the class exists no instance of
// it can have been raised.
bool is_internal_fault_class(PyObject* type) {
    PyObject* fault_class = fault_class_slot.get_checked();
    return fault_class != nullptr && type == fault_class;
}

}  // namespace

PythonError PythonError::fetch() {
    PyObject* raised = PyErr_GetRaisedException();
    if (raised == nullptr) return made(PyExc_SystemError, kNoExceptionMessage);
    Owned exception = Owned::steal(raised);
    if (is_internal_fault_class(reinterpret_cast<PyObject*>(Py_TYPE(raised))))
        resume_fault(std::move(exception));
    PythonError error;
    error.kind_ = Kind::fetched;
    error.object_ = std::move(exception);
    return error;
}

PythonError PythonError::made(PyObject* exception_class, std::string message) {
    PythonError error;
    error.kind_ = Kind::made;
    error.class_ = exception_class;
    error.message_ = std::move(message);
    return error;
}

PythonError PythonError::type_mismatch(PyObject* object, const char* expected) {
    PythonError error;
    error.kind_ = Kind::type_mismatch;
    error.class_ = PyExc_TypeError;
    error.object_ = Owned::borrow(object);
    error.expected_ = expected;
    return error;
}

PythonError PythonError::for_argument(const char* name) && {
    std::string prefix = std::string("argument '") + name + "': ";
    if (kind_ == Kind::fetched) {
        if (reinterpret_cast<PyObject*>(Py_TYPE(object_.get())) != PyExc_TypeError) {
            return std::move(*this);
        }
        PythonError error = made(PyExc_TypeError, prefix + display_text(object_.get()));
        error.argument_ = true;
        error.cause_ = Owned::steal(PyException_GetCause(object_.get()));
        return error;
    }
    if (class_ != PyExc_TypeError) return std::move(*this);
    message_.insert(0, prefix);
    argument_ = true;
    return std::move(*this);
}

std::string PythonError::made_text() const {
    if (kind_ == Kind::type_mismatch)
        return message_ + type_mismatch_text(object_.get(), expected_);
    return message_;
}

void PythonError::raise() && {
    if (kind_ == Kind::fetched) {
        PyErr_SetRaisedException(object_.release());
        return;
    }
    Owned text = message_for_raise(made_text());
    if (!text) return;
    PyErr_SetObject(class_, text.get());
    if (!argument_) return;
    // Setting the cause, even an absent one, also suppresses the context that raising attached.
    PyObject* raised = PyErr_GetRaisedException();
    if (reinterpret_cast<PyObject*>(Py_TYPE(raised)) == class_) {
        PyException_SetCause(raised, cause_.release());
    }
    PyErr_SetRaisedException(raised);
}

void throw_fetched() { throw PythonError::fetch(); }

void throw_type_mismatch(PyObject* object, const char* expected) {
    throw PythonError::type_mismatch(object, expected);
}

void throw_value_error(std::string message) {
    throw PythonError::made(PyExc_ValueError, std::move(message));
}

Owned raise_value_error(std::string_view message) {
    if (Owned text = message_for_raise(message)) PyErr_SetObject(PyExc_ValueError, text.get());
    return Owned();
}

Owned pending_failure() {
    PyObject* raised = PyErr_Occurred();
    if (raised == nullptr) {
        PyErr_SetString(PyExc_SystemError, kNoExceptionMessage);
    } else if (is_internal_fault_class(raised)) {
        throw_fetched();
    }
    return Owned();
}

Owned require_created(PyObject* result, std::source_location location) {
    if (result == nullptr) {
        if (PyErr_Occurred() != nullptr) PyErr_WriteUnraisable(nullptr);
        raise_fault("PyObject pointer is null", location);
    }
    return Owned::steal(result);
}

std::string display_text(PyObject* object) {
    std::string out;
    if (Owned text = Owned::steal(PyObject_Str(object))) {
        if (replaced_utf8(text.get(), out)) return out;
        return "<unprintable object>";
    }
    PyErr_WriteUnraisable(object);
    Owned type_name = Owned::steal(PyType_GetName(Py_TYPE(object)));
    if (type_name && replaced_utf8(type_name.get(), out)) return "<unprintable " + out + " object>";
    PyErr_Clear();
    return "<unprintable object>";
}

namespace {

std::string type_mismatch_text(PyObject* object, const char* expected) {
    if (object == Py_None) return std::string("'None' is not an instance of '") + expected + "'";
    std::string type_name;
    Owned qualname = Owned::steal(PyType_GetQualName(Py_TYPE(object)));
    if (!qualname) {
        PyErr_Clear();
        type_name = "<failed to extract type name>";
    } else if (!replaced_utf8(qualname.get(), type_name)) {
        type_name = "<failed to extract type name>";
    }
    return "'" + type_name + "' object is not an instance of '" + expected + "'";
}

PyObject* internal_fault_class() {
    if (PyObject* existing = fault_class_slot.get_checked()) return existing;
    PyObject* created = PyErr_NewExceptionWithDoc(
        "tolbrane.InternalFault",
        "Signals an internal fault in the tolbrane extension: a broken assumption inside its own\n"
        "code, not an error in the calling program.\n\n"
        "Like SystemExit, it derives from BaseException rather than Exception, so that it\n"
        "normally propagates to the top level and ends the program.",
        PyExc_BaseException, nullptr);
    if (created == nullptr) raise_fault("could not create the internal-fault exception class");
    // Creation may let another thread run: the first class stored is the one everyone uses.
    return fault_class_slot.fill_checked(Owned::steal(created));
}

}  // namespace

void raise_current_failure() noexcept {
    try {
        try {
            throw;
        } catch (PythonError& error) {
            std::move(error).raise();
        } catch (const InternalFault& fault) {
            raise_internal_fault(fault.message());
        } catch (const std::bad_alloc&) {
            PyErr_NoMemory();
        } catch (const std::exception& other) {
            report_fault(other.what(), std::source_location::current());
            raise_internal_fault(other.what());
        } catch (...) {
            report_fault(kGenericFaultMessage, std::source_location::current());
            raise_internal_fault(kGenericFaultMessage);
        }
    } catch (const InternalFault& fault) {
        // Out of memory while raising: the interpreter's MemoryError already stands.
        if (PyErr_Occurred() != nullptr && PyErr_ExceptionMatches(PyExc_MemoryError)) return;
        abort_unreportable(fault.message(), fault.location());
    } catch (...) {
        abort_unreportable(kGenericFaultMessage, std::source_location::current());
    }
}

}  // namespace tolbrane
