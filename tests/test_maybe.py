"""MayBe: construction, queries, protocols, operators and combinators."""
import gc
import weakref

import pytest

from _refcounts import assert_counts_stable
from _helpers import raises_exact
from tolbrane import MayBe, Result


class Boom(Exception):
    pass


class Held:
    """An object whose str() differs from its repr(), or raises."""

    def __init__(self, text="s", exc=None):
        self.text, self.exc = text, exc

    def __str__(self):
        if self.exc is not None:
            raise self.exc
        return self.text

    def __repr__(self):
        return "r"


class Outer:
    class Inner:
        pass


NEW = "MayBe.__new__()"
MISSING_OBJ = f"{NEW} missing 1 required positional argument: 'obj'"
TOO_MANY_NEW = f"{NEW} takes 1 positional arguments but 2 were given"

JUSTS = [
    pytest.param(MayBe, 0, id="zero"),
    pytest.param(MayBe, "", id="empty-str"),
    pytest.param(MayBe, False, id="false"),
    pytest.param(MayBe, [], id="empty-list"),
    pytest.param(MayBe, MayBe(None), id="nested-nothing"),
    pytest.param(lambda o: MayBe(obj=o), 3, id="keyword"),
    pytest.param(lambda o: MayBe.__new__(MayBe, o), 1, id="dunder-new"),
    pytest.param(MayBe.just, None, id="just-none"),
    pytest.param(lambda o: MayBe.just(obj=o), "x", id="just-keyword"),
    pytest.param(lambda o: MayBe(1).just(o), None, id="just-on-instance"),
]
NOTHINGS = [
    pytest.param(lambda: MayBe(None), id="none"),
    pytest.param(lambda: MayBe(obj=None), id="keyword-none"),
    pytest.param(lambda: MayBe.__new__(MayBe, None), id="dunder-new"),
    pytest.param(MayBe.nothing, id="nothing"),
    pytest.param(lambda: MayBe(1).nothing(), id="nothing-on-instance"),
]


@pytest.mark.parametrize("make, obj", JUSTS)
def test_just_queries_hand_back_the_held_object(make, obj):
    m = make(obj)
    assert type(m) is MayBe
    assert (m.is_just(), m.is_nothing(), bool(m), len(m)) == (True, False, True, 1)
    assert m.unwrap() is obj and m.to_option() is obj and m.or_else(len) is obj
    assert m.expect("unused") is obj and m.expect(message="unused") is obj
    held = list(m)
    assert len(held) == 1 and held[0] is obj
    assert (m | 7) is obj
    assert repr(m) == str(m) == f"{m}" == "Just(" + str(obj) + ")"


@pytest.mark.parametrize("make", NOTHINGS)
def test_nothing_queries(make):
    m, default = make(), object()
    assert type(m) is MayBe
    assert (m.is_just(), m.is_nothing(), bool(m), len(m), list(m)) == (False, True, False, 0, [])
    assert m.to_option() is None and m.or_else(default) is default and m.or_else(default=len) is len
    assert (m | default) is default
    assert repr(m) == str(m) == "Nothing"
    with raises_exact(ValueError, "Tried to unwrap a Nothing") as info:
        m.unwrap()
    assert info.value.args == ("Tried to unwrap a Nothing",)


def test_identity_equality_and_distinct_instances():
    m = MayBe(1)
    assert m == m and MayBe(1) != MayBe(1)
    assert MayBe(5).match(just=lambda x: x * 2) == 10
    assert MayBe.nothing() is not MayBe.nothing() and MayBe(None) is not MayBe(None)
    assert MayBe[int] is MayBe and MayBe.__class_getitem__(_item=1) is MayBe
    assert m.__class_getitem__(str) is MayBe


