#include "binding/conversions.hpp"

namespace tolbrane {

OptionalText to_text(PyObject* object) {
    if (!PyUnicode_Check(object)) throw PythonError::type_mismatch(object, "str");
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
    if (utf8 == nullptr) throw_fetched();
    return OptionalText::copy_of(std::string_view(utf8, static_cast<std::size_t>(size)));
}

OptionalText to_text_unless_none(PyObject* object) {
    return object == Py_None ? OptionalText() : to_text(object);
}

PyObject* to_dictionary(PyObject* object) {
    if (!PyDict_Check(object)) throw PythonError::type_mismatch(object, "dict");
    return object;
}

}  // namespace tolbrane
