"""The module namespace, the type objects as the interpreter sees them, and the shared library."""

import gc
import importlib
import shutil
import subprocess
import sys
import weakref

import pytest

import tolbrane
from tolbrane import Result


RESULT_DOC = "Result monad: Ok(value) | Err(message, code?, details?)"
# The full method table of Result, in table order.
RESULT_METHOD_ORDER = [
    "ok", "err", "from_dict", "is_ok", "is_err", "unwrap", "expect", "unwrap_or", "unwrap_err",
    "to_option", "match", "map", "map_err", "flat_map", "and_then", "to_dict", "__class_getitem__",
]
RESULT_SLOTS = {"__bool__", "__repr__", "__len__", "__iter__", "__rshift__", "__rrshift__",
                "__or__", "__ror__"}
# name -> (descriptor type, text signature, documentation text)
S, I, C = "staticmethod", "method_descriptor", "classmethod_descriptor"
RESULT_METHODS = {
    "ok": (S, "(value)", "Constructeur Ok"),
    "err": (S, "(message, code=None, details=None)",
            "Constructeur Err avec message, code optionnel, details optionnel"),
    "is_ok": (I, "($self)", "True si Ok"),
    "is_err": (I, "($self)", "True si Err"),
    "unwrap": (I, "($self)", "Unwrap value ou ValueError si Err"),
    "expect": (I, "($self, message)",
               "expect(message) : comme unwrap mais avec message personnalisé"),
    "unwrap_or": (I, "($self, default)", "unwrap_or(default) renvoie value ou default si Err"),
    "unwrap_err": (I, "($self)", "unwrap_err() retourne (msg, code, details) ou ValueError si Ok"),
    "to_option": (I, "($self)", "to_option() : retourne la valeur ou None"),
    "match": (I, "($self, ok=None, err=None)", "match(ok=..., err=...) : pattern matching ergonomique"),
    "map": (I, "($self, func)", "map(fn) : applique fn à Ok, laisse Err intact"),
    "map_err": (I, "($self, func)", "map_err(fn) : applique fn à Err, laisse Ok intact\n"
                "fn reçoit (msg, code, details) et doit retourner (msg, code, details)"),
    "flat_map": (I, "($self, func)", "flat_map(fn) : applique fn à Ok et attend un Result en retour"),
    "and_then": (I, "($self, func)", "and_then : alias de flat_map"),
    "from_dict": (S, "(dict)", "from_dict(d) : construit un Result depuis un dict (inverse de to_dict)"),
    "to_dict": (I, "($self)", "to_dict() : sérialisation en dict Python\n"
                "Ok  -> {\"ok\": true, \"value\": ...}\n"
                "Err -> {\"ok\": false, \"error\": msg, \"code\": ..., \"details\": ...}"),
    "__class_getitem__": (C, "($cls, _item)", "Support pour Result[T, E] (typage générique)"),
}
# Type flag bits: disallow instantiation, immutable type, heap type, base type, GC.
DISALLOW, IMMUTABLE, HEAP, BASETYPE, GC = 1 << 7, 1 << 8, 1 << 9, 1 << 10, 1 << 14

CLASSES = ["Result", "MayBe"]


def make_instance(name):
    return Result.ok(1) if name == "Result" else tolbrane.MayBe(1)


def test_namespace_holds_both_classes_in_order():
    assert tolbrane.__all__ == ["MayBe", "Result"]
    assert {k for k in vars(tolbrane) if not k.startswith("__")} == {"MayBe", "Result"}


def test_namespace():
    public = {k for k in vars(tolbrane) if not k.startswith("__")}
    assert type(tolbrane.__all__) is list and tolbrane.__all__[-1] == "Result"
    assert sorted(tolbrane.__all__) == sorted(public) and "Result" in public
    assert tolbrane.__doc__ == ""
    assert {k for k in vars(tolbrane) if k.startswith("__")} == {
        "__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__", "__all__"}


@pytest.mark.parametrize("name", CLASSES)
def test_type_identity_and_flags(name):
    cls = getattr(tolbrane, name)
    assert (cls.__name__, cls.__qualname__, cls.__module__) == (name, name, "builtins")
    assert type(cls) is type and cls.__mro__ == (cls, object)
    assert (cls.__itemsize__, cls.__dictoffset__, cls.__weakrefoffset__) == (0, 0, 0)
    flags = cls.__flags__
    assert flags & HEAP and not flags & (BASETYPE | IMMUTABLE)
    assert bool(flags & DISALLOW) == (name == "Result")


@pytest.mark.parametrize("name", CLASSES)
def test_types_take_part_in_cyclic_gc(name):
    assert getattr(tolbrane, name).__flags__ & GC


