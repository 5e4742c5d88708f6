"""tolbrane_tools: do-notation, sync (do, bind) and async (do_async, take)."""

import asyncio
import contextvars
import re

import pytest

from tolbrane import Result
from tolbrane_tools import Err, Ok, attempt, bind, do, do_async, take, view


def raises_exact(exc_type, text):
    return pytest.raises(exc_type, match="^" + re.escape(text) + "$")


def parse(text):
    return Result.ok(int(text)) if text.isdigit() else Result.err(f"not a number: {text}", "E_NUM")


@pytest.mark.parametrize("texts, expected", [
    (["1", "2", "3"], Ok(6)),
    (["1", "x", "y"], Err("not a number: x", "E_NUM")),
    (["x", "2", "3"], Err("not a number: x", "E_NUM")),
    ([], Ok(0)),
])
def test_do_stops_at_the_first_err_and_runs_no_later_step(texts, expected):
    steps = []

    @do
    def total(items):
        result = 0
        for text in items:
            steps.append(text)
            result += yield from bind(parse(text))
        return result

    assert view(total(texts)) == expected
    failed = [text for text in texts if not text.isdigit()]
    assert steps == (texts[:texts.index(failed[0]) + 1] if failed else texts)


def test_do_gives_back_the_very_err_and_runs_finally_clauses():
    failure = Result.err("stop", "E_STOP", {"at": 2})
    cleaned = []

    @do
    def steps():
        try:
            yield from bind(failure)
        finally:
            cleaned.append(True)
        return 1

    assert steps() is failure and cleaned == [True]


def test_do_lets_exceptions_through_and_keeps_the_function_s_name():
    @do
    def broken(text):
        """Docs."""
        yield from bind(Result.ok(1))
        raise KeyError(text)

    with pytest.raises(KeyError):
        broken("k")
    assert (broken.__name__, broken.__doc__) == ("broken", "Docs.")


@pytest.mark.parametrize("yielded, name", [(5, "int"), (Result.ok(1), "Result"), (Ok(1), "Ok")])
def test_do_refuses_a_bare_yield(yielded, name):
    @do
    def wrong():
        yield yielded
        return 1

    with raises_exact(TypeError, "a do function yields only through 'yield from bind(result)', "
                                 f"not '{name}'"):
        wrong()


@pytest.mark.parametrize("tool, func, text", [
    (do, lambda: 1, "do() needs a generator function, not '<lambda>'"),
    (do_async, lambda: 1, "do_async() needs an async def function, not '<lambda>'"),
    (do, int, "do() needs a generator function, not 'int'"),
])
def test_the_decorators_refuse_the_wrong_kind_of_function(tool, func, text):
    with raises_exact(TypeError, text):
        tool(func)


class _FalseyRaising:
    def __bool__(self):
        raise RuntimeError("truth asked of a foreign object")


_SNAPSHOT_ERR = ("bind() argument must be a Result, not 'Err' ('Err' is a snapshot from "
                 "tolbrane_tools.view, for match only: use Result.ok(...) or Result.err(...))")


@pytest.mark.parametrize("tool, text", [
    (lambda: list(bind(Ok(1))), "bind() argument must be a Result, not 'Ok' ('Ok' is a snapshot "
     "from tolbrane_tools.view, for match only: use Result.ok(...) or Result.err(...))"),
    (lambda: list(bind(Err("x"))), _SNAPSHOT_ERR),
    (lambda: list(bind(_FalseyRaising())), "bind() argument must be a Result, not '_FalseyRaising'"),
    (lambda: take(3), "take() argument must be a Result, not 'int'"),
    (lambda: take(Err("x")), _SNAPSHOT_ERR.replace("bind()", "take()")),
    (lambda: take(_FalseyRaising()), "take() argument must be a Result, not '_FalseyRaising'"),
])
def test_a_step_refuses_what_is_not_a_result(tool, text):
    # Whatever the object's truth does: the refusal comes first, with no other error behind it.
    with raises_exact(TypeError, text) as caught:
        tool()
    assert caught.value.__context__ is None


