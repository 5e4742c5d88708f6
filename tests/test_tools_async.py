"""tolbrane_tools: map_async, and_then_async and the awaiting of many Results at once."""

import asyncio
import inspect
import re

import pytest

from tolbrane import Result
from tolbrane_tools import (
    Err,
    Ok,
    and_then_async,
    collect_async,
    gather_results,
    map_async,
    partition_async,
    view,
)


def raises_exact(exc_type, text):
    return pytest.raises(exc_type, match="^" + re.escape(text) + "$")


async def parse(text, delay=0.0):
    await asyncio.sleep(delay)
    return Result.ok(int(text)) if text.isdigit() else Result.err(f"bad {text}", "E_NUM")


async def double(n):
    await asyncio.sleep(0)
    return n * 2


ERR = Result.err("gone", "E_GONE")


@pytest.mark.parametrize("make, expected", [
    (lambda: map_async(Result.ok(4), double), Ok(8)),
    (lambda: and_then_async(Result.ok("5"), parse), Ok(5)),
    (lambda: and_then_async(Result.ok("x"), parse), Err("bad x", "E_NUM")),
])
def test_the_async_combinators_await_the_step(make, expected):
    assert view(asyncio.run(make())) == expected


@pytest.mark.parametrize("make", [lambda: map_async(ERR, double),
                                  lambda: and_then_async(ERR, parse)])
def test_an_err_is_given_back_itself_and_the_step_never_runs(make):
    assert asyncio.run(make()) is ERR


@pytest.mark.parametrize("make, text", [
    (lambda: and_then_async(Result.ok(1), double),
     "and_then_async() callable's result must be a Result, not 'int'"),
    (lambda: map_async(Ok(1), double),
     "map_async() argument must be a Result, not 'Ok' ('Ok' is a snapshot from "
     "tolbrane_tools.view, for match only: use Result.ok(...) or Result.err(...))"),
])
def test_the_async_combinators_refuse_with_a_whole_message(make, text):
    with raises_exact(TypeError, text):
        asyncio.run(make())


def test_gather_keeps_the_order_given_not_the_order_of_completion():
    got = asyncio.run(gather_results([parse("1", 0.02), parse("x", 0.01), parse("3", 0)]))
    assert [view(r) for r in got] == [Ok(1), Err("bad x", "E_NUM"), Ok(3)]
    assert view(asyncio.run(collect_async([parse("1", 0.02), parse("x", 0.01), parse("y")]))) \
        == Err("bad x", "E_NUM")
    assert view(asyncio.run(collect_async(parse(t) for t in "123"))) == Ok([1, 2, 3])
    assert view(asyncio.run(collect_async([]))) == Ok([])
    values, failures = asyncio.run(partition_async([parse("1"), parse("x"), parse("3")]))
    assert values == [1, 3] and [view(f) for f in failures] == [Err("bad x", "E_NUM")]


def test_the_awaitables_run_concurrently():
    async def main():
        loop = asyncio.get_running_loop()
        start = loop.time()
        await collect_async([parse("1", 0.2) for _ in range(5)])
        return loop.time() - start

    assert asyncio.run(main()) < 0.9  # one after another would take 1.0 s


def test_an_exception_cancels_the_others_and_comes_in_an_exception_group():
    cancelled = []

    async def slow():
        try:
            await asyncio.sleep(60)
        except asyncio.CancelledError:
            cancelled.append(True)
            raise

    async def broken():
        await asyncio.sleep(0)
        raise KeyError("k")

    with pytest.raises(ExceptionGroup) as info:
        asyncio.run(collect_async([slow(), broken()]))
    assert [type(e) for e in info.value.exceptions] == [KeyError] and cancelled == [True]


def test_cancelling_the_caller_cancels_every_awaitable():
    cancelled = []

    async def slow():
        try:
            await asyncio.sleep(60)
        except asyncio.CancelledError:
            cancelled.append(True)
            raise

    async def main():
        task = asyncio.create_task(collect_async([slow(), slow()]))
        await asyncio.sleep(0.01)
        task.cancel()
        with pytest.raises(asyncio.CancelledError):
            await task

    asyncio.run(main())
    assert cancelled == [True, True]


def test_a_coroutine_cancelled_before_it_ran_is_closed_not_left_never_awaited():
    coroutines = [parse("1"), parse("2")]

    def given():
        yield from coroutines
        raise KeyError("no more")  # the group cancels the tasks made so far, before they run

    with pytest.raises(ExceptionGroup) as info:
        asyncio.run(gather_results(given()))
    assert [type(exc) for exc in info.value.exceptions] == [KeyError]
    assert [inspect.getcoroutinestate(c) for c in coroutines] == ["CORO_CLOSED"] * 2


class Awaitable:
    """An awaitable that is no coroutine, as a future or a framework's handle."""

    def __await__(self):
        yield from asyncio.sleep(0).__await__()
        return Result.ok("awaited")


def test_gather_takes_awaitables_that_are_not_coroutines():
    assert [view(r) for r in asyncio.run(gather_results([Awaitable(), parse("1")]))] \
        == [Ok("awaited"), Ok(1)]


@pytest.mark.parametrize("tool", [gather_results, collect_async, partition_async])
def test_an_awaitable_that_gives_no_result_is_named(tool):
    async def plain():
        return 5

    with raises_exact(TypeError, f"{tool.__name__}() awaitable 1's result must be a Result, "
                                 "not 'int'"):
        asyncio.run(tool([parse("1"), plain()]))


@pytest.mark.parametrize("tool", [gather_results, collect_async, partition_async])
@pytest.mark.parametrize("given", [list, iter], ids=["list", "iterator"])
def test_with_eager_tasks_a_failure_at_the_first_step_comes_alone(tool, given):
    # An eager task runs its first step in create_task, so the group may be shutting down before
    # every awaitable has its task.
    async def fail_now():
        raise ValueError("first fails")

    coroutines = [fail_now(), parse("2"), parse("3")]

    async def main():
        asyncio.get_running_loop().set_task_factory(asyncio.eager_task_factory)
        await tool(given(coroutines))

    with pytest.raises(ExceptionGroup) as info:
        asyncio.run(main())
    assert [repr(exc) for exc in info.value.exceptions] == ["ValueError('first fails')"]
    assert [inspect.getcoroutinestate(c) for c in coroutines] == ["CORO_CLOSED"] * 3
