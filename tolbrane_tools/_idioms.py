"""The idioms of other Result libraries as typed free functions, the Result first in each.

or_else, unwrap_or_else, map_or, map_or_else, inspect, inspect_err, expect_err, flatten,
err_details, ok_or, to_maybe, combine, from_exception and unwrap_or_raise_as. Each reads as the
method it stands for (``or_else(r, f)`` for ``r.or_else(f)``), so ``functools.partial`` works.
An Err handler takes the Err's three fields, ``(message, code, details)``, as ``match`` does.
"""

from collections.abc import Callable
from typing import Any, Never, overload

from tolbrane import MayBe, Result

from ._exceptions import check_code, failure_of
from ._views import not_a

# Called as functions, the methods refuse anything but an instance of their class (a TypeError):
# on the hot paths they are the type test, which an explicit one would only repeat. is_ok so
# called is the type test and the truth test in one call, and never calls a foreign __bool__.
IS_OK: Callable[[Any], bool] = Result[Any].is_ok
_IS_JUST: Callable[[Any], bool] = MayBe[Any].is_just
_UNWRAP_RESULT: Callable[[Any], Any] = Result[Any].unwrap


def or_else[T, E, U, F](
    result: Result[T, E], func: Callable[[str, str | None, E], Result[U, F]]
) -> Result[T | U, F]:
    """An Ok itself; for an Err, ``func(message, code, details)``, which must be a Result.

    The recovery step: the Err's fields decide what to try instead.

    >>> cached = Result.err("cache miss", "E_MISS")
    >>> or_else(cached, lambda message, code, details: Result.ok("from the database"))
    Ok(from the database)
    >>> or_else(Result.ok("cached"), lambda message, code, details: Result.ok("unused"))
    Ok(cached)
    """
    try:
        if IS_OK(result):
            return result  # type: ignore[return-value]  # pyright: ignore[reportReturnType]  # an Ok: no F in it
        fields = result.unwrap_err()
    except TypeError:
        pass
    else:
        recovered = func(*fields)
        if type(recovered) is not Result:
            raise not_a("or_else() callable's return value", "a Result", recovered)
        return recovered
    raise not_a("or_else() argument", "a Result", result)


def unwrap_or_else[T, E, U](
    result: Result[T, E], func: Callable[[str, str | None, E], U]
) -> T | U:
    """The Ok's value; for an Err, ``func(message, code, details)``, called only then.

    >>> unwrap_or_else(Result.err("no port", "E_CONFIG"), lambda message, code, details: 8080)
    8080
    """
    try:
        if IS_OK(result):
            return result.unwrap()
    except TypeError:
        pass
    else:
        return func(*result.unwrap_err())
    raise not_a("unwrap_or_else() argument", "a Result", result)


def map_or[T, U, D](result: Result[T, Any], default: D, func: Callable[[T], U]) -> U | D:
    """``func(value)`` for an Ok, ``default`` itself for an Err.

    >>> map_or(Result.ok("abc"), 0, len), map_or(Result.err("none"), 0, len)
    (3, 0)
    """
    try:
        if not IS_OK(result):
            return default
        value = result.unwrap()
    except TypeError:
        pass
    else:
        return func(value)
    raise not_a("map_or() argument", "a Result", result)


def map_or_else[T, E, U, D](
    result: Result[T, E], default: Callable[[str, str | None, E], D], func: Callable[[T], U]
) -> U | D:
    """``func(value)`` for an Ok, ``default(message, code, details)`` for an Err.

    >>> map_or_else(Result.err("gone", "E_404"), lambda message, code, details: code, str.upper)
    'E_404'
    """
    try:
        ok = IS_OK(result)
    except TypeError:
        pass
    else:
        if ok:
            return func(result.unwrap())
        return default(*result.unwrap_err())
    raise not_a("map_or_else() argument", "a Result", result)


def inspect[T, E](result: Result[T, E], func: Callable[[T], object]) -> Result[T, E]:
    """The Result itself, after calling ``func(value)`` for an Ok (to log, to count).

    >>> inspect(Result.ok(3), print)
    3
    Ok(3)
    """
    try:
        ok = IS_OK(result)
    except TypeError:
        pass
    else:
        if ok:
            func(result.unwrap())
        return result
    raise not_a("inspect() argument", "a Result", result)


def inspect_err[T, E](
    result: Result[T, E], func: Callable[[str, str | None, E], object]
) -> Result[T, E]:
    """The Result itself, after calling ``func(message, code, details)`` for an Err.

    >>> inspect_err(Result.err("boom", "E1"), lambda message, code, details: print(code))
    E1
    Err('boom', code='E1')
    """
    try:
        ok = IS_OK(result)
    except TypeError:
        pass
    else:
        if not ok:
            func(*result.unwrap_err())
        return result
    raise not_a("inspect_err() argument", "a Result", result)