@pytest.mark.parametrize(
    "make, tracked",
    [(lambda: Result.ok(1), False), (lambda: Result.err("m", "c"), False),
     (lambda: Result.err("m", details=2.5), False), (lambda: Result.ok(Result.ok("s")), False),
     (lambda: Result.ok([]), True), (lambda: Result.err("m", details={}), True),
     (lambda: Result.ok(Result.ok([])), True), (lambda: Result.ok(0).map(lambda v: [v]), True)],
)
def test_result_tracked_only_when_the_payload_may_close_a_cycle(make, tracked):
    assert gc.is_tracked(make()) is tracked


def test_result_type_dictionary_and_doc():
    names = set(vars(Result))
    assert names == RESULT_SLOTS | set(RESULT_METHOD_ORDER) | {"__doc__", "__module__"}
    assert [n for n in vars(Result) if n in RESULT_METHOD_ORDER] == RESULT_METHOD_ORDER
    assert Result.__doc__ == RESULT_DOC and Result.__text_signature__ is None
    # No comparison, hashing or str of its own: those of object apply.
    assert (Result.__eq__, Result.__hash__, Result.__str__) == (
        object.__eq__, object.__hash__, object.__str__)


def test_documentation_of_maybe_is_a_bare_signature():
    assert tolbrane.MayBe.__doc__ == "" and tolbrane.MayBe.__text_signature__ == "(obj)"


@pytest.mark.parametrize("name", RESULT_METHODS)
def test_method_kind_signature_and_doc(name):
    kind, signature, doc = RESULT_METHODS[name]
    assert type(vars(Result)[name]).__name__ == kind
    method = getattr(Result, name)
    assert (method.__text_signature__, method.__doc__) == (signature, doc)


@pytest.mark.parametrize("args, kwargs", [((1,), {}), ((), {}), ((), {"value": 1})])
def test_result_cannot_be_instantiated(args, kwargs):
    with pytest.raises(TypeError) as info:
        Result(*args, **kwargs)
    assert str(info.value) == "cannot create 'builtins.Result' instances"


@pytest.mark.parametrize("name", CLASSES)
def test_cannot_be_subclassed(name):
    cls = getattr(tolbrane, name)
    with pytest.raises(TypeError) as info:
        type("Sub", (cls,), {})
    assert str(info.value) == f"type 'builtins.{name}' is not an acceptable base type"


@pytest.mark.parametrize("name", CLASSES)
def test_type_attributes_are_settable(name):
    cls = getattr(tolbrane, name)
    instance = make_instance(name)
    cls.extra = 1
    try:
        assert instance.extra == 1
        cls.extra = 2
        assert make_instance(name).extra == 2
    finally:
        del cls.extra
    assert not hasattr(instance, "extra")


@pytest.mark.parametrize("name", CLASSES)
def test_instances_have_no_dict_and_no_weakref(name):
    instance = make_instance(name)
    assert not hasattr(instance, "__dict__")
    no_dict = " and no __dict__ for setting new attributes" if sys.version_info >= (3, 13) else ""
    with pytest.raises(AttributeError) as info:
        instance.extra = 1
    assert str(info.value) == f"'builtins.{name}' object has no attribute 'extra'{no_dict}"
    with pytest.raises(TypeError) as info:
        weakref.ref(instance)
    assert str(info.value) == f"cannot create weak reference to 'builtins.{name}' object"


def test_reimport_reuses_type_objects():
    saved = sys.modules.pop("tolbrane")
    try:
        again = importlib.import_module("tolbrane")
    finally:
        sys.modules["tolbrane"] = saved
    assert again is not saved
    assert again.__all__ == saved.__all__ and again.__all__ is not saved.__all__
    assert again.__doc__ == ""
    for name in saved.__all__:
        assert getattr(again, name) is getattr(saved, name)


def churn(name):
    """Makes and drops instances through every path that creates one."""
    if name == "Result":
        ok, err = Result.ok(1), Result.err("m", "c", 2)
        return [ok >> Result.ok, err >> 0, list(ok), repr(err), ok | 0]
    maybe = tolbrane.MayBe
    just, nothing = maybe(1), maybe(None)
    return [just >> maybe.just, nothing >> 0, list(just), repr(nothing), maybe.nothing()]


@pytest.mark.parametrize("name", CLASSES)
def test_type_refcount_stable_over_many_instances(name):
    cls = getattr(tolbrane, name)
    churn(name)
    gc.collect()  # instances that earlier tests left in reference cycles
    before = sys.getrefcount(cls)
    for _ in range(5000):
        churn(name)
    assert sys.getrefcount(cls) == before


def test_library_is_a_stable_abi_build():
    assert tolbrane.__file__.endswith(".abi3.so")


def test_library_exports_only_the_init_function():
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm is not installed")
    listing = subprocess.run([nm, "-D", "--defined-only", tolbrane.__file__],
                             capture_output=True, text=True, check=True).stdout
    assert [line.split()[-1] for line in listing.splitlines() if line.strip()] == [
        "PyInit_tolbrane"]
