/* tolbrane_floor: the least a C extension of tolbrane's shape can cost per operation.
 *
 *     class Result:       # heap type, collected, not instantiable from Python
 *         ok(value), err(message, code=None, details=None), from_dict(d)    # static
 *         is_ok(), unwrap(), unwrap_or(default), map(f), flat_map(f), and_then(f), to_dict()
 *         __repr__
 *     class MayBe:        # heap type, collected; MayBe(obj) makes a Just
 *         just(obj), nothing()   # static
 *         map(f), flat_map(f), or_else(default)
 *
 * The same work as tolbrane's operations and nothing more: types from PyType_FromSpec kept in a
 * process-wide cell, instances allocated by object.__new__, a compare-and-swap shared hold taken
 * on every receiver, an Err's texts kept as owned UTF-8 copies and turned into new str objects
 * when handed out, and a new instance from every operation. Arguments are positional only and
 * errors are plain, which is the part tolbrane's binding layer adds on top.
 */
#define Py_LIMITED_API 0x030C0000
#include <Python.h>
#include <stdatomic.h>
#include <string.h>

typedef struct {
    char *data; /* NULL when absent */
    Py_ssize_t size;
} Text;

typedef struct {
    PyObject_HEAD
    PyObject *value;   /* Ok when present */
    Text message;      /* Err when present */
    Text code;
    PyObject *details;
    atomic_size_t holds;
} ResultObject;

typedef struct {
    PyObject_HEAD
    PyObject *inner;   /* Just when present */
    atomic_size_t holds;
} MayBeObject;

static PyTypeObject *result_type; /* filled once, never emptied */
static PyTypeObject *maybe_type;
static PyObject *key_ok, *key_value, *key_error, *key_code, *key_details;

/* ---- the shared hold ---- */

static inline void hold(atomic_size_t *holds) {
    size_t current = atomic_load_explicit(holds, memory_order_relaxed);
    while (!atomic_compare_exchange_weak_explicit(holds, &current, current + 1,
                                                  memory_order_acquire, memory_order_relaxed)) {
    }
}

static inline void unhold(atomic_size_t *holds) {
    atomic_fetch_sub_explicit(holds, 1, memory_order_release);
}

static int is_a(PyObject *object, PyTypeObject *type) {
    return Py_TYPE(object) == type || PyType_IsSubtype(Py_TYPE(object), type);
}

static int receiver(PyObject *self, PyTypeObject *type) {
    if (!is_a(self, type)) {
        PyErr_SetString(PyExc_TypeError, "wrong receiver");
        return -1;
    }
    return 0;
}

/* ---- texts ---- */

static int text_from(PyObject *string, Text *text) {
    Py_ssize_t size;
    const char *utf8 = PyUnicode_AsUTF8AndSize(string, &size);
    if (utf8 == NULL) return -1;
    text->data = PyMem_Malloc(size + 1);
    if (text->data == NULL) {
        PyErr_NoMemory();
        return -1;
    }
    memcpy(text->data, utf8, size + 1);
    text->size = size;
    return 0;
}

static int text_copy(const Text *from, Text *to) {
    to->data = NULL;
    to->size = 0;
    if (from->data == NULL) return 0;
    to->data = PyMem_Malloc(from->size + 1);
    if (to->data == NULL) {
        PyErr_NoMemory();
        return -1;
    }
    memcpy(to->data, from->data, from->size + 1);
    to->size = from->size;
    return 0;
}

static PyObject *text_str(const Text *text) {
    return PyUnicode_FromStringAndSize(text->data, text->size);
}

/* ---- allocation and deallocation ---- */

static PyObject *allocate(PyTypeObject *type) {
    static newfunc object_new;
    static PyObject *no_arguments;
    if (object_new == NULL) {
        object_new = (newfunc)PyType_GetSlot(&PyBaseObject_Type, Py_tp_new);
        no_arguments = PyTuple_New(0);
        if (no_arguments == NULL) return NULL;
    }
    return object_new(type, no_arguments, NULL);
}

