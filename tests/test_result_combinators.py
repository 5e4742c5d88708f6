"""map, map_err, flat_map, and_then and match on Result."""

from collections import namedtuple

import pytest

from _helpers import raises_exact, Text
from _refcounts import assert_counts_stable, run_expecting
from tolbrane import MayBe, Result

VALUE, DETAILS, BOOM = ["value"], {"details": 1}, ValueError("boom")
SURROGATE = "'utf-8' codec can't encode character '\\ud800' in position 0: surrogates not allowed"
Triple = namedtuple("Triple", "message code details")


class Holder:
    class Inner:
        pass


def raise_(exc):
    raise exc


def raise_boom(*args):
    raise BOOM


def fields(r):
    """Variant, texts and object ids: equal for a copy that shares the payload objects."""
    if r.is_ok():
        return "ok", id(r.unwrap())
    message, code, details = r.unwrap_err()
    return "err", message, code, id(details)


@pytest.fixture
def ok():
    return Result.ok(VALUE)


@pytest.fixture
def err():
    return Result.err("boom", "E1", DETAILS)


@pytest.mark.parametrize("func", [42, None, object()])
@pytest.mark.parametrize(
    "variant, method", [("err", "map"), ("err", "flat_map"), ("err", "and_then"), ("ok", "map_err")]
)
def test_untouched_variant_is_copied_and_func_never_examined(request, variant, method, func):
    r = request.getfixturevalue(variant)
    out = getattr(r, method)(func)
    assert type(out) is Result and out is not r and fields(out) == fields(r)


# (receiver, call with the recording callable f, arguments f must receive, what f returns)
SHAPES = [
    (Result.ok(VALUE), lambda r, f: r.map(f), (VALUE,), 1),
    (Result.ok(VALUE), lambda r, f: r.map(func=f), (VALUE,), 1),
    (Result.ok(VALUE), lambda r, f: r.flat_map(f), (VALUE,), Result.ok(1)),
    (Result.ok(VALUE), lambda r, f: r.and_then(func=f), (VALUE,), Result.ok(1)),
    (Result.ok(VALUE), lambda r, f: r.match(f), (VALUE,), 1),
    (Result.ok(VALUE), lambda r, f: r.match(ok=f, err=42), (VALUE,), 1),
    (Result.err("m"), lambda r, f: r.map_err(f), ("m", None, None), ("x", None, None)),
    (Result.err("m", "E1", DETAILS), lambda r, f: r.map_err(func=f), ("m", "E1", DETAILS),
     ("x", None, None)),
    (Result.err("m", "E1"), lambda r, f: r.match(err=f), ("m", "E1", None), 1),
    (Result.err("m\0é", details=DETAILS), lambda r, f: r.match(42, f), ("m\0é", None, DETAILS), 1),
]


@pytest.mark.parametrize("receiver, call, expected, returned", SHAPES)
def test_callable_receives_positional_arguments_only(receiver, call, expected, returned):
    calls = []
    call(receiver, lambda *args, **kwargs: calls.append((args, kwargs)) or returned)
    [(args, kwargs)] = calls
    assert kwargs == {} and args == expected
    assert all(type(a) is str if type(e) is str else a is e for a, e in zip(args, expected))


@pytest.mark.parametrize("call", [lambda r, f: r.map_err(f), lambda r, f: r.match(err=f)])
def test_three_arguments_are_separate(call):
    def one_param(triple):
        return triple

    with raises_exact(TypeError, "test_three_arguments_are_separate.<locals>.one_param() "
                                   "takes 1 positional argument but 3 were given"):
        call(Result.err("m"), one_param)


def test_returned_objects(ok):
    returned = object()
    assert ok.map(lambda v: returned).unwrap() is returned
    assert Result.ok(1).map(lambda v: None).is_ok() and Result.ok(1).map(lambda v: None).unwrap() is None
    nested = ok.map(lambda v: ok)
    assert nested is not ok and nested.unwrap() is ok
    assert Result.ok(21).match(ok=lambda v: v * 2) == 42
    assert ok.match(ok=lambda v: nested) is nested  # match hands back the very object
    assert Result.err("e", "E1").match(err=lambda *a: a) == ("e", "E1", None)


