"""Result.to_dict and Result.from_dict."""

import copy
import json

import pytest
from hypothesis import given
from hypothesis import strategies as st

from _helpers import raises_exact, Text
from _refcounts import assert_counts_stable, run_expecting
from tolbrane import Result

VALUE, DETAILS, BOOM = ["value"], {"details": 1}, ValueError("boom")
NOT_BOOL_ = "'bool_' object is not an instance of 'bool'"
SURROGATE = "'utf-8' codec can't encode character '\\ud800' in position 0: surrogates not allowed"


class NoArgs:
    def __call__(self):
        return True


class Meta(type):
    @property
    def __module__(cls):
        raise RuntimeError("unreadable module")


class Missing(dict):
    def __missing__(self, key):
        return True


class Lying(dict):
    def __getitem__(self, key):
        return {"ok": True, "value": "lie"}[key]


class Trap:
    def __init__(self, key):
        self.key = key

    def __hash__(self):
        return hash(self.key)

    def __eq__(self, other):
        raise BOOM


def raise_(exc):
    raise exc


def raise_boom(*args):
    raise BOOM


def np_like(name, module="numpy", **attrs):
    return type(name, (), {"__module__": module, **attrs})


def written(d):
    # the items, with the identity of the objects under "value" and "details" and the exact type of the rest
    return [(k, id(v) if k in ("value", "details") else (type(v), v)) for k, v in d.items()]


@pytest.mark.parametrize(
    "r, expected",
    [
        (Result.ok(VALUE), {"ok": True, "value": VALUE}),
        (Result.ok(None), {"ok": True, "value": None}),
        (Result.err("m"), {"ok": False, "error": "m"}),
        (Result.err("", ""), {"ok": False, "error": "", "code": ""}),
        (Result.err("m", details=DETAILS), {"ok": False, "error": "m", "details": DETAILS}),
        (Result.err("m\0é", "c", DETAILS), {"ok": False, "error": "m\0é", "code": "c", "details": DETAILS}),
        (Result.err("m", None, None), {"ok": False, "error": "m"}),
        (Result.err("m", details=0), {"ok": False, "error": "m", "details": 0}),
    ],
)
def test_to_dict_writes_exact_keys_in_order(r, expected):
    d = r.to_dict()
    assert type(d) is dict and written(d) == written(expected)
    d["ok"] = "changed"
    assert r.to_dict() is not d and written(r.to_dict()) == written(expected)


@pytest.mark.parametrize(
    "d, exc_type, text",
    [
        ({}, ValueError, "Missing 'ok' key in dict"),
        ({"value": 1, "error": "x"}, ValueError, "Missing 'ok' key in dict"),
        ({"ok": True}, ValueError, "Missing 'value' key for Ok result"),
        ({"ok": True, "error": "x"}, ValueError, "Missing 'value' key for Ok result"),
        ({"ok": False}, ValueError, "Missing 'error' key for Err result"),
        ({"ok": False, "value": 1}, ValueError, "Missing 'error' key for Err result"),
        ({"ok": 0, "error": "x"}, TypeError, "'int' object is not an instance of 'bool'"),
        ({"ok": None, "value": 1}, TypeError, "'None' is not an instance of 'bool'"),
        ({"ok": 1}, TypeError, "'int' object is not an instance of 'bool'"),
        ({"ok": "true", "value": 1}, TypeError, "'str' object is not an instance of 'bool'"),
        ({"ok": False, "error": 404}, TypeError, "'int' object is not an instance of 'str'"),
        ({"ok": False, "error": None}, TypeError, "'None' is not an instance of 'str'"),
        ({"ok": False, "error": b"x"}, TypeError, "'bytes' object is not an instance of 'str'"),
        ({"ok": False, "error": "\ud800"}, UnicodeEncodeError, SURROGATE),
        # stand-ins for numpy types: only "bool_" and "bool" of module numpy have __bool__ called
        ({"ok": np_like("int_", __bool__=NoArgs())()}, TypeError, "'int_' object is not an instance of 'bool'"),
        ({"ok": np_like("bool_", "numpyx", __bool__=NoArgs())()}, TypeError, NOT_BOOL_),
        ({"ok": Meta("bool_", (), {"__bool__": NoArgs()})()}, TypeError, NOT_BOOL_),
        ({"ok": np_like("bool_", __bool__=lambda s: 1)()}, TypeError, "'int' object is not an instance of 'bool'"),
        ({"ok": np_like("bool", __bool__=lambda s: None)()}, TypeError, "'None' is not an instance of 'bool'"),
        ({"ok": np_like("bool_", __bool__=lambda s: "1")()}, TypeError, "'str' object is not an instance of 'bool'"),
        (Missing(), ValueError, "Missing 'ok' key in dict"),
        ([("ok", True)], TypeError, "argument 'dict': 'list' object is not an instance of 'dict'"),
        (None, TypeError, "argument 'dict': 'None' is not an instance of 'dict'"),
    ],
)
def test_from_dict_failures(d, exc_type, text):
    before = copy.copy(d)
    with raises_exact(exc_type, text) as info:
        Result.from_dict(d)
    assert type(info.value) is exc_type and d == before


