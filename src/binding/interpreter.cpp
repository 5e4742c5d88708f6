// The per-interpreter store: found or made on first need, released with its interpreter.
#include "binding/interpreter.hpp"

#include <memory>

#include "binding/errors.hpp"
#include "binding/text.hpp"
#include "runtime/fault.hpp"

namespace tolbrane {
namespace {

constexpr const char* kStoreKey = "tolbrane.objects";
constexpr const char* kCapsuleName = "tolbrane.objects";

// The capsule under `key` in the interpreter's dictionary, or NULL.
PyObject* stored_capsule(PyObject* dict, PyObject* key) {
    PyObject* found = PyDict_GetItemWithError(dict, key);
    if (found == nullptr && PyErr_Occurred() != nullptr) throw_fetched();
    return found;
}

}  // namespace

InterpreterStore& InterpreterStore::find_or_make(PyInterpreterState* interpreter) {
    PyObject* dict = PyInterpreterState_GetDict(interpreter);  // borrowed
    if (dict == nullptr)
        raise_fault("the interpreter offers no dictionary for the extension's objects");
    Owned key = new_text(kStoreKey);
    PyObject* capsule = stored_capsule(dict, key.get());
    if (capsule == nullptr) {
        std::unique_ptr<InterpreterStore> made(new InterpreterStore());
        Owned owner = require_created(PyCapsule_New(made.get(), kCapsuleName, &release));
        made.release()->link();  // the capsule owns it now
        // Making the capsule may have run a collection, and a finaliser the extension: the first
        // store of this interpreter is the one everyone uses.
        capsule = stored_capsule(dict, key.get());
        if (capsule == nullptr) {
            require_status(PyDict_SetItem(dict, key.get(), owner.get()));
            capsule = owner.get();
        }
    }
    auto* store = static_cast<InterpreterStore*>(PyCapsule_GetPointer(capsule, kCapsuleName));
    if (store == nullptr)
        raise_fault("the interpreter's store of the extension's objects is damaged");
    cached_interpreter_ = interpreter;
    cached_store_ = store;
    return *store;
}

void InterpreterStore::release(PyObject* capsule) noexcept {
    auto* store = static_cast<InterpreterStore*>(PyCapsule_GetPointer(capsule, kCapsuleName));
    if (store == nullptr) {
        PyErr_Clear();
        return;
    }
    // The interpreter is ending: forget it before its objects go, so that no later lookup can
    // reach a freed store (a new interpreter may be given the same address).
    if (cached_store_ == store) {
        cached_interpreter_ = nullptr;
        cached_store_ = nullptr;
    }
    store->unlink();
    delete store;
}

void InterpreterStore::link() noexcept {
    next_ = first_store_;
    if (next_ != nullptr) next_->previous_ = this;
    first_store_ = this;
    sole_store_ = next_ == nullptr ? this : nullptr;
}

void InterpreterStore::unlink() noexcept {
    (previous_ != nullptr ? previous_->next_ : first_store_) = next_;
    if (next_ != nullptr) next_->previous_ = previous_;
    const bool one_left = first_store_ != nullptr && first_store_->next_ == nullptr;
    sole_store_ = one_left ? first_store_ : nullptr;
}

PyObject* InterpreterStore::fill(const InterpreterSlot& slot, Owned made, std::size_t offset) {
    Owned& place = objects_[slot.index() + offset];
    if (!place) place = std::move(made);
    return place.get();
}

}  // namespace tolbrane
