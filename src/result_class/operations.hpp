// The operations of the Result class, shared between its source files and its tables.
#pragma once

#include "result_class/result.hpp"

namespace tolbrane {

namespace result {

Owned map(const PyResult& self, PyObject* func);
Owned map_err(const PyResult& self, PyObject* func);
Owned flat_map(const PyResult& self, PyObject* func);
Owned match(const PyResult& self, PyObject* ok, PyObject* err);
Owned to_dict(const PyResult& self);
Owned from_dict(PyObject* dict);

}  // namespace result
}  // namespace tolbrane
