// The internal-fault exception class of each interpreter, and the conversion of whatever an
// operation failed with into the interpreter's exception at the call boundary.
//
// An internal-fault exception that Python code raises again is no ordinary error: wherever the
// extension meets it, it is resumed as an internal fault, with a report of its own.
#pragma once

#include "binding/errors.hpp"

namespace tolbrane {

// After an interpreter call failed: leaves its exception raised and returns an empty `Owned`. A
// call that failed without an exception raises SystemError instead; an internal-fault exception
// raised again by Python code is resumed as an internal fault (thrown).
[[nodiscard]] Owned pending_failure();

// Converts the C++ exception being handled into a raised Python exception; used by every entry
// wrapper inside `catch (...)`. Aborts the process when even that fails.
void raise_current_failure() noexcept;

}  // namespace tolbrane
