// The module definition and its execution step: `tolbrane` holds the two classes and `__all__`,
// and nothing else.
#include <string>

#include "binding/entry.hpp"
#include "binding/interned.hpp"
#include "binding/interpreter.hpp"
#include "binding/text.hpp"
#include "maybe_class/maybe.hpp"
#include "result_class/result.hpp"
#include "runtime/fault.hpp"

namespace tolbrane {
namespace {

InternedString all_name("__all__");

// The classes, in the order the module adds them.
TypeCell* const classes[] = {&maybe_type_cell, &result_type_cell};

// The module's `__all__`, made an empty list when it does not exist yet.
Owned module_all(PyObject* module) {
    if (Owned all = Owned::steal(PyObject_GetAttr(module, all_name.get()))) {
        if (!PyList_Check(all.get())) throw PythonError::type_mismatch(all.get(), "list");
        return all;
    }
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw_fetched();
    PyErr_Clear();
    Owned all = require_created(PyList_New(0));
    require_status(PyObject_SetAttr(module, all_name.get(), all.get()));
    return all;
}

void add_class(PyObject* module, TypeCell& cell) {
    PyTypeObject* type = cell.lookup();
    Owned name = new_text(cell.description().name);
    Owned all = module_all(module);
    if (PyList_Append(all.get(), name.get()) < 0) {
        Owned raised = Owned::steal(PyErr_GetRaisedException());
        raise_fault("could not append __name__ to __all__: " +
                    (raised ? display_text(raised.get()) : std::string("no error was set")));
    }
    require_status(PyObject_SetAttr(module, name.get(), reinterpret_cast<PyObject*>(type)));
}

void execute_module(PyObject* module) {
    if (!InterpreterSlot::all_fit()) raise_fault("the per-interpreter store is too small");
    if (!TypeCell::all_fit()) raise_fault("the teardown has no room for every class");
    if (!PyModule_Check(module)) throw PythonError::type_mismatch(module, "module");
    for (TypeCell* cell : classes) add_class(module, *cell);
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&module_exec<execute_module>)},
    // Each interpreter has its own type objects, but the extension finds them through a cache
    // that only the shared interpreter lock guards: an interpreter with a lock of its own must not
    // import the module.
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_SUPPORTED},
    {0, nullptr},
};

PyModuleDef module_definition = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "tolbrane",
    .m_doc = "",
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = module_slots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace
}  // namespace tolbrane

// The one exported symbol.
PyMODINIT_FUNC PyInit_tolbrane(void);

PyMODINIT_FUNC PyInit_tolbrane(void) { return PyModuleDef_Init(&tolbrane::module_definition); }
