#include "binding/protocols.hpp"

#include <cstring>

namespace tolbrane {

Owned iterate_optional(PyObject* item) {
    Owned items = require_created(PyTuple_New(item != nullptr ? 1 : 0));
    if (item != nullptr) PyTuple_SetItem(items.get(), 0, Owned::borrow(item).release());
    return require(PyObject_GetIter(items.get()));
}

Owned wrapped_text(const char* prefix, PyObject* object) {
    Owned shown = require(PyObject_Str(object));
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(shown.get(), &size);
    if (utf8 == nullptr) throw_fetched();
    std::string text;
    text.reserve(std::strlen(prefix) + static_cast<std::size_t>(size) + 1);
    text.append(prefix).append(utf8, static_cast<std::size_t>(size)).append(")");
    return new_text(text);
}

}  // namespace tolbrane