def expect_err[E](result: Result[Any, E], message: str) -> tuple[str, str | None, E]:
    """The Err's ``(message, code, details)``; an Ok raises ``ValueError(message)``.

    >>> expect_err(Result.err("boom", "E1"), "should have failed")
    ('boom', 'E1', None)
    >>> expect_err(Result.ok(1), "should have failed")
    Traceback (most recent call last):
      ...
    ValueError: should have failed
    """
    try:
        ok = IS_OK(result)
    except TypeError:
        pass
    else:
        if ok:
            raise ValueError(message)
        return result.unwrap_err()
    raise not_a("expect_err() argument", "a Result", result)


def flatten[T, E, F](result: Result[Result[T, F], E]) -> Result[T, E | F]:
    """The inner Result of an Ok holding a Result; an Err itself.

    >>> flatten(Result.ok(Result.ok(1))), flatten(Result.ok(Result.err("inner")))
    (Ok(1), Err('inner'))
    """
    try:
        if not IS_OK(result):
            return result  # type: ignore[return-value]  # pyright: ignore[reportReturnType]  # an Err: no value in it
        inner = result.unwrap()
    except TypeError:
        pass
    else:
        if type(inner) is Result:
            return inner
        raise not_a("flatten() Ok's value", "a Result", inner)
    raise not_a("flatten() argument", "a Result", result)


def err_details[E](result: Result[Any, E]) -> E:
    """The details of an Err, typed as the Result's error type.

    An Ok, or an Err without details, raises ``ValueError``: the details are there only when
    given, whatever the annotation says.

    >>> err_details(from_exception(KeyError("id")))
    KeyError('id')
    >>> err_details(Result.err("no details"))
    Traceback (most recent call last):
      ...
    ValueError: Tried to read the details of an Err without details: no details
    """
    if type(result) is not Result:
        raise not_a("err_details() argument", "a Result", result)
    message, _, details = result.unwrap_err()
    if details is None:
        raise ValueError(f"Tried to read the details of an Err without details: {message}")
    return details


@overload
def ok_or[T](maybe: MayBe[T], message: str, code: str | None = None) -> Result[T]: ...
@overload
def ok_or[T, D](
    maybe: MayBe[T], message: str, code: str | None, details: D | None
) -> Result[T, D]: ...
@overload
def ok_or[T, D](
    maybe: MayBe[T], message: str, code: str | None = None, *, details: D | None
) -> Result[T, D]: ...
def ok_or(maybe: MayBe[Any], message: str, code: str | None = None, details: Any = None) -> Any:
    """A Just's object as an Ok, a Nothing as ``Result.err(message, code, details)``.

    >>> ok_or(MayBe("example.org"), "no host", "E_HOST")
    Ok(example.org)
    >>> ok_or(MayBe(None), "no host", "E_HOST")
    Err('no host', code='E_HOST')
    """
    try:
        if _IS_JUST(maybe):
            return Result.ok(maybe.unwrap())
    except TypeError:
        pass
    else:
        return Result.err(message, code, details)
    raise not_a("ok_or() argument", "a MayBe", maybe)


def to_maybe[T](result: Result[T, Any]) -> MayBe[T]:
    """An Ok's value as a Just (even ``None``), an Err as a Nothing.

    >>> to_maybe(Result.ok(None)), to_maybe(Result.err("gone"))
    (Just(None), Nothing)
    """
    try:
        ok = IS_OK(result)
    except TypeError:
        pass
    else:
        if ok:
            return MayBe.just(result.unwrap())
        return MayBe.nothing()
    raise not_a("to_maybe() argument", "a Result", result)