@pytest.mark.parametrize("name", ["bool_", "bool"])
def test_numpy_like_type_without_bool(name):
    fake = np_like(name)
    with raises_exact(TypeError, f"object of type '{fake}' does not define a '__bool__' conversion"):
        Result.from_dict({"ok": fake(), "value": 1})


@pytest.mark.parametrize("name", ["bool_", "bool"])
@pytest.mark.parametrize(
    "bool_attr, flag",
    [(lambda s: True, True), (lambda s: False, False), (NoArgs(), True)],
)
def test_numpy_like_bool_is_called(name, bool_attr, flag):
    r = Result.from_dict({"ok": np_like(name, __bool__=bool_attr)(), "value": VALUE, "error": "x"})
    assert r.is_ok() is flag and r.to_dict()["ok"] is flag


@pytest.mark.parametrize(
    "d",
    [
        {"ok": np_like("bool_", __bool__=raise_boom)(), "value": 1},
        {"ok": np_like("bool", __bool__=property(raise_boom))(), "value": 1},
        {Trap("ok"): True},
        {"ok": True, Trap("value"): 1},
        {"ok": False, Trap("error"): "x"},
        {"ok": False, "error": "x", Trap("code"): "c"},
        {"ok": False, "error": "x", Trap("details"): 1},
    ],
)
def test_exception_while_reading_passes_through(d):
    with pytest.raises(ValueError) as info:
        Result.from_dict(d)
    assert info.value is BOOM


@pytest.mark.parametrize("flag", [True, False])
def test_real_numpy_booleans(flag):
    np = pytest.importorskip("numpy")
    r = Result.from_dict({"ok": np.bool_(flag), "value": VALUE, "error": "x"})
    assert r.is_ok() is flag and r.to_dict()["ok"] is flag
    with raises_exact(TypeError, "'float64' object is not an instance of 'bool'"):
        Result.from_dict({"ok": np.float64(flag), "value": 1})


@pytest.mark.parametrize(
    "d, expected",
    [
        ({"ok": True, "value": None}, {"ok": True, "value": None}),
        ({"ok": True, "value": VALUE, "error": 5, "code": 1, "details": 2}, {"ok": True, "value": VALUE}),
        ({"ok": False, "error": "x", "code": 404}, {"ok": False, "error": "x"}),
        ({"ok": False, "error": "x", "code": None}, {"ok": False, "error": "x"}),
        ({"ok": False, "error": "x", "code": b"c"}, {"ok": False, "error": "x"}),
        ({"ok": False, "error": "x", "code": "\ud800"}, {"ok": False, "error": "x"}),
        ({"ok": False, "error": Text("x"), "code": Text("c")}, {"ok": False, "error": "x", "code": "c"}),
        ({"ok": False, "error": "x", "details": None}, {"ok": False, "error": "x", "details": None}),
        ({"details": DETAILS, "value": 1, "extra": 1, "error": "x", "ok": False},
         {"ok": False, "error": "x", "details": DETAILS}),
        # the keys of the other variant are never read, so traps there stay silent
        ({"ok": True, "value": VALUE, Trap("error"): 0, Trap("code"): 0, Trap("details"): 0},
         {"ok": True, "value": VALUE}),
        ({"ok": False, "error": "x", Trap("value"): 0}, {"ok": False, "error": "x"}),
        (Missing({"ok": True, "value": VALUE}), {"ok": True, "value": VALUE}),
        (Lying({"ok": False, "error": "x"}), {"ok": False, "error": "x"}),
    ],
)
def test_from_dict_reads_the_form(d, expected):
    items = list(d.items())
    assert written(Result.from_dict(d).to_dict()) == written(expected) and list(d.items()) == items