@pytest.mark.parametrize("func, args, kwargs, text", [
    (MayBe, (), {}, MISSING_OBJ),
    (MayBe.__new__, (MayBe,), {}, MISSING_OBJ),
    (MayBe, (1, 2), {}, TOO_MANY_NEW),
    (MayBe, (1, 2), {"x": 3}, TOO_MANY_NEW),
    (MayBe, (), {"x": 1}, f"{NEW} got an unexpected keyword argument 'x'"),
    (MayBe, (), {"obj": 1, "x": 2}, f"{NEW} got an unexpected keyword argument 'x'"),
    (MayBe, (), {"z": 1, "y": 2}, f"{NEW} got an unexpected keyword argument 'z'"),
    (MayBe, (), {"a b": 1}, f"{NEW} got an unexpected keyword argument 'a b'"),
    (MayBe, (1,), {"obj": 2}, f"{NEW} got multiple values for argument 'obj'"),
    (MayBe.just, (), {}, "MayBe.just() missing 1 required positional argument: 'obj'"),
    (MayBe.just, (1, 2), {}, "MayBe.just() takes 1 positional arguments but 2 were given"),
    (MayBe.just, (1,), {"obj": 1}, "MayBe.just() got multiple values for argument 'obj'"),
    (MayBe(1).expect, (), {}, "MayBe.expect() missing 1 required positional argument: 'message'"),
    (MayBe(1).expect, (1,), {"message": "a"}, "MayBe.expect() got multiple values for argument 'message'"),
    (MayBe(1).expect, (), {"msg": "a"}, "MayBe.expect() got an unexpected keyword argument 'msg'"),
    (MayBe(1).or_else, (), {}, "MayBe.or_else() missing 1 required positional argument: 'default'"),
    (MayBe(None).map, (), {}, "MayBe.map() missing 1 required positional argument: 'func'"),
    (MayBe(None).flat_map, (1, 2), {}, "MayBe.flat_map() takes 1 positional arguments but 2 were given"),
    (MayBe(1).match, (1, 2, 3), {}, "MayBe.match() takes from 0 to 2 positional arguments but 3 were given"),
    (MayBe(1).match, (None,), {"just": None}, "MayBe.match() got multiple values for argument 'just'"),
    (MayBe(1).match, (), {"other": 1}, "MayBe.match() got an unexpected keyword argument 'other'"),
    (MayBe.__class_getitem__, (), {}, "MayBe.__class_getitem__() missing 1 required positional argument: '_item'"),
])
def test_binding_messages(func, args, kwargs, text):
    with raises_exact(TypeError, text):
        func(*args, **kwargs)


@pytest.mark.parametrize("m", [MayBe(5), MayBe(None)], ids=["just", "nothing"])
@pytest.mark.parametrize("message, text", [
    (42, "argument 'message': 'int' object is not an instance of 'str'"),
    (None, "argument 'message': 'None' is not an instance of 'str'"),
    (b"x", "argument 'message': 'bytes' object is not an instance of 'str'"),
    (Outer.Inner(), "argument 'message': 'Outer.Inner' object is not an instance of 'str'"),
])
def test_expect_converts_message_for_both_variants(m, message, text):
    with raises_exact(TypeError, text) as info:
        m.expect(message)
    assert info.value.__cause__ is None and info.value.__suppress_context__


@pytest.mark.parametrize("m", [MayBe(5), MayBe(None)], ids=["just", "nothing"])
def test_expect_lone_surrogate_raises_encode_error(m):
    text = "'utf-8' codec can't encode character '\\ud800' in position 0: surrogates not allowed"
    with raises_exact(UnicodeEncodeError, text):
        m.expect("\ud800")


@pytest.mark.parametrize("message", ["", "custom failure", "é€😀", "a\x00b", type("S", (str,), {})("sub")])
def test_expect_on_nothing_raises_exactly_the_message(message):
    with pytest.raises(ValueError) as info:
        MayBe.nothing().expect(message)
    assert info.value.args == (str(message),) and type(info.value.args[0]) is str


@pytest.mark.parametrize("m, text", [
    (MayBe("a"), "Just(a)"),
    (MayBe.just(MayBe(1)), "Just(Just(1))"),
    (MayBe(MayBe(None)), "Just(Nothing)"),
    (MayBe(Held()), "Just(s)"),
    (MayBe("é\x00€"), "Just(é\x00€)"),
])
def test_repr_uses_str_of_held_object(m, text):
    assert repr(m) == str(m) == text


@pytest.mark.parametrize("held, text", [
    ("\udc80", "'utf-8' codec can't encode character '\\udc80' in position 0: surrogates not allowed"),
    (Held("x\ud800"), "'utf-8' codec can't encode character '\\ud800' in position 1: surrogates not allowed"),
])
def test_repr_lone_surrogate_raises_encode_error(held, text):
    with raises_exact(UnicodeEncodeError, text):
        repr(MayBe(held))