/* A payload that is not tracked can never close a cycle through the instance. */
static void untrack_unless(PyObject *self, PyObject *held) {
    if (held == NULL || !PyObject_GC_IsTracked(held)) PyObject_GC_UnTrack(self);
}

/* Takes the references and texts given to it, on failure too. */
static PyObject *new_result(PyObject *value, Text message, Text code, PyObject *details) {
    ResultObject *self = (ResultObject *)allocate(result_type);
    if (self == NULL) {
        Py_XDECREF(value);
        Py_XDECREF(details);
        PyMem_Free(message.data);
        PyMem_Free(code.data);
        return NULL;
    }
    self->value = value;
    self->message = message;
    self->code = code;
    self->details = details;
    atomic_init(&self->holds, 0);
    untrack_unless((PyObject *)self, value != NULL ? value : details);
    return (PyObject *)self;
}

static PyObject *new_ok(PyObject *value) {
    static const Text absent = {NULL, 0};
    Py_INCREF(value);
    return new_result(value, absent, absent, NULL);
}

static PyObject *new_maybe(PyTypeObject *type, PyObject *inner) {
    MayBeObject *self = (MayBeObject *)allocate(type);
    if (self == NULL) return NULL;
    Py_XINCREF(inner);
    self->inner = inner;
    atomic_init(&self->holds, 0);
    untrack_unless((PyObject *)self, inner);
    return (PyObject *)self;
}

static void Result_dealloc(PyObject *op) {
    ResultObject *self = (ResultObject *)op;
    PyTypeObject *type = Py_TYPE(op);
    PyObject_GC_UnTrack(op);
    Py_CLEAR(self->value);
    Py_CLEAR(self->details);
    PyMem_Free(self->message.data);
    PyMem_Free(self->code.data);
    ((freefunc)PyType_GetSlot(type, Py_tp_free))(op);
    Py_DECREF(type);
}

static int Result_traverse(PyObject *op, visitproc visit, void *arg) {
    ResultObject *self = (ResultObject *)op;
    Py_VISIT(Py_TYPE(op));
    Py_VISIT(self->value);
    Py_VISIT(self->details);
    return 0;
}

static void MayBe_dealloc(PyObject *op) {
    PyTypeObject *type = Py_TYPE(op);
    PyObject_GC_UnTrack(op);
    Py_CLEAR(((MayBeObject *)op)->inner);
    ((freefunc)PyType_GetSlot(type, Py_tp_free))(op);
    Py_DECREF(type);
}

static int MayBe_traverse(PyObject *op, visitproc visit, void *arg) {
    Py_VISIT(Py_TYPE(op));
    Py_VISIT(((MayBeObject *)op)->inner);
    return 0;
}

static int want(Py_ssize_t nargs, Py_ssize_t least, Py_ssize_t most, PyObject *kwnames) {
    if (nargs < least || nargs > most || (kwnames != NULL && PyTuple_Size(kwnames) != 0)) {
        PyErr_SetString(PyExc_TypeError, "wrong arguments");
        return -1;
    }
    return 0;
}

/* ---- Result ---- */

static PyObject *Result_ok(PyObject *unused, PyObject *const *args, Py_ssize_t nargs,
                           PyObject *kwnames) {
    if (want(nargs, 1, 1, kwnames) < 0) return NULL;
    return new_ok(args[0]);
}

static PyObject *make_err(PyObject *message, PyObject *code, PyObject *details) {
    Text message_text = {NULL, 0}, code_text = {NULL, 0};
    if (!PyUnicode_Check(message)) {
        PyErr_SetString(PyExc_TypeError, "message must be a str");
        return NULL;
    }
    if (text_from(message, &message_text) < 0) return NULL;
    if (code != NULL && code != Py_None && text_from(code, &code_text) < 0) {
        PyMem_Free(message_text.data);
        return NULL;
    }
    if (details == Py_None) details = NULL;
    Py_XINCREF(details);
    return new_result(NULL, message_text, code_text, details);
}

