"""tolbrane_tools: view and its snapshots Ok, Err, Just and Nothing, and same."""

import copy
import math
import pickle
import re
import sys

import pytest

from tolbrane import MayBe, Result
from tolbrane_tools import Err, Just, Nothing, Ok, collect, oks, same, to_maybe, view


def raises_exact(exc_type, text):
    return pytest.raises(exc_type, match="^" + re.escape(text) + "$")


PAYLOAD, DETAILS, NESTED = object(), {"field": "port"}, Result.ok(1)


def describe(obj):
    match view(obj):
        case Ok(value):
            return ("ok", value)
        case Err(message, code, details):
            return ("err", message, code, details)
        case Just(value):
            return ("just", value)
        case Nothing():
            return ("nothing",)


@pytest.mark.parametrize("obj, expected", [
    (Result.ok(PAYLOAD), ("ok", PAYLOAD)),
    (Result.ok(None), ("ok", None)),
    (Result.ok(NESTED), ("ok", NESTED)),
    (Result.err("boom"), ("err", "boom", None, None)),
    (Result.err("", "E1"), ("err", "", "E1", None)),
    (Result.err("boom", "E1", DETAILS), ("err", "boom", "E1", DETAILS)),
    (Result.from_dict({"ok": False, "error": "x", "details": None}), ("err", "x", None, None)),
    (MayBe(PAYLOAD), ("just", PAYLOAD)),
    (MayBe.just(None), ("just", None)),
    (MayBe(None), ("nothing",)),
    (MayBe.nothing(), ("nothing",)),
])
def test_view_matches_each_variant_with_the_very_objects(obj, expected):
    got = describe(obj)
    assert len(got) == len(expected)
    assert all(a == b if isinstance(b, str) else a is b for a, b in zip(got, expected))


def test_view_classes_have_the_fields_for_match():
    assert Ok.__match_args__ == ("value",) and Just.__match_args__ == ("value",)
    assert Err.__match_args__ == ("message", "code", "details")
    assert Nothing.__match_args__ == ()


def test_match_by_keyword_and_by_code():
    def status(result):
        match view(result):
            case Err(code="E_NOT_FOUND"):
                return 404
            case Err(details={"retry_after": seconds}):
                return f"retry in {seconds}"
            case Err():
                return 500
            case Ok():
                return 200

    results = [Result.err("x", "E_NOT_FOUND"), Result.err("y", None, {"retry_after": 5}),
               Result.err("z"), Result.ok(1)]
    assert [status(r) for r in results] == [404, "retry in 5", 500, 200]


@pytest.mark.parametrize("snapshot, field", [
    (Ok(1), "value"), (Err("m"), "message"), (Err("m"), "code"), (Err("m"), "details"),
    (Just(1), "value"), (Nothing(), "value"), (Ok(1), "_value"), (Ok(1), "extra"),
])
def test_views_are_read_only_and_slotted(snapshot, field):
    text = f"'{type(snapshot).__name__}' snapshots are read-only"
    with raises_exact(AttributeError, text):
        setattr(snapshot, field, 2)
    with raises_exact(AttributeError, text):
        delattr(snapshot, field)
    assert not hasattr(snapshot, "__dict__")


@pytest.mark.parametrize("snapshot", [Ok([1]), Err("m", "E", {"k": 1}), Just(None), Nothing()])
def test_views_copy_and_pickle(snapshot):
    for copied in (copy.copy(snapshot), copy.deepcopy(snapshot),
                   pickle.loads(pickle.dumps(snapshot))):
        assert type(copied) is type(snapshot) and copied == snapshot


def test_views_hash_by_class_and_fields():
    assert hash(Ok(1)) == hash(Ok(1)) and len({Ok(1), Just(1), Ok(1), Nothing(), Nothing()}) == 3
    with raises_exact(TypeError, "unhashable type: 'list'"):
        hash(Ok([1]))