def test_repr_propagates_str_failure_as_same_object():
    exc = Boom("no str")
    m = MayBe(Held(exc=exc))
    with pytest.raises(Boom) as info:
        repr(m)
    assert info.value is exc and m.is_just()


def test_type_object():
    assert (MayBe.__name__, MayBe.__qualname__, MayBe.__module__) == ("MayBe", "MayBe", "builtins")
    assert MayBe.__text_signature__ == "(obj)" and MayBe.__doc__ == ""
    with raises_exact(TypeError, "type 'builtins.MayBe' is not an acceptable base type"):
        type("Sub", (MayBe,), {})
    m = MayBe(1)
    with raises_exact(AttributeError, "'builtins.MayBe' object has no attribute '__dict__'"):
        m.__dict__
    with raises_exact(TypeError, "cannot create weak reference to 'builtins.MayBe' object"):
        weakref.ref(m)
    MayBe.extra = 1
    try:
        assert m.extra == 1
    finally:
        del MayBe.extra


@pytest.mark.parametrize("bit", [7, 8, 10], ids=["no-instantiation", "immutable", "base"])
def test_flag_not_set(bit):
    assert not MayBe.__flags__ & (1 << bit)


def test_type_takes_part_in_cyclic_gc():
    assert MayBe.__flags__ & (1 << 14)


@pytest.mark.parametrize(
    "obj, tracked",
    [(1, False), (None, False), ("s", False), ((1, 2), False), (MayBe(1), False),
     ([], True), ({}, True), (Held(), True), (MayBe([]), True)],
    ids=["int", "none", "str", "const-tuple", "untracked-maybe", "list", "dict", "object",
         "tracked-maybe"],
)
def test_tracked_only_when_the_payload_may_close_a_cycle(obj, tracked):
    assert gc.is_tracked(MayBe(obj)) is tracked
    assert gc.is_tracked(MayBe(1).map(lambda x: obj)) is tracked


METHOD_DOCS = {
    "just": ("(obj)", "Constructeur Just"),
    "nothing": ("()", "Constructeur Nothing"),
    "is_just": ("($self)", "True si Just, False si Nothing"),
    "is_nothing": ("($self)", "True si Nothing, False si Just"),
    "unwrap": ("($self)", "Unwrap ou ValueError si Nothing"),
    "expect": ("($self, message)", "expect(message) : comme unwrap mais avec message personnalisé"),
    "to_option": ("($self)", "to_option() : retourne la valeur ou None"),
    "match": ("($self, just=None, nothing=None)",
              "match(just=..., nothing=...) : pattern matching ergonomique"),
    "or_else": ("($self, default)", "or_else(default) renvoie la valeur interne ou default"),
    "map": ("($self, func)", "map(fn) : applique fn à la valeur interne et wrappe dans un nouveau MayBe"),
    "flat_map": ("($self, func)", "flat_map(fn) : applique fn à la valeur et attend un MayBe en retour"),
    "__class_getitem__": ("($cls, _item)", "Support pour MayBe[T] (typage générique)"),
}
SLOT_NAMES = {"__new__", "__len__", "__iter__", "__bool__", "__repr__",
              "__rshift__", "__rrshift__", "__or__", "__ror__"}


def test_class_dict_holds_methods_in_order_and_only_its_slots():
    assert [n for n in MayBe.__dict__ if n in METHOD_DOCS] == list(METHOD_DOCS)
    assert set(MayBe.__dict__) == set(METHOD_DOCS) | SLOT_NAMES | {"__doc__", "__module__"}


@pytest.mark.parametrize("name", METHOD_DOCS)
def test_method_docstrings(name):
    method = getattr(MayBe, name)
    assert (method.__text_signature__, method.__doc__) == METHOD_DOCS[name]


FLAT_MAPPERS = [
    pytest.param(lambda m, f: m.flat_map(f), id="flat_map"),
    pytest.param(lambda m, f: m.flat_map(func=f), id="flat_map-keyword"),
    pytest.param(lambda m, f: m >> f, id="rshift"),
]