# Each count up to six has a form of its own, and the form for any count starts at seven: were
# it open to fewer, mypy would find two forms for a call whose details are Any (a Result[T], an
# Ok) and give Result[Any, Any].
@overload
def combine() -> Result[tuple[()], Never]: ...
@overload
def combine[A, E1](first: Result[A, E1], /) -> Result[tuple[A], E1]: ...
@overload
def combine[A, E1, B, E2](
    first: Result[A, E1], second: Result[B, E2], /
) -> Result[tuple[A, B], E1 | E2]: ...
@overload
def combine[A, E1, B, E2, C, E3](
    first: Result[A, E1], second: Result[B, E2], third: Result[C, E3], /
) -> Result[tuple[A, B, C], E1 | E2 | E3]: ...
@overload
def combine[A, E1, B, E2, C, E3, D, E4](
    first: Result[A, E1], second: Result[B, E2], third: Result[C, E3], fourth: Result[D, E4], /
) -> Result[tuple[A, B, C, D], E1 | E2 | E3 | E4]: ...
@overload
def combine[A, E1, B, E2, C, E3, D, E4, F, E5](
    first: Result[A, E1],
    second: Result[B, E2],
    third: Result[C, E3],
    fourth: Result[D, E4],
    fifth: Result[F, E5],
    /,
) -> Result[tuple[A, B, C, D, F], E1 | E2 | E3 | E4 | E5]: ...
@overload
def combine[A, E1, B, E2, C, E3, D, E4, F, E5, G, E6](
    first: Result[A, E1],
    second: Result[B, E2],
    third: Result[C, E3],
    fourth: Result[D, E4],
    fifth: Result[F, E5],
    sixth: Result[G, E6],
    /,
) -> Result[tuple[A, B, C, D, F, G], E1 | E2 | E3 | E4 | E5 | E6]: ...
@overload
def combine[T, E](
    first: Result[T, E],
    second: Result[T, E],
    third: Result[T, E],
    fourth: Result[T, E],
    fifth: Result[T, E],
    sixth: Result[T, E],
    seventh: Result[T, E],
    /,
    *results: Result[T, E],
) -> Result[tuple[T, ...], E]: ...
def combine(*results: Result[Any, Any]) -> Result[tuple[Any, ...], Any]:
    """An Ok of the tuple of every value, in order, or the first Err itself (zip of Results).

    >>> combine(Result.ok("ada"), Result.ok(36))
    Ok(('ada', 36))
    >>> combine(Result.ok("ada"), Result.err("no age"), Result.err("no mail"))
    Err('no age')
    """
    # A loop of its own, not collect's: a tuple cannot raise while iterated, so any exception
    # tells of a foreign item, and the loop need not tell one from the other.
    values: list[Any] = []
    unwrap = _UNWRAP_RESULT
    result: Any = None
    try:
        for result in results:
            if not result:
                break
            values.append(unwrap(result))
        else:
            return Result.ok(tuple(values))
    except Exception:
        pass
    if type(result) is Result:
        return result  # pyright: ignore[reportUnknownVariableType]  # Any, narrowed
    raise not_a(f"combine() argument {len(values) + 1}", "a Result", result)


def from_exception[X: BaseException](exc: X, code: str | None = None) -> Result[Never, X]:
    """The Err of an exception: ``Result.err(str(exc), code or its class name, exc)``.

    The message is made as ``catch`` makes it: always one an Err can hold, whatever the
    exception's ``str()`` does. The Err's details are typed as the exception's class.

    >>> failure = from_exception(KeyError("user 7"))
    >>> failure
    Err(''user 7'', code='KeyError')
    >>> failure.unwrap_err()[2]
    KeyError('user 7')
    """
    # For callers that no checker reads.
    if not isinstance(exc, BaseException):  # pyright: ignore[reportUnnecessaryIsInstance]
        raise TypeError(
            f"from_exception() argument must be an exception, not '{type(exc).__name__}'"
        )
    # The common case made as a hand-written Err is; failure_of makes the rest: a code given,
    # or a str() that raises or gives text that UTF-8 refuses, calling str() once more.
    if code is None:
        try:
            return Result.err(str(exc), type(exc).__name__, exc)
        except Exception:
            pass
    else:
        check_code(code, "from_exception")
    return failure_of(exc, code)


def unwrap_or_raise_as[T](
    result: Result[T, Any], exception: Callable[[str], BaseException]
) -> T:
    """The Ok's value; an Err raises ``exception(message)``, chained to its details.

    ``exception`` is an exception class (or any callable giving an exception) called with the
    Err's message; when the details are an exception, it becomes the ``__cause__``. Beside
    ``unwrap_or_raise``, which raises the details themselves.

    >>> unwrap_or_raise_as(Result.ok(3), LookupError)
    3
    >>> unwrap_or_raise_as(from_exception(KeyError("id")), LookupError)
    Traceback (most recent call last):
      ...
    LookupError: 'id'
    """
    if type(result) is not Result:
        raise not_a("unwrap_or_raise_as() argument", "a Result", result)
    if result:
        return result.unwrap()
    message, _, details = result.unwrap_err()
    del result
    raised = exception(message)
    if not issubclass(type(raised), BaseException):  # pyright: ignore[reportUnnecessaryIsInstance]
        raise TypeError(
            f"unwrap_or_raise_as() exception must give an exception, not '{type(raised).__name__}'"
        )
    cause = details if issubclass(type(details), BaseException) else None
    try:
        raise raised from cause
    finally:
        del raised, cause, details
