"""tolbrane_tools: the free-function idioms, from_exception and unwrap_or_raise_as."""

import functools
import re
import sys

import pytest

from tolbrane import MayBe, Result
from tolbrane_tools import (
    Err,
    Just,
    Ok,
    combine,
    err_details,
    expect_err,
    flatten,
    from_exception,
    inspect,
    inspect_err,
    map_or,
    map_or_else,
    ok_or,
    or_else,
    same,
    to_maybe,
    unwrap_or_else,
    unwrap_or_raise_as,
    view,
)


def raises_exact(exc_type, text):
    return pytest.raises(exc_type, match="^" + re.escape(text) + "$")


VALUE = object()
DETAILS = {"id": 7}
OK = Result.ok(VALUE)
ERR = Result.err("no such user", "E_404", DETAILS)


def fields(*got):
    return got


def never(*args):
    raise AssertionError(f"called with {args}")


@pytest.mark.parametrize("call, expected", [
    (lambda: view(or_else(ERR, lambda *f: Result.ok(f))), Ok(("no such user", "E_404", DETAILS))),
    (lambda: view(or_else(ERR, lambda *f: Result.err("still", "E2"))), Err("still", "E2")),
    (lambda: unwrap_or_else(ERR, fields), ("no such user", "E_404", DETAILS)),
    (lambda: unwrap_or_else(Result.err("m"), fields), ("m", None, None)),
    (lambda: map_or(ERR, "default", never), "default"),
    (lambda: map_or(Result.ok("abc"), 0, len), 3),
    (lambda: map_or_else(ERR, fields, never), ("no such user", "E_404", DETAILS)),
    (lambda: map_or_else(Result.ok(2), never, lambda n: n * 10), 20),
    (lambda: expect_err(ERR, "unused"), ("no such user", "E_404", DETAILS)),
    (lambda: err_details(ERR), DETAILS),
    (lambda: view(flatten(Result.ok(Result.ok(1)))), Ok(1)),
    (lambda: view(flatten(Result.ok(Result.err("inner", "E")))), Err("inner", "E")),
    (lambda: view(ok_or(MayBe(3), "absent")), Ok(3)),
    (lambda: view(ok_or(MayBe.just(None), "absent")), Ok(None)),
    (lambda: view(ok_or(MayBe(None), "absent", "E_ABSENT", DETAILS)),
     Err("absent", "E_ABSENT", DETAILS)),
    (lambda: view(ok_or(MayBe(None), "absent", details=DETAILS)), Err("absent", None, DETAILS)),
    (lambda: view(to_maybe(Result.ok(None))), view(MayBe.just(None))),
    (lambda: view(to_maybe(ERR)), view(MayBe.nothing())),
    (lambda: view(combine(Result.ok(1), Result.ok("a"))), Ok((1, "a"))),
    (lambda: view(combine()), Ok(())),
    (lambda: view(combine(*[Result.ok(n) for n in range(6)])), Ok(tuple(range(6)))),
])
def test_each_idiom_gives_what_its_method_would(call, expected):
    assert call() == expected


@pytest.mark.parametrize("call", [
    lambda: or_else(OK, never),
    lambda: inspect_err(OK, never),
    lambda: flatten(ERR),
    lambda: combine(Result.ok(1), ERR, Result.err("later")),
])
def test_the_result_itself_is_given_back_without_a_call(call):
    assert call() is (OK if call().is_ok() else ERR)


def test_inspect_and_inspect_err_call_once_and_give_the_result_back():
    seen = []
    assert inspect(OK, seen.append) is OK and seen == [VALUE]
    assert inspect(ERR, never) is ERR
    assert inspect_err(ERR, lambda *f: seen.append(f)) is ERR
    assert seen == [VALUE, ("no such user", "E_404", DETAILS)]


def test_a_callable_s_exception_passes_through_unchanged():
    boom = RuntimeError("boom")

    def raiser(*args):
        raise boom

    for call in (lambda: or_else(ERR, raiser), lambda: unwrap_or_else(ERR, raiser),
                 lambda: map_or(OK, 0, raiser), lambda: inspect(OK, raiser),
                 lambda: inspect_err(ERR, raiser)):
        with pytest.raises(RuntimeError) as info:
            call()
        assert info.value is boom


@pytest.mark.parametrize("call, exc_type, text", [
    (lambda: expect_err(OK, "should have failed"), ValueError, "should have failed"),
    (lambda: err_details(OK), ValueError, "Tried to unwrap_err on an Ok"),
    (lambda: err_details(Result.err("bare")), ValueError,
     "Tried to read the details of an Err without details: bare"),
    (lambda: or_else(ERR, lambda *f: 5), TypeError,
     "or_else() callable's return value must be a Result, not 'int'"),
    (lambda: flatten(Result.ok(3)), TypeError, "flatten() Ok's value must be a Result, not 'int'"),
    (lambda: combine(Result.ok(1), MayBe(2)), TypeError,
     "combine() argument 2 must be a Result, not 'MayBe'"),
    (lambda: ok_or(Result.ok(1), "m"), TypeError, "ok_or() argument must be a MayBe, not 'Result'"),
    (lambda: to_maybe(None), TypeError, "to_maybe() argument must be a Result, not 'NoneType'"),
    (lambda: map_or(Ok(1), 0, len), TypeError,
     "map_or() argument must be a Result, not 'Ok' ('Ok' is a snapshot from tolbrane_tools.view, "
     "for match only: use Result.ok(...) or Result.err(...))"),
    (lambda: ok_or(Just(1), "m"), TypeError,
     "ok_or() argument must be a MayBe, not 'Just' ('Just' is a snapshot from "
     "tolbrane_tools.view, for match only: use MayBe(...))"),
])
def test_the_idioms_refuse_with_a_whole_message(call, exc_type, text):
    with raises_exact(exc_type, text):
        call()