static PyObject *Result_err(PyObject *unused, PyObject *const *args, Py_ssize_t nargs,
                            PyObject *kwnames) {
    if (want(nargs, 1, 3, kwnames) < 0) return NULL;
    return make_err(args[0], nargs > 1 ? args[1] : NULL, nargs > 2 ? args[2] : NULL);
}

static PyObject *Result_from_dict(PyObject *unused, PyObject *const *args, Py_ssize_t nargs,
                                  PyObject *kwnames) {
    if (want(nargs, 1, 1, kwnames) < 0) return NULL;
    PyObject *form = args[0];
    if (!PyDict_Check(form)) {
        PyErr_SetString(PyExc_TypeError, "not a dict");
        return NULL;
    }
    PyObject *ok = PyDict_GetItemWithError(form, key_ok);
    if (ok == NULL || !PyBool_Check(ok)) {
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_ValueError, "bad 'ok'");
        return NULL;
    }
    if (ok == Py_True) {
        PyObject *value = PyDict_GetItemWithError(form, key_value);
        if (value == NULL) {
            if (!PyErr_Occurred()) PyErr_SetString(PyExc_ValueError, "no 'value'");
            return NULL;
        }
        return new_ok(value);
    }
    PyObject *error = PyDict_GetItemWithError(form, key_error);
    if (error == NULL) {
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_ValueError, "no 'error'");
        return NULL;
    }
    PyObject *code = PyDict_GetItemWithError(form, key_code);
    if (code == NULL && PyErr_Occurred()) return NULL;
    if (code != NULL && !PyUnicode_Check(code)) code = NULL;
    PyObject *details = PyDict_GetItemWithError(form, key_details);
    if (details == NULL && PyErr_Occurred()) return NULL;
    return make_err(error, code, details);
}

static PyObject *Result_is_ok(PyObject *op, PyObject *unused) {
    if (receiver(op, result_type) < 0) return NULL;
    ResultObject *self = (ResultObject *)op;
    hold(&self->holds);
    PyObject *answer = PyBool_FromLong(self->value != NULL);
    unhold(&self->holds);
    return answer;
}

static PyObject *Result_unwrap(PyObject *op, PyObject *unused) {
    if (receiver(op, result_type) < 0) return NULL;
    ResultObject *self = (ResultObject *)op;
    PyObject *value = NULL;
    hold(&self->holds);
    if (self->value != NULL) {
        value = self->value;
        Py_INCREF(value);
    } else {
        PyErr_SetString(PyExc_ValueError, "Tried to unwrap an Err");
    }
    unhold(&self->holds);
    return value;
}

static PyObject *Result_unwrap_or(PyObject *op, PyObject *const *args, Py_ssize_t nargs,
                                  PyObject *kwnames) {
    if (receiver(op, result_type) < 0 || want(nargs, 1, 1, kwnames) < 0) return NULL;
    ResultObject *self = (ResultObject *)op;
    hold(&self->holds);
    PyObject *value = self->value != NULL ? self->value : args[0];
    Py_INCREF(value);
    unhold(&self->holds);
    return value;
}

/* An Err copied: its own texts, the same details. */
static PyObject *copy_err(ResultObject *self) {
    Text message, code;
    if (text_copy(&self->message, &message) < 0) return NULL;
    if (text_copy(&self->code, &code) < 0) {
        PyMem_Free(message.data);
        return NULL;
    }
    Py_XINCREF(self->details);
    return new_result(NULL, message, code, self->details);
}

static PyObject *Result_map(PyObject *op, PyObject *const *args, Py_ssize_t nargs,
                            PyObject *kwnames) {
    if (receiver(op, result_type) < 0 || want(nargs, 1, 1, kwnames) < 0) return NULL;
    ResultObject *self = (ResultObject *)op;
    PyObject *answer;
    hold(&self->holds);
    if (self->value != NULL) {
        PyObject *value = PyObject_Vectorcall(args[0], &self->value, 1, NULL);
        static const Text absent = {NULL, 0};
        answer = value == NULL ? NULL : new_result(value, absent, absent, NULL);
    } else {
        answer = copy_err(self);
    }
    unhold(&self->holds);
    return answer;
}

