// What deallocation needs to know about every class at once: the iterative release of chains,
// the instances put aside and the suspension of a teardown.
#include "object/teardown.hpp"

namespace tolbrane {

void release_held_chain(Owned held, PyTypeObject* own_type, TakeHeld own_take_held) noexcept {
    // Emptying the next instance before dropping the current one keeps every deallocation that
    // this loop triggers one level deep. The last class met is remembered, as most chains repeat
    // it; the destroyed instance's own class needs no lookup.
    PyTypeObject* known_type = own_type;
    TakeHeld known_take_held = own_take_held;
    while (held && Py_REFCNT(held.get()) == 1) {
        PyTypeObject* type = Py_TYPE(held.get());
        if (type != known_type) {
            const ClassDescription* found = class_of(type);
            if (found == nullptr) break;
            known_type = type;
            known_take_held = found->take_held;
        }
        held = known_take_held(held.get());
    }
}

namespace teardown {

[[gnu::noinline]] void destroy_put_aside() noexcept {
    bool destroyed = true;
    while (destroyed) {
        destroyed = false;
        for (const TypeCell* cell = TypeCell::first(); cell != nullptr; cell = cell->next()) {
            while (cell->description().destroy_one_put_aside()) destroyed = true;
        }
    }
}

Suspension::Suspension() noexcept : nesting_(nesting) {
    // The new teardown's first deallocation is its level kLevels, which destroys what it puts
    // aside before this scope ends.
    nesting = {kLevels - 1, 0, nullptr};
    std::size_t index = 0;
    for (const TypeCell* cell = TypeCell::first(); cell != nullptr; cell = cell->next()) {
        PyObject** list = cell->description().put_aside_list();
        put_aside_[index++] = *list;
        *list = nullptr;
    }
}

Suspension::~Suspension() {
    nesting = nesting_;
    std::size_t index = 0;
    for (const TypeCell* cell = TypeCell::first(); cell != nullptr; cell = cell->next()) {
        *cell->description().put_aside_list() = put_aside_[index++];
    }
}

}  // namespace teardown
}  // namespace tolbrane