@pytest.mark.parametrize("apply", FLAT_MAPPERS)
def test_flat_map_returns_a_copy_of_the_returned_maybe(apply):
    o = object()
    for returned in (MayBe(o), MayBe(None), MayBe.just(None)):
        r = apply(MayBe(1), lambda x, ret=returned: ret)
        assert r is not returned and type(r) is MayBe
        assert r.is_just() == returned.is_just() and r.to_option() is returned.to_option()
    assert apply(MayBe(1), lambda x: MayBe(x + 1)).unwrap() == 2
    m = MayBe(o)
    r = apply(m, lambda x: m)
    assert r is not m and r.unwrap() is o


@pytest.mark.parametrize("apply", FLAT_MAPPERS)
@pytest.mark.parametrize("returned, text", [
    (1, "'int' object is not an instance of 'MayBe'"),
    (None, "'None' is not an instance of 'MayBe'"),
    (Result.ok(1), "'Result' object is not an instance of 'MayBe'"),
    (MayBe, "'type' object is not an instance of 'MayBe'"),
])
def test_flat_map_rejects_non_maybe(apply, returned, text):
    m = MayBe(1)
    with raises_exact(TypeError, text):
        apply(m, lambda x: returned)
    assert m.unwrap() == 1


@pytest.mark.parametrize("apply", FLAT_MAPPERS + [pytest.param(lambda m, f: m.map(f), id="map")])
def test_nothing_never_examines_the_callable(apply):
    m = MayBe(None)
    r = apply(m, 5)
    assert r is not m and type(r) is MayBe and r.is_nothing()


@pytest.mark.parametrize("func, check", [
    (lambda x: x + 1, lambda r: r.unwrap() == 2),
    (lambda x: None, lambda r: r.is_just() and r.unwrap() is None and repr(r) == "Just(None)"),
    (MayBe, lambda r: type(r.unwrap()) is MayBe and repr(r) == "Just(Just(1))"),
])
def test_map_wraps_whatever_the_callable_returns(func, check):
    m = MayBe(1)
    r = m.map(func)
    assert r is not m and check(r) and m.map(func=func).is_just()


def test_map_of_identity_is_a_new_just_holding_the_same_object():
    o = object()
    m = MayBe(o)
    r = m.map(lambda x: x)
    assert r is not m and r.unwrap() is o
    with raises_exact(TypeError, "'int' object is not callable"):
        m.map(5)


def test_or_operator():
    o, m2 = object(), MayBe(2)
    assert (MayBe(o) | MayBe(None)) is o and (MayBe(None) | m2) is m2
    assert MayBe(1).__ror__(2) is NotImplemented and MayBe(1).__rrshift__(len) is NotImplemented
    for expr, op in [(lambda: 2 | MayBe(1), "|"), (lambda: 1 >> MayBe.just(2), ">>")]:
        with raises_exact(TypeError, f"unsupported operand type(s) for {op}: 'int' and 'builtins.MayBe'"):
            expr()
    with raises_exact(TypeError, "unsupported operand type(s) for |: 'builtins.MayBe' and 'NotImplementedType'"):
        MayBe(None) | NotImplemented


RET = object()
MATCHES = [
    (lambda: MayBe("o"), lambda m, h: m.match(just=h), ("o",)),
    (lambda: MayBe("o"), lambda m, h: m.match(h, 5), ("o",)),
    (lambda: MayBe("o"), lambda m, h: m.match(nothing=5, just=h), ("o",)),
    (lambda: MayBe.just(None), lambda m, h: m.match(just=h), (None,)),
    (lambda: MayBe("o"), lambda m, h: m.match(nothing=h), None),
    (lambda: MayBe("o"), lambda m, h: m.match(None, h), None),
    (lambda: MayBe("o"), lambda m, h: m.match(), None),
    (MayBe.nothing, lambda m, h: m.match(nothing=h), ()),
    (MayBe.nothing, lambda m, h: m.match(5, h), ()),
    (MayBe.nothing, lambda m, h: m.match(just=h), None),
    (MayBe.nothing, lambda m, h: m.match(h, None), None),
    (MayBe.nothing, lambda m, h: m.match(), None),
]


