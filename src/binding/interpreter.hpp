// Objects that the extension makes once per interpreter: the type objects, the internal-fault
// class and the interned names.
//
// Every interpreter of a process has its own type-version counter, method cache, intern table and
// finalisation, so an object made in one interpreter must never serve another: a type shared
// between two would let one interpreter's caches run another class's method on it. Each
// interpreter therefore gets its own store, kept in the interpreter's own dictionary and released
// with it when the interpreter ends.
//
// A store is a row of places, one per `InterpreterSlot` of the program. A place is filled on first
// need, under the interpreter lock, and the first value stored is the one every caller uses. Every
// slot is a static object, so all of them exist before the interpreter first calls the extension.
#pragma once

#include <array>
#include <cstddef>

#include "binding/refs.hpp"

namespace tolbrane {

// One place in every interpreter's store, or a row of `width` places side by side.
class InterpreterSlot {
public:
    static constexpr std::size_t kCapacity = 128;

    explicit InterpreterSlot(std::size_t width = 1) noexcept : index_(next_index_) {
        next_index_ += width;
    }
    InterpreterSlot(const InterpreterSlot&) = delete;
    InterpreterSlot& operator=(const InterpreterSlot&) = delete;

    std::size_t index() const noexcept { return index_; }
    // Whether every slot of the program has its place in a store; module execution checks it.
    static bool all_fit() noexcept { return next_index_ <= kCapacity; }

    // The current interpreter's object, or NULL when none was stored yet.
    PyObject* get() const;
    // As `get`, asking the interpreter which it is: for the paths that may run before the
    // interpreter has executed the module (raising an internal fault).
    PyObject* get_checked() const;
    // Stores `made` in the current interpreter unless an object is there already, which wins;
    // returns the stored object (borrowed).
    PyObject* fill_checked(Owned made) const;

private:
    static inline constinit std::size_t next_index_ = 0;
    std::size_t index_;
};

class InterpreterStore {
public:
    InterpreterStore(const InterpreterStore&) = delete;
    InterpreterStore& operator=(const InterpreterStore&) = delete;

    // The current interpreter's store, made on first need. While only one interpreter has a
    // store, every call into the extension comes from that interpreter: an interpreter executes
    // the module, which looks its store up with `current_checked`, before it can call anything.
    static InterpreterStore& current() {
        if (sole_store_ != nullptr) [[likely]]
            return *sole_store_;
        return current_checked();
    }
    // The current interpreter's store, asking the interpreter which it is.
    static InterpreterStore& current_checked() {
        PyInterpreterState* interpreter = PyInterpreterState_Get();
        if (interpreter == cached_interpreter_) [[likely]]
            return *cached_store_;
        return find_or_make(interpreter);
    }

    PyObject* get(const InterpreterSlot& slot) const noexcept {
        return objects_[slot.index()].get();
    }
    // The places of a row.
    const Owned* row(const InterpreterSlot& slot) const noexcept { return &objects_[slot.index()]; }
    // Stores `made` at `offset` in the slot's row unless an object is there already, which wins;
    // returns the stored object (borrowed).
    PyObject* fill(const InterpreterSlot& slot, Owned made, std::size_t offset = 0);

    ~InterpreterStore() = default;

private:
    InterpreterStore() = default;
    static InterpreterStore& find_or_make(PyInterpreterState* interpreter);
    static void release(PyObject* capsule) noexcept;

    // Links a new store into the list of all stores, or unlinks one that goes, and sets the sole
    // store accordingly.
    void link() noexcept;
    void unlink() noexcept;

    // The last store looked up, the list of all stores (each owned by its capsule) and the only
    // store while there is exactly one. The interpreters that may import the extension share one
    // interpreter lock, which every access holds.
    static inline PyInterpreterState* cached_interpreter_ = nullptr;  // borrowed
    static inline InterpreterStore* cached_store_ = nullptr;
    static inline InterpreterStore* first_store_ = nullptr;
    static inline InterpreterStore* sole_store_ = nullptr;

    InterpreterStore* previous_ = nullptr;
    InterpreterStore* next_ = nullptr;

    std::array<Owned, InterpreterSlot::kCapacity> objects_{};
};

inline PyObject* InterpreterSlot::get() const { return InterpreterStore::current().get(*this); }

inline PyObject* InterpreterSlot::get_checked() const {
    return InterpreterStore::current_checked().get(*this);
}

inline PyObject* InterpreterSlot::fill_checked(Owned made) const {
    return InterpreterStore::current_checked().fill(*this, std::move(made));
}

}  // namespace tolbrane