# --- do_async -----------------------------------------------------------------------------------
@pytest.mark.parametrize("texts, expected", [
    (["1", "2"], Ok(3)),
    (["1", "x"], Err("not a number: x", "E_NUM")),
])
def test_do_async_stops_at_the_first_err(texts, expected):
    reached = []

    @do_async
    async def total(items):
        result = 0
        for text in items:
            await asyncio.sleep(0)
            result += take(parse(text))
            reached.append(text)
        return result

    assert view(asyncio.run(total(texts))) == expected
    assert reached == [text for text in texts if text.isdigit()]


def test_do_async_is_not_stopped_by_the_function_s_own_except_exception():
    @do_async
    async def guarded():
        try:
            take(Result.err("stop"))
        except Exception:
            return "swallowed"
        return "went on"

    assert view(asyncio.run(guarded())) == Err("stop")


FIRST, SECOND = Result.err("first", "E_1"), Result.err("second", "E_2")


def swallowing_sync():
    name = "guest"
    try:
        name = yield from bind(FIRST)
    except BaseException:  # noqa: B036 - a bare except that logs and goes on
        pass
    return f"hello {name}"


async def swallowing_async():
    name = "guest"
    try:
        name = take(FIRST)
    except BaseException:  # noqa: B036
        pass
    return f"hello {name}"


def swallowing_then_failing_sync():
    try:
        yield from bind(FIRST)
    except BaseException:  # noqa: B036
        pass
    yield from bind(SECOND)


async def swallowing_then_failing_async():
    try:
        take(FIRST)
    except BaseException:  # noqa: B036
        pass
    take(SECOND)


def failing_again_in_finally_sync():
    try:
        yield from bind(FIRST)
    finally:
        yield from bind(SECOND)


async def failing_again_in_finally():
    try:
        take(FIRST)
    finally:
        await asyncio.sleep(0)
        take(SECOND)


@pytest.mark.parametrize("sync, coroutine", [
    (swallowing_sync, swallowing_async),
    (swallowing_then_failing_sync, swallowing_then_failing_async),
    (failing_again_in_finally_sync, failing_again_in_finally),
], ids=["swallowed", "swallowed, then another Err", "another Err in a finally clause"])
def test_the_first_err_taken_is_the_result_whatever_the_body_does_next(sync, coroutine):
    # A failure is never reported as a success: the first Err is the result in both forms.
    assert do(sync)() is FIRST
    assert asyncio.run(do_async(coroutine)()) is FIRST


# The garbage collector closes the generator left behind once more, and reports that close's
# RuntimeError, as it does for any generator that ignores its close.
@pytest.mark.filterwarnings("ignore::pytest.PytestUnraisableExceptionWarning")
def test_a_do_function_that_will_not_close_fails_as_close_fails_it():
    steps = []

    @do
    def stepping_without_end():
        while True:
            try:
                steps.append(True)
                yield from bind(FIRST)
            except BaseException:  # noqa: B036
                pass

    @do
    def yielding_on_the_way_out():
        try:
            yield from bind(FIRST)
        finally:
            yield 5

    for func in (stepping_without_end, yielding_on_the_way_out):
        with raises_exact(RuntimeError, "generator ignored GeneratorExit"):
            func()
    assert 2 < len(steps) < 200  # it stops


def test_an_exception_raised_on_the_way_out_of_a_do_function_passes_through():
    @do
    def steps():
        try:
            yield from bind(FIRST)
        finally:
            raise RuntimeError("cleanup failed")

    with raises_exact(RuntimeError, "cleanup failed"):
        steps()


async def lookup(key):
    await asyncio.sleep(0)
    return take(Result.err("no such key") if key == "bad" else Result.ok(key))


async def best_effort():
    found = await asyncio.gather(lookup("bad"), lookup("good"), return_exceptions=True)
    return [item for item in found if isinstance(item, str)]