/* A new Result with the contents of `other`, a Result. */
static PyObject *copy_result(PyObject *op) {
    ResultObject *other = (ResultObject *)op;
    PyObject *answer;
    hold(&other->holds);
    answer = other->value != NULL ? new_ok(other->value) : copy_err(other);
    unhold(&other->holds);
    return answer;
}

static PyObject *Result_flat_map(PyObject *op, PyObject *const *args, Py_ssize_t nargs,
                                 PyObject *kwnames) {
    if (receiver(op, result_type) < 0 || want(nargs, 1, 1, kwnames) < 0) return NULL;
    ResultObject *self = (ResultObject *)op;
    PyObject *answer = NULL;
    hold(&self->holds);
    if (self->value != NULL) {
        PyObject *made = PyObject_Vectorcall(args[0], &self->value, 1, NULL);
        if (made != NULL) {
            if (is_a(made, result_type))
                answer = copy_result(made);
            else
                PyErr_SetString(PyExc_TypeError, "not a Result");
            Py_DECREF(made);
        }
    } else {
        answer = copy_err(self);
    }
    unhold(&self->holds);
    return answer;
}

static int put(PyObject *dict, PyObject *key, PyObject *owned) {
    if (owned == NULL) return -1;
    int status = PyDict_SetItem(dict, key, owned);
    Py_DECREF(owned);
    return status;
}

static PyObject *Result_to_dict(PyObject *op, PyObject *unused) {
    if (receiver(op, result_type) < 0) return NULL;
    ResultObject *self = (ResultObject *)op;
    PyObject *form = PyDict_New();
    if (form == NULL) return NULL;
    hold(&self->holds);
    int status;
    if (self->value != NULL) {
        status = PyDict_SetItem(form, key_ok, Py_True) < 0 ||
                 PyDict_SetItem(form, key_value, self->value) < 0;
    } else {
        status = PyDict_SetItem(form, key_ok, Py_False) < 0 ||
                 put(form, key_error, text_str(&self->message)) < 0 ||
                 (self->code.data != NULL && put(form, key_code, text_str(&self->code)) < 0) ||
                 (self->details != NULL && PyDict_SetItem(form, key_details, self->details) < 0);
    }
    unhold(&self->holds);
    if (status) Py_CLEAR(form);
    return form;
}

/* The pieces, joined as UTF-8 into one buffer and decoded once: cheaper than a format. */
static PyObject *joined(const char *const *pieces, const Py_ssize_t *sizes, int count) {
    Py_ssize_t total = 0;
    for (int i = 0; i < count; ++i) total += sizes[i];
    char *buffer = PyMem_Malloc(total + 1);
    if (buffer == NULL) return PyErr_NoMemory();
    char *end = buffer;
    for (int i = 0; i < count; ++i) {
        memcpy(end, pieces[i], sizes[i]);
        end += sizes[i];
    }
    PyObject *text = PyUnicode_FromStringAndSize(buffer, total);
    PyMem_Free(buffer);
    return text;
}

static PyObject *ok_repr(PyObject *value) {
    PyObject *shown = PyObject_Str(value);
    if (shown == NULL) return NULL;
    Py_ssize_t size;
    const char *utf8 = PyUnicode_AsUTF8AndSize(shown, &size);
    PyObject *text = NULL;
    if (utf8 != NULL) {
        const char *pieces[] = {"Ok(", utf8, ")"};
        const Py_ssize_t sizes[] = {3, size, 1};
        text = joined(pieces, sizes, 3);
    }
    Py_DECREF(shown);
    return text;
}

static PyObject *err_repr(const ResultObject *self) {
    if (self->code.data == NULL) {
        const char *pieces[] = {"Err('", self->message.data, "')"};
        const Py_ssize_t sizes[] = {5, self->message.size, 2};
        return joined(pieces, sizes, 3);
    }
    const char *pieces[] = {"Err('", self->message.data, "', code='", self->code.data, "')"};
    const Py_ssize_t sizes[] = {5, self->message.size, 9, self->code.size, 2};
    return joined(pieces, sizes, 5);
}

