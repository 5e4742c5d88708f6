// The operations of the MayBe class, shared between its source files and its tables.
#pragma once

#include "maybe_class/maybe.hpp"

namespace tolbrane {

namespace maybe {

Owned map(const MayBeValue& self, PyObject* func);
Owned flat_map(const MayBeValue& self, PyObject* func);
Owned match(const MayBeValue& self, PyObject* just, PyObject* nothing);

}  // namespace maybe
}  // namespace tolbrane
