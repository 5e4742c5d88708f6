// The operations of the Result class, shared between its source files and its tables.
#pragma once

#include "result_class/result.hpp"

namespace tolbrane {

const ClassDefinition& result_definition();

namespace result {

// The Result that called code returned, checked and copied: never that object itself.
PyResult copy_returned_result(Owned returned);

}  // namespace result
}  // namespace tolbrane