static PyObject *Result_repr(PyObject *op) {
    if (receiver(op, result_type) < 0) return NULL;
    ResultObject *self = (ResultObject *)op;
    hold(&self->holds);
    PyObject *text = self->value != NULL ? ok_repr(self->value) : err_repr(self);
    unhold(&self->holds);
    return text;
}

static PyMethodDef Result_methods[] = {
    {"ok", (PyCFunction)(void (*)(void))Result_ok, METH_FASTCALL | METH_KEYWORDS | METH_STATIC, NULL},
    {"err", (PyCFunction)(void (*)(void))Result_err, METH_FASTCALL | METH_KEYWORDS | METH_STATIC, NULL},
    {"from_dict", (PyCFunction)(void (*)(void))Result_from_dict,
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC, NULL},
    {"is_ok", Result_is_ok, METH_NOARGS, NULL},
    {"unwrap", Result_unwrap, METH_NOARGS, NULL},
    {"unwrap_or", (PyCFunction)(void (*)(void))Result_unwrap_or, METH_FASTCALL | METH_KEYWORDS, NULL},
    {"map", (PyCFunction)(void (*)(void))Result_map, METH_FASTCALL | METH_KEYWORDS, NULL},
    {"flat_map", (PyCFunction)(void (*)(void))Result_flat_map, METH_FASTCALL | METH_KEYWORDS, NULL},
    {"and_then", (PyCFunction)(void (*)(void))Result_flat_map, METH_FASTCALL | METH_KEYWORDS, NULL},
    {"to_dict", Result_to_dict, METH_NOARGS, NULL},
    {NULL, NULL, 0, NULL},
};

static PyType_Slot Result_slots[] = {
    {Py_tp_repr, Result_repr},
    {Py_tp_methods, Result_methods},
    {Py_tp_base, NULL}, /* object, filled in at run time */
    {Py_tp_dealloc, Result_dealloc},
    {Py_tp_traverse, Result_traverse},
    {0, NULL},
};

static PyType_Spec Result_spec = {
    "tolbrane_floor.Result", sizeof(ResultObject), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION, Result_slots,
};

/* ---- MayBe ---- */

static PyObject *MayBe_new(PyTypeObject *type, PyObject *args, PyObject *kwargs) {
    PyObject *obj;
    if (!PyArg_UnpackTuple(args, "MayBe", 1, 1, &obj)) return NULL;
    return new_maybe(type, obj == Py_None ? NULL : obj);
}

static PyObject *MayBe_just(PyObject *unused, PyObject *const *args, Py_ssize_t nargs,
                            PyObject *kwnames) {
    if (want(nargs, 1, 1, kwnames) < 0) return NULL;
    return new_maybe(maybe_type, args[0]);
}

static PyObject *MayBe_nothing(PyObject *unused, PyObject *none) {
    return new_maybe(maybe_type, NULL);
}

static PyObject *MayBe_map(PyObject *op, PyObject *const *args, Py_ssize_t nargs,
                           PyObject *kwnames) {
    if (receiver(op, maybe_type) < 0 || want(nargs, 1, 1, kwnames) < 0) return NULL;
    MayBeObject *self = (MayBeObject *)op;
    PyObject *answer = NULL;
    hold(&self->holds);
    if (self->inner != NULL) {
        PyObject *made = PyObject_Vectorcall(args[0], &self->inner, 1, NULL);
        if (made != NULL) {
            answer = new_maybe(maybe_type, made);
            Py_DECREF(made);
        }
    } else {
        answer = new_maybe(maybe_type, NULL);
    }
    unhold(&self->holds);
    return answer;
}

static PyObject *MayBe_flat_map(PyObject *op, PyObject *const *args, Py_ssize_t nargs,
                                PyObject *kwnames) {
    if (receiver(op, maybe_type) < 0 || want(nargs, 1, 1, kwnames) < 0) return NULL;
    MayBeObject *self = (MayBeObject *)op;
    PyObject *answer = NULL;
    hold(&self->holds);
    if (self->inner != NULL) {
        PyObject *made = PyObject_Vectorcall(args[0], &self->inner, 1, NULL);
        if (made != NULL) {
            if (is_a(made, maybe_type)) {
                MayBeObject *other = (MayBeObject *)made;
                hold(&other->holds);
                answer = new_maybe(maybe_type, other->inner);
                unhold(&other->holds);
            } else {
                PyErr_SetString(PyExc_TypeError, "not a MayBe");
            }
            Py_DECREF(made);
        }
    } else {
        answer = new_maybe(maybe_type, NULL);
    }
    unhold(&self->holds);
    return answer;
}