class Ambiguous:
    """Has no truth value, as a numpy array of many elements."""

    def __bool__(self):
        raise ValueError("the truth value is ambiguous")


@pytest.mark.parametrize("foreign, shown", [
    (0, "int"), (None, "NoneType"), ("", "str"), (7, "int"), ("text", "str"),
    (Ambiguous(), "Ambiguous"), (Ok(1), "Ok"), (Err("no"), "Err"),
])
@pytest.mark.parametrize("call, text", [
    (flatten, "flatten() argument must be a Result"),
    (lambda obj: or_else(obj, lambda *fields: OK), "or_else() argument must be a Result"),
    (lambda obj: map_or(obj, 0, str), "map_or() argument must be a Result"),
    (lambda obj: ok_or(obj, "m"), "ok_or() argument must be a MayBe"),
    (lambda obj: combine(OK, obj, ERR), "combine() argument 2 must be a Result"),
    (lambda obj: combine(obj, OK), "combine() argument 1 must be a Result"),
])
def test_a_foreign_argument_is_refused_whatever_its_truth(foreign, shown, call, text):
    snapshot = (f" ('{shown}' is a snapshot from tolbrane_tools.view, for match only: "
                "use Result.ok(...) or Result.err(...))" if shown in ("Ok", "Err") else "")
    with pytest.raises(TypeError) as caught:
        call(foreign)
    assert str(caught.value) == f"{text}, not '{shown}'{snapshot}"
    assert caught.value.__context__ is None and caught.value.__cause__ is None


def test_idioms_work_with_partial_as_their_methods_would():
    recover = functools.partial(unwrap_or_else, func=lambda message, code, details: code)
    assert [recover(r) for r in (Result.ok(1), ERR)] == [1, "E_404"]


# --- from_exception and unwrap_or_raise_as ------------------------------------------------------
class Unprintable(Exception):
    def __str__(self):
        raise RuntimeError("no text")


@pytest.mark.parametrize("exc, code, expected", [
    (KeyError("id"), None, ("'id'", "KeyError")),
    (ValueError("bad"), "E_BAD", ("bad", "E_BAD")),
    (ValueError("bad"), "", ("bad", "ValueError")),
    (OSError(2, "No such file", "caf\udce9"), None, ("[Errno 2] No such file: 'caf\\udce9'",
                                                     "FileNotFoundError")),
    (ValueError("caf\udce9"), None, ("caf\\udce9", "ValueError")),
    (Unprintable(), None, ("<unprintable Unprintable object>", "Unprintable")),
    (KeyboardInterrupt(), None, ("", "KeyboardInterrupt")),
])
def test_from_exception_always_makes_an_err_holding_the_exception(exc, code, expected):
    result = from_exception(exc, code)
    message, got_code, details = result.unwrap_err()
    assert (message, got_code) == expected and details is exc


@pytest.mark.parametrize("args, exc_type, text", [
    ((ValueError,), TypeError, "from_exception() argument must be an exception, not 'type'"),
    (("boom",), TypeError, "from_exception() argument must be an exception, not 'str'"),
    ((ValueError(), 5), TypeError, "from_exception() code must be a str or None, not 'int'"),
    ((ValueError(), "E\udcff"), ValueError,
     "from_exception() code must be encodable as UTF-8, not 'E\\udcff'"),
])
def test_from_exception_refuses(args, exc_type, text):
    with raises_exact(exc_type, text):
        from_exception(*args)


class NotFound(LookupError):
    pass


def test_unwrap_or_raise_as_raises_the_chosen_class_from_the_details():
    cause = KeyError("user 7")
    with raises_exact(NotFound, "'user 7'") as info:
        unwrap_or_raise_as(from_exception(cause), NotFound)
    assert info.value.__cause__ is cause
    with raises_exact(NotFound, "disk full") as info:
        unwrap_or_raise_as(Result.err("disk full", "E", {"free": 0}), NotFound)
    assert info.value.__cause__ is None
    assert unwrap_or_raise_as(OK, NotFound) is VALUE


def test_unwrap_or_raise_as_takes_a_factory_and_refuses_what_is_not_an_exception():
    with raises_exact(RuntimeError, "[E] m"):
        unwrap_or_raise_as(Result.err("m"), lambda message: RuntimeError(f"[E] {message}"))
    with raises_exact(TypeError, "unwrap_or_raise_as() exception must give an exception, not 'str'"):
        unwrap_or_raise_as(Result.err("m"), str)


def test_unwrap_or_raise_as_leaves_no_reference_to_the_err_in_its_frame():
    result = Result.err("m", None, KeyError("k"))
    before = sys.getrefcount(result)
    for _ in range(100):
        try:
            unwrap_or_raise_as(result, NotFound)
        except NotFound:
            pass
    assert sys.getrefcount(result) == before
    assert same(result, Result.err("m", None, result.unwrap_err()[2]))


# A MayBe of either truth, where the methods called as functions would refuse it on their own.
@pytest.mark.parametrize("maybe", [MayBe(1), MayBe.nothing()], ids=["Just", "Nothing"])
@pytest.mark.parametrize("call, name", [
    (lambda obj: or_else(obj, lambda *fields: OK), "or_else"),
    (lambda obj: map_or(obj, 0, str), "map_or"), (flatten, "flatten"),
])
def test_a_maybe_is_refused_where_a_result_is_needed(maybe, call, name):
    with raises_exact(TypeError, f"{name}() argument must be a Result, not 'MayBe'"):
        call(maybe)