@pytest.mark.parametrize(
    "returned, expected_items",
    [
        (("new", None, None), [("ok", False), ("error", "new")]),
        (("new", "E2", DETAILS), [("ok", False), ("error", "new"), ("code", "E2"), ("details", DETAILS)]),
        (Triple("new", "", 0), [("ok", False), ("error", "new"), ("code", ""), ("details", 0)]),
        ((Text("t\0"), Text("c"), None), [("ok", False), ("error", "t\0"), ("code", "c")]),
    ],
)
def test_map_err_builds_a_new_err_from_the_triple(err, returned, expected_items):
    out = err.map_err(lambda m, c, d: returned)
    assert out is not err and list(out.to_dict().items()) == expected_items
    message, code, details = out.unwrap_err()
    assert type(message) is str and type(code) in (str, type(None)) and details is returned[2]


@pytest.mark.parametrize(
    "returned, exc_type, text",
    [
        (["new", None, None], TypeError, "'list' object is not an instance of 'tuple'"),
        (None, TypeError, "'None' is not an instance of 'tuple'"),
        (("new",), ValueError, "expected tuple of length 3, but got tuple of length 1"),
        (("a", "b", "c", "d"), ValueError, "expected tuple of length 3, but got tuple of length 4"),
        ((None,), ValueError, "expected tuple of length 3, but got tuple of length 1"),
        (("new", 5, None), TypeError, "'int' object is not an instance of 'str'"),
        ((None, "E2", None), TypeError, "'None' is not an instance of 'str'"),
        ((b"x", 5, None), TypeError, "'bytes' object is not an instance of 'str'"),
        (("new", Holder.Inner(), None), TypeError, "'Holder.Inner' object is not an instance of 'str'"),
        (("\ud800", None, None), UnicodeEncodeError, SURROGATE),
        (("new", "\ud800", None), UnicodeEncodeError, SURROGATE),
    ],
)
def test_map_err_rejects_a_bad_triple(err, returned, exc_type, text):
    with raises_exact(exc_type, text) as info:
        err.map_err(lambda m, c, d: returned)
    assert type(info.value) is exc_type and err.unwrap_err() == ("boom", "E1", DETAILS)


@pytest.mark.parametrize("method", ["flat_map", "and_then"])
def test_flat_map_copies_the_returned_result(method, ok, err):
    for other in (Result.ok(["other"]), err, ok):
        out = getattr(ok, method)(lambda v: other)
        assert type(out) is Result and out is not other and out is not ok
        assert fields(out) == fields(other)


@pytest.mark.parametrize("method", ["flat_map", "and_then"])
@pytest.mark.parametrize(
    "returned, text",
    [
        (5, "'int' object is not an instance of 'Result'"),
        (None, "'None' is not an instance of 'Result'"),
        (MayBe.just(1), "'MayBe' object is not an instance of 'Result'"),
        (Result, "'type' object is not an instance of 'Result'"),
    ],
)
def test_flat_map_demands_a_result(method, ok, returned, text):
    with raises_exact(TypeError, text):
        getattr(ok, method)(lambda v: returned)


@pytest.mark.parametrize(
    "receiver, call",
    [
        (Result.ok(1), lambda r: r.match()),
        (Result.err("e"), lambda r: r.match()),
        (Result.ok(1), lambda r: r.match(None, None)),
        (Result.err("e"), lambda r: r.match(ok=None, err=None)),
        (Result.err("e"), lambda r: r.match(ok=raise_boom)),
        (Result.err("e"), lambda r: r.match(42)),
        (Result.ok(1), lambda r: r.match(err=raise_boom)),
        (Result.ok(1), lambda r: r.match(None, 42)),
    ],
)
def test_match_without_a_handler_for_the_variant_returns_none(receiver, call):
    assert call(receiver) is None


@pytest.mark.parametrize(
    "variant, call",
    [
        ("ok", lambda r: r.map(raise_boom)),
        ("ok", lambda r: r.flat_map(raise_boom)),
        ("ok", lambda r: r.and_then(raise_boom)),
        ("ok", lambda r: r.match(ok=raise_boom)),
        ("err", lambda r: r.map_err(raise_boom)),
        ("err", lambda r: r.match(err=raise_boom)),
    ],
)
def test_exception_from_callable_passes_through(request, variant, call):
    r = request.getfixturevalue(variant)
    before = fields(r)
    with pytest.raises(ValueError) as info:
        call(r)
    assert info.value is BOOM and fields(r) == before


