"""Many Results or MayBes at once: collect, partition, oks, errs and values."""

import itertools
from collections.abc import Callable, Iterable, Iterator
from typing import Any, cast, overload

from tolbrane import MayBe, Result

from ._views import advice

END: Any = object()

# Called as functions, the methods test the type of their argument as they run: a TypeError for
# anything but an instance of their class. The loops below test truth first (cheaper than a method
# call) and leave the type test to these, on the present ones, and to type(), on the others.
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
    if kind is None:
        first: Any = next(items, END)
        if first is END:
            return Result.ok(values)
        # type(), not __class__, which an object may spoof
        kind = type(first)  # pyright: ignore[reportUnknownVariableType]  # first is Any
        if kind is not Result and kind is not MayBe:
            raise _mismatch("collect", 0, "a Result or a MayBe", first)
        if not first:
            return first
        values.append(first.unwrap())
    unwrap, name = (_UNWRAP_RESULT, "a Result") if kind is Result else (_UNWRAP_MAYBE, "a MayBe")
    item = gather(items, kind, unwrap, values)
    if item is END:
        return Result.ok(values) if kind is Result else MayBe.just(values)
    if type(item) is kind:
        return item  # pyright: ignore[reportUnknownVariableType]  # Any, narrowed
    raise _mismatch("collect", len(values), name, item)


def gather(
    items: Iterable[Any], kind: type[Any], unwrap: Callable[[Any], Any], values: list[Any]
) -> Any:
    """Appends the values of the present items to ``values``, up to the first other item.

    Gives that item (an absent one of ``kind``, an Err or a Nothing, or one of another type), or
    ``END`` when the items run out.
    """
    # The item at hand tells an exception about it (its truth, or unwrap's type test) from one
    # raised by the iterable.
    item: Any = END
    try:
        for item in items:
            if item:
                values.append(unwrap(item))
            else:
                return item
        return END
    except Exception:
        if item is END or type(item) is kind:
            raise
    return item


def partition[T, E](iterable: Iterable[Result[T, E]]) -> tuple[list[T], list[Result[T, E]]]:
    """The Oks' values and the Errs, as two lists, each in the order of the iterable.

    >>> values, failures = partition([Result.ok(1), Result.err("no"), Result.ok(3)])
    >>> values, failures
    ([1, 3], [Err('no')])
    """
    values: list[T] = []
    failures: list[Result[T, E]] = []
    unwrap = _UNWRAP_RESULT
    item: Any = END
    try:  # see collect
        for item in iterable:
            if item:
                values.append(unwrap(item))
            elif type(item) is Result:
                failures.append(item)  # pyright: ignore[reportUnknownArgumentType]  # Any, narrowed
            else:
                break
        else:
            return values, failures
    except Exception:
        if item is END or type(item) is Result:  # pyright: ignore[reportUnknownArgumentType]  # Any, narrowed
            raise
    raise _mismatch("partition", len(values) + len(failures), "a Result", item) from None


# A list's or a tuple's iterator knows its position, so only other iterators are counted: counting
# every item costs as much as the rest of the loop.
_POSITIONED: tuple[type[Iterator[Any]], ...] = (type(iter([])), type(iter(())))


def _position(items: Iterator[Any]) -> int:
    # The third item of the iterator's __reduce__(), which an exhausted one leaves out.
    state = items.__reduce__()
    return cast(int, state[2]) if len(state) > 2 else 0


def _present(
    function: str, kind: type[Any], unwrap: Callable[[Any], Any], iterable: Iterable[Any]
) -> Iterator[Any]:
    # The values of the present items of kind, lazily: oks's and values's loop (see collect).
    items = iter(iterable)
    counter = None
    start = 0
    if type(items) in _POSITIONED:
        start = _position(items)
    else:
        counter = itertools.count(1)
        items = itertools.compress(items, counter)  # every count is true: it only counts
    item: Any = END
    try:
        for item in items:
            if item:
                yield unwrap(item)
            elif type(item) is not kind:
                break
        else:
            return
    except Exception:
        if item is END or type(item) is kind:
            raise
    taken = next(counter) - 1 if counter is not None else _position(items) - start
    raise _mismatch(
        function, taken - 1, "a Result" if kind is Result else "a MayBe", item
    ) from None


def oks[T](iterable: Iterable[Result[T, Any]]) -> Iterator[T]:
    """The Oks' values, lazily, skipping the Errs.

    >>> list(oks([Result.ok(1), Result.err("no"), Result.ok(3)]))
    [1, 3]
    """
    return _present("oks", Result, _UNWRAP_RESULT, iterable)


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
    return _present("values", MayBe, _UNWRAP_MAYBE, iterable)
