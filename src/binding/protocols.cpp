// The protocol pieces both classes share: iteration of an optional object and the text of a repr.
#include "binding/protocols.hpp"

#include <cstring>

namespace tolbrane {

Owned iterate_optional(PyObject* item) {
    Owned items = require_created(PyTuple_New(item != nullptr ? 1 : 0));
    if (item != nullptr) PyTuple_SetItem(items.get(), 0, Owned::borrow(item).release());
    return require(PyObject_GetIter(items.get()));
}

namespace {

// Counts one more level of C recursion, so that the repr of a deeply nested value ends in
// RecursionError before the C stack runs out: each level of ours takes more stack than str() alone
// accounts for.
class RecursionLevel {
public:
    explicit RecursionLevel(const char* where) {
        if (Py_EnterRecursiveCall(where) != 0) throw_fetched();
    }
    RecursionLevel(const RecursionLevel&) = delete;
    RecursionLevel& operator=(const RecursionLevel&) = delete;
    ~RecursionLevel() { Py_LeaveRecursiveCall(); }
};

// The text around str() of the held value, kept out of line: str() of a nested value recurses
// through wrapped_text, whose frame should hold no more than what it needs across that call.
[[gnu::noinline]] Owned join_text(const char* prefix, PyObject* shown) {
    const std::optional<std::string_view> utf8 = utf8_view(shown);
    if (!utf8) throw_fetched();
    std::string text;
    text.reserve(std::strlen(prefix) + utf8->size() + 1);
    text.append(prefix).append(*utf8).append(")");
    return new_text(text);
}

}  // namespace

Owned wrapped_text(const char* prefix, PyObject* object) {
    const RecursionLevel level(" while getting the repr of an object");
    const Owned shown = require(PyObject_Str(object));
    return join_text(prefix, shown.get());
}

}  // namespace tolbrane