def test_from_dict_call_forms():
    d = {"ok": True, "value": VALUE}
    for r in (Result.from_dict(dict=d), Result.err("e").from_dict(d), Result.ok(1).from_dict(dict=d)):
        assert type(r) is Result and r.unwrap() is VALUE
    with raises_exact(TypeError, "Result.from_dict() got an unexpected keyword argument 'd'"):
        Result.from_dict(d=d)


def test_json_round_trip():
    for r in (Result.ok({"a": [1, 2.5, None]}), Result.err("m\0\"é", "E1", {"k": [1]}), Result.err("m")):
        d = r.to_dict()
        assert Result.from_dict(json.loads(json.dumps(d))).to_dict() == d


texts = st.text(st.characters(exclude_categories=("Cs",)))
payloads = st.one_of(st.none(), st.booleans(), st.integers(), st.lists(st.integers()), st.builds(object))


@given(st.one_of(st.builds(Result.ok, payloads), st.builds(Result.err, texts, texts | st.none(), payloads)))
def test_round_trip_from_result(r):
    back = Result.from_dict(r.to_dict())
    assert type(back) is Result and back is not r and back.is_ok() == r.is_ok()
    assert written(back.to_dict()) == written(r.to_dict())
    if r.is_err():
        assert back.unwrap_err() == r.unwrap_err() and back.unwrap_err()[2] is r.unwrap_err()[2]


@st.composite
def written_forms(draw):
    if draw(st.booleans()):
        return {"ok": True, "value": draw(payloads)}
    d = {"ok": False, "error": draw(texts)}
    for key, values in (("code", texts), ("details", payloads)):
        if draw(st.booleans()):
            d[key] = draw(values)
    return d


@given(written_forms())
def test_round_trip_from_written_form(d):
    assert written(Result.from_dict(d).to_dict()) == written(d)


class Tracked:
    def __init__(self):
        self.payload, self.details, self.odd = ["payload"], {"details": 1}, ["odd"]
        self.exc = ValueError("tracked")
        self.ok, self.err = Result.ok(self.payload), Result.err("m", "C", self.details)
        self.fake_odd = np_like("bool_", __bool__=lambda s: self.odd)()
        self.fake_raises = np_like("bool", __bool__=lambda s: raise_(self.exc))()
        self.fake_true = np_like("bool_", __bool__=NoArgs())()
        self.trap, self.surrogate = Trap("value"), "\ud800x"


LEAK_CASES = {  # name: (the receiver of to_dict or the argument of from_dict, made from t; exception type)
    "to_dict ok": (lambda t: t.ok, None),
    "to_dict err": (lambda t: t.err, None),
    "ok": (lambda t: {"ok": True, "value": t.payload, "extra": t.odd}, None),
    "err": (lambda t: {"ok": False, "error": "m", "code": t.odd, "details": t.details, "value": t.odd}, None),
    "ok not bool": (lambda t: {"ok": t.odd, "value": t.payload}, TypeError),
    "value missing": (lambda t: {"ok": True, "error": t.odd}, ValueError),
    "error not str": (lambda t: {"ok": False, "error": t.odd, "details": t.details}, TypeError),
    "code surrogate": (lambda t: {"ok": False, "error": "m", "code": t.surrogate, "details": t.details}, None),
    "error surrogate": (lambda t: {"ok": False, "error": t.surrogate}, UnicodeEncodeError),
    "__bool__ odd": (lambda t: {"ok": t.fake_odd, "value": t.payload}, TypeError),
    "__bool__ raises": (lambda t: {"ok": t.fake_raises, "value": t.payload}, ValueError),
    "__bool__ true": (lambda t: {"ok": t.fake_true, "value": t.payload}, None),
    "lookup raises": (lambda t: {"ok": True, t.trap: t.payload}, ValueError),
    "not a dict": (lambda t: [("ok", t.payload)], TypeError),
}


@pytest.mark.parametrize("make, exc_type", list(LEAK_CASES.values()), ids=list(LEAK_CASES))
def test_references_are_released(make, exc_type):
    t = Tracked()

    def convert():
        arg = make(t)
        return arg.to_dict() if type(arg) is Result else Result.from_dict(arg)

    assert_counts_stable(lambda: run_expecting(convert, exc_type), vars(t))
