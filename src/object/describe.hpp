// The declarative description of a class, made from the class file's parts and the hooks that
// follow from its record: its size, deallocation, traversal and teardown.
#pragma once

#include "binding/entry.hpp"
#include "object/teardown.hpp"
#include "object/types.hpp"

namespace tolbrane {

// The description of the class `Class` (traits as in binding/instance.hpp): what the class file
// writes, and the size and the hooks that follow from its record.
template <class Class>
constexpr ClassDescription describe(const char* name, const char* spec_name, const char* doc,
                                    std::span<const PyType_Slot> slots, PyMethodDef* methods) {
    return {name,
            spec_name,
            doc,
            slots,
            methods,
            static_cast<int>(sizeof(InstanceOf<Class>)),
            &no_report<deallocate_instance<Class>>,
            &traverse_instance<Class>,
            &take_held<Class>,
            &teardown::destroy_one_put_aside<Class>,
            &teardown::put_aside_list<Class>};
}

}  // namespace tolbrane