static PyObject *MayBe_or_else(PyObject *op, PyObject *const *args, Py_ssize_t nargs,
                               PyObject *kwnames) {
    if (receiver(op, maybe_type) < 0 || want(nargs, 1, 1, kwnames) < 0) return NULL;
    MayBeObject *self = (MayBeObject *)op;
    hold(&self->holds);
    PyObject *value = self->inner != NULL ? self->inner : args[0];
    Py_INCREF(value);
    unhold(&self->holds);
    return value;
}

static PyMethodDef MayBe_methods[] = {
    {"just", (PyCFunction)(void (*)(void))MayBe_just, METH_FASTCALL | METH_KEYWORDS | METH_STATIC, NULL},
    {"nothing", MayBe_nothing, METH_NOARGS | METH_STATIC, NULL},
    {"map", (PyCFunction)(void (*)(void))MayBe_map, METH_FASTCALL | METH_KEYWORDS, NULL},
    {"flat_map", (PyCFunction)(void (*)(void))MayBe_flat_map, METH_FASTCALL | METH_KEYWORDS, NULL},
    {"or_else", (PyCFunction)(void (*)(void))MayBe_or_else, METH_FASTCALL | METH_KEYWORDS, NULL},
    {NULL, NULL, 0, NULL},
};

static PyType_Slot MayBe_slots[] = {
    {Py_tp_new, MayBe_new},
    {Py_tp_methods, MayBe_methods},
    {Py_tp_base, NULL},
    {Py_tp_dealloc, MayBe_dealloc},
    {Py_tp_traverse, MayBe_traverse},
    {0, NULL},
};

static PyType_Spec MayBe_spec = {
    "tolbrane_floor.MayBe", sizeof(MayBeObject), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC,
    MayBe_slots,
};

/* ---- the module ---- */

static int fill_cell(PyTypeObject **cell, PyType_Spec *spec, PyType_Slot *slots) {
    if (*cell != NULL) return 0;
    slots[2].pfunc = &PyBaseObject_Type;
    PyObject *type = PyType_FromSpec(spec);
    if (type == NULL) return -1;
    if (*cell == NULL)
        *cell = (PyTypeObject *)type;
    else
        Py_DECREF(type);
    return 0;
}

static int intern_keys(void) {
    if (key_ok != NULL) return 0;
    key_ok = PyUnicode_InternFromString("ok");
    key_value = PyUnicode_InternFromString("value");
    key_error = PyUnicode_InternFromString("error");
    key_code = PyUnicode_InternFromString("code");
    key_details = PyUnicode_InternFromString("details");
    return key_ok && key_value && key_error && key_code && key_details ? 0 : -1;
}

static int floor_exec(PyObject *module) {
    if (intern_keys() < 0 || fill_cell(&maybe_type, &MayBe_spec, MayBe_slots) < 0 ||
        fill_cell(&result_type, &Result_spec, Result_slots) < 0)
        return -1;
    if (PyModule_AddObjectRef(module, "MayBe", (PyObject *)maybe_type) < 0) return -1;
    return PyModule_AddObjectRef(module, "Result", (PyObject *)result_type);
}

static PyModuleDef_Slot floor_module_slots[] = {
    {Py_mod_exec, floor_exec},
    {0, NULL},
};

static struct PyModuleDef floor_module = {
    PyModuleDef_HEAD_INIT, "tolbrane_floor", NULL, 0, NULL, floor_module_slots, NULL, NULL, NULL,
};

PyMODINIT_FUNC PyInit_tolbrane_floor(void) { return PyModuleDef_Init(&floor_module); }
