// The type objects of the extension's classes. Each class hands this layer one declarative
// description (made by `describe`, object/describe.hpp); the layer keeps a type-object cell per
// class, which holds one type object per interpreter, and knows every class it was described so
// that teardown can find a class from an instance's type.
#pragma once

#include <cstddef>
#include <span>

#include "binding/interpreter.hpp"

namespace tolbrane {

// The most classes the program may have; module execution checks it.
inline constexpr std::size_t kMaxClasses = 4;

// Takes the held object out of an instance whose last reference the caller holds.
using TakeHeld = Owned (*)(PyObject* instance) noexcept;

struct ClassDescription {
    const char* name;       // "Result"
    const char* spec_name;  // "builtins.Result"
    const char* doc;
    std::span<const PyType_Slot> slots;  // the class's own slots, in registration order
    PyMethodDef* methods;                // zero-terminated; lives for the whole process
    int basic_size;
    destructor dealloc;
    traverseproc traverse;
    // The object an instance holds, taken out of an instance about to be freed.
    TakeHeld take_held;
    // Destroys the instance of the class that was put aside last; false when there is none.
    bool (*destroy_one_put_aside)() noexcept;
    // The class's list of instances put aside on this thread.
    PyObject** (*put_aside_list)() noexcept;
};

// One class's type object in each interpreter: created there on first need, released when that
// interpreter ends. Within one interpreter every lookup gives the same type object.
class TypeCell {
public:
    explicit TypeCell(const ClassDescription& description) noexcept;
    TypeCell(const TypeCell&) = delete;
    TypeCell& operator=(const TypeCell&) = delete;

    // The type object, or the creation error as a thrown PythonError.
    PyTypeObject* lookup();
    // The type object; a creation failure is an internal fault.
    PyTypeObject* get() {
        PyObject* type = slot_.get();
        return type != nullptr ? reinterpret_cast<PyTypeObject*>(type) : get_slow();
    }
    const ClassDescription& description() const noexcept { return description_; }

    // Every cell of the program, each made once at load time.
    const TypeCell* next() const noexcept { return next_; }
    static const TypeCell* first() noexcept { return first_; }
    // Whether every class of the program fits in the tables sized by kMaxClasses.
    static bool all_fit() noexcept { return count_ <= kMaxClasses; }

private:
    PyTypeObject* get_slow();

    static inline constinit const TypeCell* first_ = nullptr;
    static inline constinit std::size_t count_ = 0;

    const ClassDescription& description_;
    InterpreterSlot slot_;
    const TypeCell* next_;
};

// The description of the class whose instances have type `type`, in any interpreter; NULL for a
// type that is not one of ours.
const ClassDescription* class_of(PyTypeObject* type);

}  // namespace tolbrane
