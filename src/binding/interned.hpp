// A str made once, interned and kept for the life of the process: names of attributes and keys
// that the extension looks up again and again.
#pragma once

#include "binding/errors.hpp"

namespace tolbrane {

class InternedString {
public:
    explicit constexpr InternedString(const char* text) noexcept : text_(text) {}

    PyObject* get() {
        if (object_ == nullptr) {
            PyObject* made = require_created(PyUnicode_FromString(text_)).release();
            PyUnicode_InternInPlace(&made);
            object_ = made;
        }
        return object_;
    }

private:
    const char* text_;
    PyObject* object_ = nullptr;  // owned for the life of the process
};

}  // namespace tolbrane
