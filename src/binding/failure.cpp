// The internal-fault class of each interpreter, the resumption of one raised again by Python code,
// and the conversion of failures at the call boundary.
#include "binding/failure.hpp"

#include <cstdio>
#include <new>
#include <string_view>

#include "binding/interpreter.hpp"
#include "runtime/fault.hpp"

namespace tolbrane {
namespace {

const InterpreterSlot fault_class_slot;

constexpr const char* kGenericFaultMessage = "internal fault in the tolbrane extension";
constexpr const char* kResumedFaultMessage = "Unwrapped panic from Python code";

// The internal-fault exception class of this interpreter, created on first need.
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

// Exactly the internal-fault class of this interpreter. Before the class exists no instance of
// it can have been raised.
bool is_internal_fault_class(PyObject* type) {
    PyObject* fault_class = fault_class_slot.get_checked();
    return fault_class != nullptr && type == fault_class;
}

// Sets the internal-fault exception with `message` as its single argument; when even the text
// cannot be made, the interpreter's MemoryError stands instead.
void raise_internal_fault(const std::string& message) {
    PyObject* fault_class = internal_fault_class();
    const std::string_view text =
        message.empty() ? std::string_view(kGenericFaultMessage) : std::string_view(message);
    if (Owned made = Owned::steal(
            PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())))) {
        PyErr_SetObject(fault_class, made.get());
    }
}

// Python code raised an internal-fault exception again: shows where, and gives the message of
// the fault it resumes as, str() of the exception.
std::string resumed_fault_message(Owned exception) {
    std::string message = kResumedFaultMessage;
    if (Owned text = Owned::steal(PyObject_Str(exception.get()))) {
        replaced_utf8(text.get(), message);
    } else {
        PyErr_Clear();
    }
    std::fputs(
        "tolbrane: an internal fault is being resumed after it was fetched from Python code\n"
        "Python stack trace below:\n",
        stderr);
    PyErr_SetRaisedException(exception.release());
    PyErr_PrintEx(0);
    return message;
}

// A Python error being raised at the boundary; an internal-fault exception among them is resumed.
void raise_python_error(PythonError& error) {
    std::move(error).raise();
    PyObject* raised = PyErr_Occurred();
    if (raised == nullptr || !is_internal_fault_class(raised)) return;
    const std::string message = resumed_fault_message(Owned::steal(PyErr_GetRaisedException()));
    report_fault(message, std::source_location::current());
    raise_internal_fault(message);
}

}  // namespace

Owned pending_failure() {
    PyObject* raised = PyErr_Occurred();
    if (raised == nullptr) {
        PyErr_SetString(PyExc_SystemError, kNoExceptionMessage);
    } else if (is_internal_fault_class(raised)) {
        raise_fault(resumed_fault_message(Owned::steal(PyErr_GetRaisedException())));
    }
    return Owned();
}

void raise_current_failure() noexcept {
    try {
        try {
            throw;
        } catch (PythonError& error) {
            raise_python_error(error);
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