def test_non_callable_fails_only_when_called(ok, err):
    for call in (ok.map, ok.and_then, err.map_err, lambda f: ok.match(ok=f), lambda f: err.match(err=f)):
        with raises_exact(TypeError, "'int' object is not callable"):
            call(42)


@pytest.mark.parametrize(
    "call, text",
    [
        (lambda r: r.map(), "Result.map() missing 1 required positional argument: 'func'"),
        (lambda r: r.map_err(1, 2), "Result.map_err() takes 1 positional arguments but 2 were given"),
        (lambda r: r.flat_map(1, func=1), "Result.flat_map() got multiple values for argument 'func'"),
        (lambda r: r.and_then(fn=1), "Result.and_then() got an unexpected keyword argument 'fn'"),
        (lambda r: r.match(1, 2, 3), "Result.match() takes from 0 to 2 positional arguments but 3 were given"),
        (lambda r: r.match(1, ok=2), "Result.match() got multiple values for argument 'ok'"),
    ],
)
def test_binding_failures(ok, call, text):
    with raises_exact(TypeError, text):
        call(ok)


def test_callable_may_reenter_the_same_instance():
    r = Result.ok(20)
    assert r.map(lambda v: r.map(lambda w: w + 1).unwrap() + r.match(ok=lambda w: r.unwrap())).unwrap() == 41
    assert r.flat_map(lambda v: r).unwrap() == 20
    e = Result.err("e", "C")
    out = e.map_err(lambda m, c, d: (e.map_err(lambda *a: (m + m, c, d)).unwrap_err()[0], c, e))
    assert out.unwrap_err() == ("ee", "C", e)


LEAK_CASES = {  # name: (call on the tracked objects t, exception type expected or None)
    "map": (lambda t: t.ok.map(t.ident), None),
    "map raises": (lambda t: t.ok.map(t.raiser), ValueError),
    "map not callable": (lambda t: t.ok.map(t.noncallable), TypeError),
    "map_err ok": (lambda t: t.ok.map_err(t.noncallable), None),
    "map_err": (lambda t: t.err.map_err(t.to_triple), None),
    "map_err list": (lambda t: t.err.map_err(t.to_bad_list), TypeError),
    "map_err short": (lambda t: t.err.map_err(t.to_short), ValueError),
    "map_err code": (lambda t: t.err.map_err(t.to_bad_code), TypeError),
    "map_err surrogate": (lambda t: t.err.map_err(t.to_surrogate), UnicodeEncodeError),
    "map_err raises": (lambda t: t.err.map_err(t.raiser), ValueError),
    "flat_map": (lambda t: t.ok.flat_map(t.to_other), None),
    "and_then err": (lambda t: t.ok.and_then(t.to_err), None),
    "flat_map on err": (lambda t: t.err.flat_map(t.noncallable), None),
    "flat_map non-result": (lambda t: t.ok.flat_map(t.to_returned), TypeError),
    "match ok": (lambda t: t.ok.match(t.ident, t.noncallable), None),
    "match err": (lambda t: t.err.match(t.noncallable, t.ident), None),
    "match raises": (lambda t: t.err.match(err=t.raiser), ValueError),
}


class Tracked:
    def __init__(self):
        self.payload, self.details, self.returned = ["payload"], {"details": 1}, ["returned"]
        self.ok, self.err = Result.ok(self.payload), Result.err("m", "C", self.details)
        self.other, self.triple = Result.ok(self.returned), ("n", "C", self.returned)
        self.bad_list, self.short = ["n", None, self.details], ("n",)
        self.bad_code, self.surrogate = ("n", self.returned, None), ("\ud800x", None, None)
        self.ident, self.noncallable, self.exc = lambda *a: a[0], object(), ValueError("tracked")
        self.raiser = lambda *a: raise_(self.exc)
        for name in ("other", "triple", "bad_list", "short", "bad_code", "surrogate", "returned", "err"):
            setattr(self, "to_" + name, (lambda o: lambda *a: o)(getattr(self, name)))


@pytest.mark.parametrize("call, exc_type", list(LEAK_CASES.values()), ids=list(LEAK_CASES))
def test_references_are_released(call, exc_type):
    t = Tracked()
    assert_counts_stable(lambda: run_expecting(lambda: call(t), exc_type), vars(t))