@pytest.mark.parametrize("left, right, equal", [
    (view(Result.ok(3)), Ok(3), True),
    (view(Result.ok(3)), Ok(4), False),
    (view(Result.ok(3)), Just(3), False),
    (view(Result.err("m")), Err("m"), True),
    (view(Result.err("m")), Err("m", None, None), True),
    (view(Result.err("m", "E")), Err("m"), False),
    (view(Result.err("m", "E", [1])), Err("m", "E", [1]), True),
    (view(MayBe(None)), Nothing(), True),
    (view(MayBe(2)), Just(2), True),
    (Ok(1), (1,), False),
    (Nothing(), (), False),
    (Ok(Result.ok(1)), Ok(Result.ok(1)), False),  # the held Results compare by identity
])
def test_views_compare_by_value(left, right, equal):
    assert (left == right) is equal


def test_view_reprs():
    objects = (Result.ok("a"), Result.err("m", "E"), MayBe(1), MayBe(None))
    assert [repr(view(obj)) for obj in objects] == [
        "Ok(value='a')", "Err(message='m', code='E', details=None)", "Just(value=1)", "Nothing()"]


def test_view_classes_take_a_type_parameter_at_run_time():
    assert Ok[int](1) == Ok(1) and Just[str]("a").value == "a"


@pytest.mark.parametrize("obj, text", [
    (3, "view() argument must be a Result or a MayBe, not 'int'"),
    (None, "view() argument must be a Result or a MayBe, not 'NoneType'"),
    (Ok(3), "view() argument must be a Result or a MayBe, not 'Ok' ('Ok' is a snapshot from "
            "tolbrane_tools.view, for match only: use Result.ok(...) or Result.err(...))"),
    ({"ok": True, "value": 1}, "view() argument must be a Result or a MayBe, not 'dict'"),
])
def test_view_refuses_anything_else(obj, text):
    with raises_exact(TypeError, text):
        view(obj)


class ClassRaises:
    @property
    def __class__(self):
        raise RuntimeError("no class to tell")


class ClassSaysOk:
    @property
    def __class__(self):
        return Ok


@pytest.mark.parametrize("cls", [ClassRaises, ClassSaysOk])
@pytest.mark.parametrize("call, text", [
    (view, "view() argument must be a Result or a MayBe, not '{}'"),
    (to_maybe, "to_maybe() argument must be a Result, not '{}'"),
    (lambda obj: collect([obj]), "collect() item 0: expected a Result or a MayBe, got '{}'"),
    (lambda obj: list(oks([Result.ok(1), obj])), "oks() item 1: expected a Result, got '{}'"),
])
def test_the_type_error_names_the_type_whatever_the_object_says_its_class_is(cls, call, text):
    with raises_exact(TypeError, text.format(cls.__name__)):
        call(cls())


# --- same ---------------------------------------------------------------------------------------
class Always:
    def __eq__(self, other):
        return True

    __hash__ = None


NAN = math.nan
SHARED = [1]


