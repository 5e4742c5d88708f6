// Python errors inside operations: the error holder, the made messages and the display text.
#include "binding/errors.hpp"

#include "runtime/fault.hpp"

namespace tolbrane {
namespace {

// A new str for an exception being raised; NULL leaves the interpreter's MemoryError pending,
// the one report still possible when memory has run out.
Owned message_for_raise(std::string_view utf8) {
    return Owned::steal(
        PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size())));
}

// The type-mismatch message for `object` against the type named `expected`.
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

}  // namespace

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

PythonError PythonError::fetch() {
    PyObject* raised = PyErr_GetRaisedException();
    if (raised == nullptr) return made(PyExc_SystemError, kNoExceptionMessage);
    PythonError error;
    error.kind_ = Kind::fetched;
    error.object_ = Owned::steal(raised);
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

}  // namespace tolbrane
