// Result combinators: map, map_err, flat_map (and its alias and_then), match. Each calls at most
// one callable, once; the variant that does not call it does not look at it: the combinators
// return a copy of the receiver there, and match returns None.
#include <string>

#include "binding/calls.hpp"
#include "binding/conversions.hpp"
#include "result_class/operations.hpp"

namespace tolbrane::result {
namespace {

// Calls `func` with an Err's (message, code or None, details or None).
Owned call_with_error(PyObject* func, const PyResult& self) {
    Owned message = self.message.to_str();
    Owned code = self.code.to_str_or_none();
    return call_with(func, message.get(), code.get(), self.details ? self.details.get() : Py_None);
}

// The (message, code, details) triple a map_err callable returned, checked item by item.
PyResult read_error_triple(const Owned& returned) {
    PyObject* triple = returned.get();
    if (!PyTuple_Check(triple)) throw PythonError::type_mismatch(triple, "tuple");
    const Py_ssize_t size = PyTuple_Size(triple);
    if (size != 3) {
        throw_value_error("expected tuple of length 3, but got tuple of length " +
                          std::to_string(size));
    }
    OptionalText message = to_text(PyTuple_GetItem(triple, 0));
    OptionalText code = to_text_unless_none(PyTuple_GetItem(triple, 1));
    Owned details = Owned::borrow_unless_none(PyTuple_GetItem(triple, 2));
    return PyResult::err(std::move(message), std::move(code), std::move(details));
}

// The Result that called code returned, checked and copied: never that object itself.
PyResult copy_returned_result(const Owned& returned) {
    return read_as<ResultClass>(returned.get())->copy();
}

}  // namespace

Owned map(const PyResult& self, PyObject* func) {
    if (!self.is_ok()) return new_result(self.copy());
    Owned mapped = call_with(func, self.value.get());
    if (!mapped) return mapped;
    return new_result(PyResult::ok(std::move(mapped)));
}

Owned map_err(const PyResult& self, PyObject* func) {
    if (self.is_ok()) return new_result(self.copy());
    Owned triple = call_with_error(func, self);
    if (!triple) return triple;
    return new_result(read_error_triple(triple));
}

Owned flat_map(const PyResult& self, PyObject* func) {
    if (!self.is_ok()) return new_result(self.copy());
    Owned returned = call_with(func, self.value.get());
    if (!returned) return returned;
    return new_result(copy_returned_result(returned));
}

Owned match(const PyResult& self, PyObject* ok, PyObject* err) {
    if (self.is_ok()) {
        if (ok == nullptr || ok == Py_None) return new_none();
        return call_with(ok, self.value.get());
    }
    if (err == nullptr || err == Py_None) return new_none();
    return call_with_error(err, self);
}

}  // namespace tolbrane::result
