// Text: UTF-8 views of str objects, new str objects and the optional text of a record.
#include "binding/text.hpp"

#include <cstring>

#include "binding/errors.hpp"

namespace tolbrane {

std::optional<std::string_view> utf8_view(PyObject* text) {
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size);
    if (utf8 == nullptr) return std::nullopt;
    return std::string_view(utf8, static_cast<std::size_t>(size));
}

Owned new_text(std::string_view utf8, std::source_location location) {
    return require_created(
        PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size())), location);
}

Owned new_interned_text(std::string_view utf8, std::source_location location) {
    PyObject* text = new_text(utf8, location).release();
    PyUnicode_InternInPlace(&text);
    return Owned::steal(text);
}

void OptionalText::Free::operator()(Block* block) const noexcept { PyMem_Free(block); }

OptionalText OptionalText::copy_of(std::string_view utf8) {
    auto* block = static_cast<Block*>(PyMem_Malloc(offsetof(Block, bytes) + utf8.size() + 1));
    if (block == nullptr) {
        PyErr_NoMemory();
        throw_fetched();
    }
    block->size = utf8.size();
    std::memcpy(block->bytes, utf8.data(), utf8.size());
    block->bytes[utf8.size()] = '\0';
    OptionalText text;
    text.block_ = SolePointer<Block, Free>(block);
    return text;
}

Owned OptionalText::to_str() const { return new_text(view()); }

Owned OptionalText::to_str_or_none() const { return present() ? to_str() : new_none(); }

}  // namespace tolbrane
