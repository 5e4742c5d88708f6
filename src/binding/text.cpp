#include "binding/text.hpp"

#include <cstring>

#include "binding/errors.hpp"

namespace tolbrane {

void OptionalText::free_block() noexcept { PyMem_Free(block_); }

OptionalText OptionalText::copy_of(std::string_view utf8) {
    OptionalText text;
    text.block_ = static_cast<Block*>(PyMem_Malloc(offsetof(Block, bytes) + utf8.size() + 1));
    if (text.block_ == nullptr) {
        PyErr_NoMemory();
        throw_fetched();
    }
    text.block_->size = utf8.size();
    std::memcpy(text.block_->bytes, utf8.data(), utf8.size());
    text.block_->bytes[utf8.size()] = '\0';
    return text;
}

Owned OptionalText::to_str() const { return new_text(view()); }

Owned OptionalText::to_str_or_none() const { return present() ? to_str() : new_none(); }

}  // namespace tolbrane
