// The one place that includes <Python.h>: every file of the extension includes this header instead,
// so the whole build sees the same stable-ABI level.
#pragma once

#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x030C0000
#endif
#if Py_LIMITED_API + 0 != 0x030C0000
#error "tolbrane is built against the stable ABI of CPython 3.12 (Py_LIMITED_API 0x030C0000)"
#endif

#define PY_SSIZE_T_CLEAN
#include <Python.h>
