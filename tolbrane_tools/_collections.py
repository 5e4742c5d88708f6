"""Many Results or MayBes at once: collect, partition, oks, errs and values."""

from collections.abc import Callable, Iterable, Iterator
from typing import Any, overload

from tolbrane import MayBe, Result

from ._views import advice

_END: Any = object()

# Called as functions, the methods test the type of their argument as they run: a TypeError for
# anything but an instance of their class.
_IS_OK: Callable[[Any], bool] = Result[Any].is_ok
_IS_JUST: Callable[[Any], bool] = MayBe[Any].is_just
_UNWRAP_RESULT: Callable[[Any], Any] = Result[Any].unwrap
_UNWRAP_MAYBE: Callable[[Any], Any] = MayBe[Any].unwrap


def _mismatch(function: str, index: int, expected: str, item: object) -> TypeError:
    return TypeError(f"{function}() item {index}: expected {expected}, "
                     f"got '{type(item).__name__}'{advice(item)}")


@overload
def collect[T, E](
    iterable: Iterable[Result[T, E]], *, kind: type[Result[Any]] | None = None
) -> Result[list[T], E]: ...
@overload
def collect[T](iterable: Iterable[MayBe[T]], *, kind: type[MayBe[Any]]) -> MayBe[list[T]]: ...
def collect(iterable: Iterable[Any], *, kind: type[Any] | None = None) -> Any:
    """All the values, or the first failure: ``Ok(list)`` or an Err, ``Just(list)`` or Nothing.

    For Results: an Ok holding the list of the Oks' values, in order, or the first Err itself.
    For MayBes: a Just holding the list of the held objects, or the first Nothing itself.
    Consumption stops at that first Err or Nothing. The items must be all Results or all
    MayBes; the first item tells which, and ``kind`` (``Result`` or ``MayBe``) says it ahead:
    pass ``kind=MayBe`` for MayBes, or an empty iterable gives ``Ok([])``. A mixture, or an
    item of neither type, raises ``TypeError``.

    >>> collect([Result.ok(1), Result.ok(2)])
    Ok([1, 2])
    >>> collect([Result.ok(1), Result.err("no"), Result.err("later")])
    Err('no')
    >>> collect([MayBe(1), MayBe(2)], kind=MayBe)
    Just([1, 2])
    >>> collect([], kind=MayBe)
    Just([])
    """
    if kind is not None and kind is not Result and kind is not MayBe:
        raise TypeError(f"collect() kind must be Result or MayBe, not {kind!r}")
    items = iter(iterable)
    values: list[Any] = []
    append = values.append
    if kind is None:
        first: Any = next(items, _END)
        if first is _END:
            return Result.ok(values)
        # type(), not __class__, which an object may spoof
        kind = type(first)  # pyright: ignore[reportUnknownVariableType]  # first is Any
        if kind is not Result and kind is not MayBe:
            raise _mismatch("collect", 0, "a Result or a MayBe", first)
        if not first:
            return first
        append(first.unwrap())
    if kind is Result:
        is_present, unwrap, name = _IS_OK, _UNWRAP_RESULT, "a Result"
    else:
        is_present, unwrap, name = _IS_JUST, _UNWRAP_MAYBE, "a MayBe"
    # The loop needs no type test of its own (see _IS_OK); the item at hand tells a TypeError
    # about it from one raised by the iterable.
    item: Any = _END
    try:
        for item in items:
            if not is_present(item):
                return item
            append(unwrap(item))
    except TypeError:
        if item is _END or type(item) is kind:
            raise
        raise _mismatch("collect", len(values), name, item) from None
    if kind is Result:
        return Result.ok(values)
    return MayBe.just(values)


def partition[T, E](iterable: Iterable[Result[T, E]]) -> tuple[list[T], list[Result[T, E]]]:
    """The Oks' values and the Errs, as two lists, each in the order of the iterable.

    >>> values, failures = partition([Result.ok(1), Result.err("no"), Result.ok(3)])
    >>> values, failures
    ([1, 3], [Err('no')])
    """
    values: list[T] = []
    failures: list[Result[T, E]] = []
    keep_value = values.append
    keep_failure = failures.append
    is_ok, unwrap = _IS_OK, _UNWRAP_RESULT
    item: Any = _END
    try:
        for item in iterable:
            if is_ok(item):
                keep_value(unwrap(item))
            else:
                keep_failure(item)
    except TypeError:  # see collect
        if item is _END or type(item) is Result:
            raise
        raise _mismatch("partition", len(values) + len(failures), "a Result", item) from None
    return values, failures


def oks[T](iterable: Iterable[Result[T, Any]]) -> Iterator[T]:
    """The Oks' values, lazily, skipping the Errs.

    >>> list(oks([Result.ok(1), Result.err("no"), Result.ok(3)]))
    [1, 3]
    """
    for index, item in enumerate(iterable):
        if type(item) is not Result:
            raise _mismatch("oks", index, "a Result", item)
        if item:
            yield item.unwrap()


def errs[T, E](iterable: Iterable[Result[T, E]]) -> Iterator[Result[T, E]]:
    """The Errs themselves, lazily, skipping the Oks.

    >>> [failure.unwrap_err()[0] for failure in errs([Result.ok(1), Result.err("no")])]
    ['no']
    """
    for index, item in enumerate(iterable):
        if type(item) is not Result:
            raise _mismatch("errs", index, "a Result", item)
        if not item:
            yield item


def values[T](iterable: Iterable[MayBe[T]]) -> Iterator[T]:
    """The held objects of the Justs, lazily, skipping the Nothings.

    >>> list(values([MayBe(1), MayBe(None), MayBe.just(None)]))
    [1, None]
    """
    for index, item in enumerate(iterable):
        if type(item) is not MayBe:
            raise _mismatch("values", index, "a MayBe", item)
        if item:
            yield item.unwrap()
