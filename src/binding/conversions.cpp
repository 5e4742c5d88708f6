// Conversions of arguments to text and to a dictionary, with their type-mismatch errors.
#include "binding/conversions.hpp"

namespace tolbrane {

OptionalText to_text(PyObject* object) {
    if (!PyUnicode_Check(object)) throw PythonError::type_mismatch(object, "str");
    const std::optional<std::string_view> utf8 = utf8_view(object);
    if (!utf8) throw_fetched();
    return OptionalText::copy_of(*utf8);
}

OptionalText to_text_unless_none(PyObject* object) {
    return object == Py_None ? OptionalText() : to_text(object);
}

PyObject* to_dictionary(PyObject* object) {
    if (!PyDict_Check(object)) throw PythonError::type_mismatch(object, "dict");
    return object;
}

}  // namespace tolbrane
