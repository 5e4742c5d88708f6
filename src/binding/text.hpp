// Optional text: an owned copy of a str's UTF-8 form, or absent (distinct from empty). One
// pointer wide, to a length-prefixed block, so an absent text costs a null pointer and nothing
// else.
#pragma once

#include <cstddef>
#include <optional>
#include <source_location>
#include <string_view>

#include "binding/refs.hpp"

namespace tolbrane {

// The UTF-8 form of a str, kept by the str itself and valid while it lives; nothing, with the
// interpreter's UnicodeEncodeError raised, when the str cannot be encoded (lone surrogates).
std::optional<std::string_view> utf8_view(PyObject* text);

// A new str of UTF-8 text held by the extension; a failure is an internal fault.
Owned new_text(std::string_view utf8,
               std::source_location location = std::source_location::current());
// The same, interned: the str that the interpreter's intern table holds for the text.
Owned new_interned_text(std::string_view utf8,
                        std::source_location location = std::source_location::current());

class OptionalText {
public:
    OptionalText() noexcept = default;

    // Copies `utf8`; a failed allocation raises MemoryError.
    static OptionalText copy_of(std::string_view utf8);

    bool present() const noexcept { return block_.get() != nullptr; }
    std::string_view view() const noexcept {
        const Block* block = block_.get();
        return block ? std::string_view(block->bytes, block->size) : std::string_view();
    }
    OptionalText copy() const { return present() ? copy_of(view()) : OptionalText(); }
    // A new str holding the text; only for a present text.
    Owned to_str() const;
    // A new str holding the text, or None when absent.
    Owned to_str_or_none() const;

private:
    struct Block {
        std::size_t size;
        char bytes[1];
    };
    struct Free {
        void operator()(Block* block) const noexcept;
    };
    SolePointer<Block, Free> block_;
};

}  // namespace tolbrane
