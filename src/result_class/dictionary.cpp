// The dictionary form of a Result, for storage and transport:
//     Ok  -> {"ok": True, "value": value}
//     Err -> {"ok": False, "error": message[, "code": code][, "details": details]}
#include "binding/calls.hpp"
#include "binding/conversions.hpp"
#include "binding/interned.hpp"
#include "result_class/operations.hpp"

namespace tolbrane::result {
namespace {

InternedString ok_key("ok");
InternedString value_key("value");
InternedString error_key("error");
InternedString code_key("code");
InternedString details_key("details");
InternedString module_attribute("__module__");
InternedString bool_attribute("__bool__");

void set_item(PyObject* dict, InternedString& key, PyObject* value) {
    require_status(PyDict_SetItem(dict, key.get(), value));
}

// The plain lookup: a dict subclass's __getitem__ and __missing__ are not consulted. The found
// object is held at once, since a later lookup may run code that changes the dict.
[[gnu::always_inline]] inline Owned lookup(PyObject* dict, InternedString& key) {
    PyObject* found = PyDict_GetItemWithError(dict, key.get());
    if (found == nullptr && PyErr_Occurred() != nullptr) throw_fetched();
    return Owned::borrow(found);
}

bool is_named(PyObject* text, const char* name) {
    return PyUnicode_Check(text) && PyUnicode_CompareWithASCIIString(text, name) == 0;
}

// numpy's boolean scalar type, recognised by its module and name without importing numpy. A
// failure to read either only means "not numpy's".
bool is_numpy_bool_type(PyTypeObject* type) {
    Owned module =
        Owned::steal(PyObject_GetAttr(reinterpret_cast<PyObject*>(type), module_attribute.get()));
    Owned name = module ? Owned::steal(PyType_GetName(type)) : Owned();
    if (!name) {
        PyErr_Clear();
        return false;
    }
    return is_named(module.get(), "numpy") &&
           (is_named(name.get(), "bool_") || is_named(name.get(), "bool"));
}

// numpy's boolean, through the `__bool__` that its type defines.
bool numpy_truth(PyObject* flag) {
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(flag));
    Owned method = Owned::steal(PyObject_GetAttr(type, bool_attribute.get()));
    if (!method) {
        PyErr_Clear();
        throw PythonError::made(PyExc_TypeError, "object of type '" + display_text(type) +
                                                     "' does not define a '__bool__' conversion");
    }
    const auto bind =
        reinterpret_cast<descrgetfunc>(PyType_GetSlot(Py_TYPE(method.get()), Py_tp_descr_get));
    if (bind != nullptr) method = require(bind(method.get(), flag, type));
    Owned truth = call_without_arguments(method.get());
    if (!truth) throw_fetched();
    if (!PyBool_Check(truth.get())) throw PythonError::type_mismatch(truth.get(), "bool");
    return truth.get() == Py_True;
}

// "ok" is exactly a bool, or numpy's boolean; an int is not accepted.
bool read_ok_flag(PyObject* flag) {
    if (PyBool_Check(flag)) return flag == Py_True;
    if (is_numpy_bool_type(Py_TYPE(flag))) return numpy_truth(flag);
    throw PythonError::type_mismatch(flag, "bool");
}

// "code" is kept only when it is a str that can be encoded; anything else is dropped silently.
OptionalText read_code(PyObject* code) {
    if (code == nullptr || !PyUnicode_Check(code)) return OptionalText();
    const std::optional<std::string_view> utf8 = utf8_view(code);
    if (!utf8) {
        PyErr_Clear();
        return OptionalText();
    }
    return OptionalText::copy_of(*utf8);
}

}  // namespace

Owned to_dict(const PyResult& self) {
    Owned dict = require_created(PyDict_New());
    if (self.is_ok()) {
        set_item(dict.get(), ok_key, Py_True);
        set_item(dict.get(), value_key, self.value.get());
        return dict;
    }
    set_item(dict.get(), ok_key, Py_False);
    set_item(dict.get(), error_key, self.message.to_str().get());  // an Err always has one
    if (self.code.present()) set_item(dict.get(), code_key, self.code.to_str().get());
    if (self.details) set_item(dict.get(), details_key, self.details.get());
    return dict;
}

Owned from_dict(PyObject* argument) {
    PyObject* dict = convert_argument("dict", [&] { return to_dictionary(argument); });
    Owned flag = lookup(dict, ok_key);
    if (!flag) throw_value_error("Missing 'ok' key in dict");
    if (read_ok_flag(flag.get())) {
        Owned value = lookup(dict, value_key);
        if (!value) throw_value_error("Missing 'value' key for Ok result");
        return new_result(PyResult::ok(std::move(value)));
    }
    Owned error = lookup(dict, error_key);
    if (!error) throw_value_error("Missing 'error' key for Err result");
    OptionalText message = to_text(error.get());
    OptionalText code = read_code(lookup(dict, code_key).get());
    Owned details = lookup(dict, details_key);
    return new_result(PyResult::err(std::move(message), std::move(code), std::move(details)));
}

}  // namespace tolbrane::result