@pytest.mark.parametrize("a, b, expected", [
    (Result.ok([1, 2]), Result.ok([1, 2]), True),
    (Result.ok(1), Result.ok(1.0), True),  # values by ==
    (Result.ok(1), Result.ok(2), False),
    (Result.ok(None), Result.ok(None), True),
    (Result.ok(NAN), Result.ok(NAN), True),  # the same object, as in list equality
    (Result.ok(float("nan")), Result.ok(float("nan")), False),
    (Result.ok(Always()), Result.ok(object()), True),
    (Result.ok(SHARED), Result.err("x"), False),
    (Result.err("x"), Result.ok(SHARED), False),
    (Result.err("x"), Result.err("x"), True),
    (Result.err("x"), Result.err("y"), False),
    (Result.err("x", "E1"), Result.err("x", "E1"), True),
    (Result.err("x", "E1"), Result.err("x", "E2"), False),
    (Result.err("x", "E1"), Result.err("x"), False),
    (Result.err("x", ""), Result.err("x"), False),  # an empty code is a code
    (Result.err("x", None, {"k": 1}), Result.err("x", None, {"k": 1}), True),
    (Result.err("x", None, {"k": 1}), Result.err("x", None, {"k": 2}), False),
    (Result.err("x", None, 0), Result.err("x"), False),
    (Result.from_dict({"ok": False, "error": "x", "details": None}), Result.err("x"), True),
    (Result.ok(Result.ok(1)), Result.ok(Result.ok(1)), True),  # held Results by same again
    (Result.ok(Result.ok(1)), Result.ok(Result.err("1")), False),
    (Result.err("x", None, MayBe(1)), Result.err("x", None, MayBe(1)), True),
    (Result.ok([Result.ok(1)]), Result.ok([Result.ok(1)]), False),  # inside a list: ==
    (MayBe(1), MayBe(1), True),
    (MayBe(1), MayBe(2), False),
    (MayBe(None), MayBe.nothing(), True),
    (MayBe.just(None), MayBe(None), False),
    (MayBe(None), MayBe.just(None), False),
    (MayBe.just(None), MayBe.just(None), True),
    (MayBe(MayBe(Result.ok("a"))), MayBe(MayBe(Result.ok("a"))), True),
])
def test_same(a, b, expected):
    assert same(a, b) is expected
    assert same(b, a) is expected
    assert same(a, a) is True


@pytest.mark.parametrize("a, b, text", [
    (Result.ok(1), MayBe(1), "same() takes two Results or two MayBes, not 'Result' and 'MayBe'"),
    (MayBe(1), Result.ok(1), "same() takes two Results or two MayBes, not 'MayBe' and 'Result'"),
    (1, 1, "same() takes two Results or two MayBes, not 'int' and 'int'"),
    (Ok(1), Ok(1), "same() takes two Results or two MayBes, not 'Ok' and 'Ok'"),
    (Result.ok(1), None, "same() takes two Results or two MayBes, not 'Result' and 'NoneType'"),
])
def test_same_refuses_anything_else(a, b, text):
    with raises_exact(TypeError, text):
        same(a, b)


class Impostor:
    def __init__(self, claimed):
        self.claimed = claimed

    @property
    def __class__(self):
        return self.claimed


@pytest.mark.parametrize("claimed, genuine", [(Result, Result.ok(1)), (MayBe, MayBe(1))])
def test_same_sees_through_a_spoofed_class(claimed, genuine):
    impostor = Impostor(claimed)
    name = claimed.__name__
    with raises_exact(TypeError,
                      f"same() takes two Results or two MayBes, not '{name}' and 'Impostor'"):
        same(genuine, impostor)
    # Inside a held value, an impostor is compared by ==, as any other object.
    assert same(Result.ok(impostor), Result.ok(impostor)) is True
    assert same(MayBe(impostor), MayBe(Impostor(claimed))) is False


def chain(depth, bottom, step):
    for _ in range(depth):
        bottom = step(bottom)
    return bottom


def err_holding(details):
    return Result.err("m", "E", details)


@pytest.mark.parametrize("step", [Result.ok, MayBe.just, err_holding,
                                  lambda held: Result.ok(MayBe.just(held))])
@pytest.mark.parametrize("other_bottom, expected", [(1, True), (2, False)])
def test_same_compares_chains_deeper_than_the_recursion_limit(step, other_bottom, expected):
    depth = sys.getrecursionlimit() * 5
    assert same(chain(depth, 1, step), chain(depth, other_bottom, step)) is expected


def test_same_lets_a_failing_comparison_through():
    class Broken:
        def __eq__(self, other):
            raise RuntimeError("cannot compare")

    with raises_exact(RuntimeError, "cannot compare"):
        same(Result.ok(Broken()), Result.ok(Broken()))
