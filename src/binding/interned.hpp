// A str made once per interpreter, interned and kept while the interpreter lives: names of
// attributes and keys that the extension looks up again and again.
#pragma once

#include "binding/interpreter.hpp"
#include "binding/text.hpp"

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
        return InterpreterStore::current().fill(slot_, new_interned_text(text_));
    }

    const char* text_;
    InterpreterSlot slot_;
};

}  // namespace tolbrane
