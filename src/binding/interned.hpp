// A str made once per interpreter, interned and kept while the interpreter lives: names of
// attributes and keys that the extension looks up again and again.
#pragma once

#include "binding/errors.hpp"
#include "binding/interpreter.hpp"

namespace tolbrane {

class InternedString {
public:
    explicit InternedString(const char* text) noexcept : text_(text) {}

    [[gnu::always_inline]] PyObject* get() {
        if (PyObject* existing = slot_.get()) return existing;
        return make();
    }

private:
    [[gnu::cold, gnu::noinline]] PyObject* make() {
        PyObject* made = require_created(PyUnicode_FromString(text_)).release();
        PyUnicode_InternInPlace(&made);
        return InterpreterStore::current().fill(slot_, Owned::steal(made));
    }

    const char* text_;
    InterpreterSlot slot_;
};

}  // namespace tolbrane
