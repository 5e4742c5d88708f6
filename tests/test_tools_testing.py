"""tolbrane_tools: assert_ok and assert_err, and the snapshots that no longer pass for Results."""

import re

import pytest

from tolbrane import MayBe, Result
from tolbrane_tools import Err, Just, Nothing, Ok, assert_err, assert_ok, collect, view


def raises_exact(exc_type, text):
    return pytest.raises(exc_type, match="^" + re.escape(text) + "$")


ERR = Result.err("not found", "E_404", {"id": 7})


def test_assert_ok_gives_the_value_back():
    value = object()
    assert assert_ok(Result.ok(value)) is value
    assert assert_ok(Result.ok([1]), [1]) == [1]


def test_assert_err_gives_the_snapshot_back():
    assert assert_err(ERR, "E_404") == Err("not found", "E_404", {"id": 7})
    assert assert_err(ERR, message="not found", details={"id": 7}).code == "E_404"


@pytest.mark.parametrize("held, expected", [
    (MayBe(80), MayBe(80)),
    (Result.ok(Result.ok(MayBe("a"))), Result.ok(Result.ok(MayBe("a")))),
    (Result.err("no", "E", MayBe.nothing()), Result.err("no", "E", MayBe.nothing())),
    (MayBe.just(Result.ok(MayBe(2))), MayBe.just(Result.ok(MayBe(2)))),
], ids=repr)
def test_held_results_and_maybes_are_compared_by_contents(held, expected):
    # Equality of the native types is identity: equal contents pass, as same() says.
    assert assert_ok(Result.ok(held), expected) is held
    assert assert_err(Result.err("m", "C", held), "C", "m", expected).details is held
    with raises_exact(AssertionError, f"expected Ok(value=Just(0)), got Ok(value={held})"):
        assert_ok(Result.ok(held), MayBe(0))


@pytest.mark.parametrize("call, text", [
    (lambda: assert_ok(ERR), "expected Ok(value=<any>), got Err(message='not found', "
     "code='E_404', details={'id': 7})"),
    (lambda: assert_ok(Result.ok(2), 3), "expected Ok(value=3), got Ok(value=2)"),
    (lambda: assert_ok(Result.ok(None), 0), "expected Ok(value=0), got Ok(value=None)"),
    (lambda: assert_err(Result.ok(1), "E_404"),
     "expected Err(message=<any>, code='E_404', details=<any>), got Ok(value=1)"),
    (lambda: assert_err(ERR, "E_410"), "expected Err(message=<any>, code='E_410', "
     "details=<any>), got Err(message='not found', code='E_404', details={'id': 7})"),
    (lambda: assert_err(ERR, message="gone"), "expected Err(message='gone', code=<any>, "
     "details=<any>), got Err(message='not found', code='E_404', details={'id': 7})"),
    (lambda: assert_err(ERR, details={"id": 8}), "expected Err(message=<any>, code=<any>, "
     "details={'id': 8}), got Err(message='not found', code='E_404', details={'id': 7})"),
    (lambda: assert_err(Result.err("m"), code=None, details=0), "expected Err(message=<any>, "
     "code=None, details=0), got Err(message='m', code=None, details=None)"),
])
def test_a_failed_assertion_shows_both_sides(call, text):
    with raises_exact(AssertionError, text):
        call()


class Unprintable:
    def __repr__(self):
        raise RuntimeError("no repr")


@pytest.mark.parametrize("call, text", [
    (lambda: assert_ok(Result.ok(1), Unprintable()),
     "expected Ok(value=<unprintable Unprintable object>), got Ok(value=1)"),
    (lambda: assert_ok(Result.ok(Unprintable()), 2),
     "expected Ok(value=2), got Ok(value=<unprintable Unprintable object>)"),
    (lambda: assert_err(Result.ok(Unprintable())),
     "expected Err(message=<any>, code=<any>, details=<any>), "
     "got Ok(value=<unprintable Unprintable object>)"),
    (lambda: assert_err(Result.err("m", "E_1", Unprintable()), "E_2"),
     "expected Err(message=<any>, code='E_2', details=<any>), "
     "got Err(message='m', code='E_1', details=<unprintable Unprintable object>)"),
    (lambda: assert_err(ERR, details=Unprintable()),
     "expected Err(message=<any>, code=<any>, details=<unprintable Unprintable object>), "
     "got Err(message='not found', code='E_404', details={'id': 7})"),
])
def test_a_failed_assertion_is_reported_whatever_the_repr_of_either_side(call, text):
    with raises_exact(AssertionError, text):
        call()


def test_the_assertions_refuse_a_snapshot_with_advice():
    with raises_exact(TypeError, "assert_ok() argument must be a Result, not 'Ok' ('Ok' is a "
                      "snapshot from tolbrane_tools.view, for match only: use Result.ok(...) "
                      "or Result.err(...))"):
        assert_ok(Ok(1))


# --- the snapshot trap --------------------------------------------------------------------------
@pytest.mark.parametrize("snapshot, truth", [
    (Ok(0), True), (Ok(None), True), (Err("failed"), False), (Err(""), False),
    (Just(None), True), (Nothing(), False),
])
def test_a_snapshot_s_truth_is_that_of_what_it_stands_for(snapshot, truth):
    assert bool(snapshot) is truth
    native = {"Ok": lambda s: Result.ok(s.value), "Err": lambda s: Result.err(s.message),
              "Just": lambda s: MayBe.just(s.value), "Nothing": lambda s: MayBe.nothing()}
    assert bool(native[type(snapshot).__name__](snapshot)) is truth


@pytest.mark.parametrize("snapshot, name, native", [
    (Err("x"), "unwrap", "Result.ok(...) or Result.err(...)"),
    (Ok(1), "and_then", "Result.ok(...) or Result.err(...)"),
    (Ok(1), "is_ok", "Result.ok(...) or Result.err(...)"),
    (Just(1), "or_else", "MayBe(...)"),
    (Nothing(), "map", "MayBe(...)"),
])
def test_a_result_method_on_a_snapshot_says_what_to_build(snapshot, name, native):
    kind = type(snapshot).__name__
    with raises_exact(AttributeError, f"'{kind}' object has no attribute '{name}' ('{kind}' is "
                      f"a snapshot from tolbrane_tools.view, for match only: use {native})"):
        getattr(snapshot, name)


def test_other_missing_attributes_read_as_usual():
    with raises_exact(AttributeError, "'Ok' object has no attribute 'colour'"):
        Ok(1).colour
    assert Ok(1).value == 1 and Err("m", "C").code == "C"
    assert not hasattr(Ok(1), "unwrap")


def test_a_snapshot_among_results_is_named_with_advice():
    with raises_exact(TypeError, "collect() item 1: expected a Result, got 'Err' ('Err' is a "
                      "snapshot from tolbrane_tools.view, for match only: use Result.ok(...) "
                      "or Result.err(...))"):
        collect([Result.ok(1), Err("half-migrated")])
    assert view(Result.err("x")) == Err("x") and not view(Result.err("x"))
