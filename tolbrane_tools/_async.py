"""Results with coroutines: map_async, and_then_async, and many awaitables at once.

``gather_results`` awaits many awaitables of Results in an ``asyncio.TaskGroup``:
an exception of one cancels the others and is raised in an ``ExceptionGroup``, and cancelling
the caller cancels them all, as with the TaskGroup a user would write. ``collect_async`` and
``partition_async`` then read the Results as ``collect`` and ``partition`` do.
"""

from collections.abc import Awaitable, Callable, Iterable
from typing import Any

from tolbrane import Result

from ._collections import collect, partition
from ._views import not_a


async def map_async[T, E, U](
    result: Result[T, E], func: Callable[[T], Awaitable[U]]
) -> Result[U, E]:
    """An Ok becomes ``Ok(await func(value))``; an Err is given back as it is.

    >>> import asyncio
    >>> async def fetch_length(url: str) -> int:
    ...     await asyncio.sleep(0)
    ...     return len(url)
    >>> asyncio.run(map_async(Result.ok("example.org"), fetch_length))
    Ok(11)
    """
    if type(result) is not Result:
        raise not_a("map_async() argument", "a Result", result)
    if not result:
        return result  # type: ignore[return-value]  # pyright: ignore[reportReturnType]  # an Err: no value in it
    return Result.ok(await func(result.unwrap()))


async def and_then_async[T, E, U, F](
    result: Result[T, E], func: Callable[[T], Awaitable[Result[U, F]]]
) -> Result[U, E | F]:
    """For an Ok, the Result of ``await func(value)``; an Err is given back as it is.

    >>> import asyncio
    >>> async def lookup(user_id: int) -> Result[str]:
    ...     await asyncio.sleep(0)
    ...     return Result.ok("ada") if user_id == 7 else Result.err("no such user")
    >>> asyncio.run(and_then_async(Result.ok(7), lookup))
    Ok(ada)
    """
    if type(result) is not Result:
        raise not_a("and_then_async() argument", "a Result", result)
    if not result:
        return result  # type: ignore[return-value]  # pyright: ignore[reportReturnType]  # an Err: no value in it
    following = await func(result.unwrap())
    if type(following) is not Result:
        raise not_a("and_then_async() callable's result", "a Result", following)
    return following


async def _awaited(awaitable: Awaitable[Any]) -> Any:
    return await awaitable


async def gather_results[T, E](awaitables: Iterable[Awaitable[Result[T, E]]]) -> list[Result[T, E]]:
    """Awaits every awaitable concurrently, in a TaskGroup: their Results, in order.

    An exception of one awaitable cancels the others and is raised in an ``ExceptionGroup``;
    an awaitable that gives something other than a Result raises ``TypeError`` after all have
    finished.

    >>> import asyncio
    >>> async def parse(text: str) -> Result[int]:
    ...     await asyncio.sleep(0)
    ...     return Result.ok(int(text)) if text.isdigit() else Result.err("not a number")
    >>> asyncio.run(gather_results([parse("1"), parse("x")]))
    [Ok(1), Err('not a number')]
    """
    return await _gathered(awaitables, "gather_results")


async def _gathered[T, E](
    awaitables: Iterable[Awaitable[Result[T, E]]], tool: str
) -> list[Result[T, E]]:
    import asyncio  # here: importing asyncio costs more than the rest of the toolkit together

    tasks: list[asyncio.Task[Result[T, E]]] = []
    async with asyncio.TaskGroup() as group:
        given = iter(awaitables)
        for awaitable in given:
            # A coroutine is its own task: wrapped in another, it would be left never awaited
            # when the group cancels that task before its first step.
            coroutine = awaitable if asyncio.iscoroutine(awaitable) else _awaited(awaitable)
            try:
                tasks.append(group.create_task(coroutine))
            except RuntimeError:
                # The group is shutting down: an eager task (asyncio.eager_task_factory) has
                # failed at its first step. What it will raise is that failure alone, and the
                # coroutines it will not run are closed, not left never awaited.
                coroutine.close()
                for rest in given:
                    if asyncio.iscoroutine(rest):
                        rest.close()
                break
    results = [task.result() for task in tasks]
    for index, result in enumerate(results):
        if type(result) is not Result:
            raise not_a(f"{tool}() awaitable {index}'s result", "a Result", result)
    return results


async def collect_async[T, E](awaitables: Iterable[Awaitable[Result[T, E]]]) -> Result[list[T], E]:
    """``Ok(list of the values)``, or the first Err in the order given, of concurrent awaitables.

    Awaited as ``gather_results`` does; every awaitable runs to its end.

    >>> import asyncio
    >>> async def parse(text: str) -> Result[int]:
    ...     await asyncio.sleep(0)
    ...     return Result.ok(int(text)) if text.isdigit() else Result.err("not a number")
    >>> asyncio.run(collect_async([parse("1"), parse("2")]))
    Ok([1, 2])
    """
    return collect(await _gathered(awaitables, "collect_async"))


async def partition_async[T, E](
    awaitables: Iterable[Awaitable[Result[T, E]]],
) -> tuple[list[T], list[Result[T, E]]]:
    """The Oks' values and the Errs of concurrent awaitables, as ``partition`` gives them.

    >>> import asyncio
    >>> async def parse(text: str) -> Result[int]:
    ...     await asyncio.sleep(0)
    ...     return Result.ok(int(text)) if text.isdigit() else Result.err("not a number")
    >>> asyncio.run(partition_async([parse("1"), parse("x"), parse("3")]))
    ([1, 3], [Err('not a number')])
    """
    return partition(await _gathered(awaitables, "partition_async"))