async def in_the_background():
    task = asyncio.create_task(lookup("bad"))
    await asyncio.wait([task])
    return "done" if task.done() else "pending"


async def gathered_without_handling():
    return await asyncio.gather(lookup("bad"), lookup("good"))


@pytest.mark.parametrize("body, expected", [
    (best_effort, Ok(["good"])),
    (in_the_background, Ok("done")),
    (gathered_without_handling, Err("no such key")),
], ids=["failures gathered and dropped", "a task's failure left", "a task's failure raised"])
def test_an_err_taken_in_another_task_is_that_task_s_failure(body, expected):
    # The function's result is decided in its own task: what its tasks' failures do is its call.
    assert view(asyncio.run(do_async(body)())) == expected


def test_a_do_async_coroutine_closes_in_another_context():
    # As the garbage collector closes an abandoned task's coroutine: not where it ran.
    class Pause:
        def __await__(self):
            yield

    @do_async
    async def paused():
        await Pause()

    coroutine = paused()
    contextvars.copy_context().run(coroutine.send, None)
    coroutine.close()
    assert coroutine.cr_frame is None
    with raises_exact(ValueError, "Tried to unwrap an Err: outside"):
        take(Result.err("outside"))


async def take_in_body():
    async with asyncio.TaskGroup():
        take(Result.err("in the body"))


async def take_in_task():
    async def step():
        await asyncio.sleep(0)
        take(Result.err("in a task"))

    async with asyncio.TaskGroup() as group:
        group.create_task(step())
        group.create_task(asyncio.sleep(60))


async def take_in_nested_group():
    async with asyncio.TaskGroup() as group:
        group.create_task(take_in_task())


@pytest.mark.parametrize("body, expected", [
    (take_in_body, Err("in the body")),
    (take_in_task, Err("in a task")),
    (take_in_nested_group, Err("in a task")),
])
def test_do_async_gives_the_err_taken_inside_a_task_group(body, expected):
    @do_async
    async def steps():
        await body()
        return "went on"

    assert view(asyncio.run(steps())) == expected


def test_do_async_lets_the_other_exceptions_of_a_task_group_through():
    async def fail():
        raise KeyError("k")

    async def stop():
        take(Result.err("stop"))  # in the same round as fail(), before the group cancels it

    @do_async
    async def steps():
        async with asyncio.TaskGroup() as group:
            group.create_task(fail())
            group.create_task(stop())

    with pytest.raises(ExceptionGroup) as info:
        asyncio.run(steps())
    assert [type(exc) for exc in info.value.exceptions] == [KeyError]

    @do_async
    async def only_exceptions():
        await fail()

    with pytest.raises(KeyError):
        asyncio.run(only_exceptions())


def test_take_outside_do_async_raises_as_unwrap():
    with raises_exact(ValueError, "Tried to unwrap an Err: stop"):
        take(Result.err("stop"))
    assert take(Result.ok(2)) == 2

    @do_async
    async def inner():
        return take(Result.err("inner"))

    async def outer():
        await inner()
        take(Result.err("after"))  # the inner function has ended: no do_async around this

    with raises_exact(ValueError, "Tried to unwrap an Err: after"):
        asyncio.run(outer())


def test_do_async_lets_cancellation_and_exceptions_through():
    @do_async
    async def slow():
        await asyncio.sleep(60)

    async def main():
        task = asyncio.create_task(slow())
        await asyncio.sleep(0)
        task.cancel()
        with pytest.raises(asyncio.CancelledError):
            await task

    asyncio.run(main())

    @do_async
    async def broken():
        raise KeyError("k")

    with pytest.raises(KeyError):
        asyncio.run(broken())


def test_do_async_composes_with_attempt():
    @do_async
    async def ratio(a, b):
        return take(attempt(int, a)) / take(attempt(int, b))

    assert asyncio.run(ratio("1", "4")).unwrap() == 0.25
    assert asyncio.run(ratio("1", "z")).unwrap_err()[1] == "ValueError"