@pytest.mark.parametrize("make, call, expected", MATCHES)
def test_match(make, call, expected):
    calls = []

    def handler(*args):
        calls.append(args)
        return RET

    result = call(make(), handler)
    if expected is None:
        assert result is None and calls == []
    else:
        assert result is RET and calls == [expected]


CALLERS = [
    pytest.param(lambda m, f: m.map(f), id="map"),
    pytest.param(lambda m, f: m.flat_map(f), id="flat_map"),
    pytest.param(lambda m, f: m >> f, id="rshift"),
    pytest.param(lambda m, f: m.match(just=f), id="match-just"),
    pytest.param(lambda m, f: MayBe(None).match(nothing=f), id="match-nothing"),
]


@pytest.mark.parametrize("apply", CALLERS)
def test_callable_exception_passes_through_unchanged(apply):
    exc, o = Boom("x"), object()
    m = MayBe(o)

    def fail(*args):
        raise exc

    with pytest.raises(Boom) as info:
        apply(m, fail)
    assert info.value is exc and m.unwrap() is o


def test_callables_may_reenter_the_same_instance():
    m = MayBe(2)

    def inner(x):
        return m.map(lambda y: y * x).unwrap() + (m >> MayBe).unwrap() + len(m) + m.match(lambda y: y)

    assert m.map(inner).unwrap() == 4 + 2 + 1 + 2
    assert (m >> (lambda x: m.flat_map(lambda y: MayBe(x + y)))).unwrap() == 4
    assert m.match(lambda x: m.match(lambda y: x * y)) == 4


ERR = Boom("leak")
P, BAD = Held(), Held(exc=ERR)


def _ident(x):
    return x


def _boom(*args):
    raise ERR


REFCOUNT_OPS = {
    "successes": lambda: (
        MayBe(P), MayBe(obj=P), MayBe.__new__(MayBe, P), MayBe.just(P), MayBe.nothing(),
        MayBe(P).is_just(), MayBe(P).is_nothing(), bool(MayBe(P)), len(MayBe(P)), MayBe[P],
        MayBe(P).unwrap(), MayBe(P).to_option(), MayBe(P).or_else(_ident), MayBe(None).or_else(P),
        MayBe(P).expect("m"), list(MayBe(P)), next(iter(MayBe(P))), repr(MayBe(P)),
        MayBe(P) | _ident, MayBe(None) | P, MayBe(P) >> MayBe, MayBe(None) >> P,
        MayBe(P).map(_ident), MayBe(P).map(MayBe), MayBe(None).map(P),
        MayBe(P).flat_map(MayBe), MayBe(None).flat_map(P),
        MayBe(P).match(_ident, _boom), MayBe(None).match(_ident, lambda: P)),
    "bind-multiple": lambda: MayBe(P, obj=P),
    "bind-too-many": lambda: MayBe(P, P),
    "bind-keyword": lambda: MayBe(P).map(P, x=P),
    "unwrap-nothing": lambda: MayBe(None).unwrap(),
    "expect-nothing": lambda: MayBe(None).expect("m"),
    "expect-bad": lambda: MayBe(P).expect(P),
    "repr-fail": lambda: repr(MayBe(BAD)),
    "or-foreign": lambda: 1 | MayBe(P),
    "rshift-bad": lambda: MayBe(P) >> _ident,
    "rshift-raise": lambda: MayBe(P) >> _boom,
    "map-raise": lambda: MayBe(P).map(_boom),
    "map-not-callable": lambda: MayBe(P).map(P),
    "flat_map-bad": lambda: MayBe(P).flat_map(_ident),
    "flat_map-raise": lambda: MayBe(P).flat_map(func=_boom),
    "match-raise": lambda: MayBe(None).match(just=_ident, nothing=_boom),
}


@pytest.mark.parametrize("op", REFCOUNT_OPS.values(), ids=REFCOUNT_OPS)
def test_references_are_released(op):
    watched = dict(zip(["P", "BAD", "ERR", "_ident", "_boom", "MayBe"], (P, BAD, ERR, _ident, _boom, MayBe)))

    def run():
        try:
            op()
        except (TypeError, ValueError, Boom):
            pass
        ERR.__traceback__ = ERR.__context__ = None

    assert_counts_stable(run, watched)
