"""Do-notation: sequential steps that stop at the first Err, typed without a checker plugin.

Sync: a generator function decorated with ``do``, each step ``x = yield from bind(r)``; the
function's return value becomes the Ok. ``yield from`` gives each bound value its type in every
checker, from the generator type that ``bind`` returns. Async generators cannot return a value,
so the async form is a coroutine function decorated with ``do_async`` whose steps are
``x = take(r)``: an Err leaves the function through an exception of tolbrane_tools' own, which
the decorator turns back into that Err.
"""

import contextvars
import functools
import inspect
import sys
from collections.abc import Callable, Coroutine, Generator
from typing import Any, Never

from tolbrane import Result

from ._idioms import IS_OK
from ._views import not_a

# The return annotation of a do function that gives T, its steps failing with details E.
type Do[T, E] = Generator[Result[Never, E], Any, T]

# The do_async function that runs in the current context, None outside one: take() raises _Exit
# only inside one. An Err taken in the function's own task is recorded, and the first is the
# function's result even when its code catches the _Exit (a bare except), as a do function's
# result is the first Err it yields. A task started inside shares the context but not the task:
# an Err taken there ends that task, whose failure is the function's own to handle.
type _Taken = list[Result[Never, Any]]
type _Run = tuple[_Taken, object]
_running: contextvars.ContextVar[_Run | None] = contextvars.ContextVar(
    "tolbrane_tools_do_async", default=None
)


def _current_task() -> object:
    # None where no asyncio loop runs (a coroutine driven by hand, another event loop).
    asyncio = sys.modules.get("asyncio")
    if asyncio is None:
        return None
    try:
        return asyncio.current_task()
    except RuntimeError:
        return None


def bind[T, E](result: Result[T, E]) -> Generator[Result[Never, E], Any, T]:
    """One step of a ``do`` function: ``value = yield from bind(result)``.

    For an Ok, the value, at once; for an Err, the ``do`` function stops and returns that Err.

    >>> from tolbrane_tools import attempt
    >>> @do
    ... def double(text: str) -> Do[int, Any]:
    ...     number = yield from bind(attempt(int, text))
    ...     return number * 2
    >>> double("21"), double("x")
    (Ok(42), Err('invalid literal for int() with base 10: 'x'', code='ValueError'))
    """
    try:
        if IS_OK(result):
            return result.unwrap()
    except TypeError:
        pass
    else:
        yield result  # type: ignore[misc]  # pyright: ignore[reportReturnType]  # an Err
        return result.unwrap()  # resumed by hand after its Err: raises, as unwrap() does
    raise not_a("bind() argument", "a Result", result)


def _refuse(func: Callable[..., Any], tool: str, fits: bool, wanted: str) -> None:
    # Checked at decoration: the other kind of function would fail only at its first call.
    if not fits:
        name = getattr(func, "__qualname__", None) or type(func).__qualname__
        raise TypeError(f"{tool}() needs {wanted}, not '{name}'")


def do[**P, T, E](func: Callable[P, Do[T, E]]) -> Callable[P, Result[T, E]]:
    """Runs a generator function of ``yield from bind(...)`` steps, giving a Result.

    The function's return value becomes the Ok; the first step on an Err stops it (its
    ``finally`` clauses run) and that Err is the result, whatever the function does on its way
    out. Exceptions pass through unchanged.

    >>> from tolbrane_tools import attempt
    >>> @do
    ... def ratio(a: str, b: str) -> Do[float, Any]:
    ...     top = yield from bind(attempt(int, a))
    ...     bottom = yield from bind(attempt(int, b))
    ...     return top / bottom
    >>> ratio("3", "4")
    Ok(0.75)
    >>> ratio("3", "four").unwrap_err()[1]
    'ValueError'
    """
    _refuse(func, "do", inspect.isgeneratorfunction(func), "a generator function")

    @functools.wraps(func)
    def run(*args: P.args, **kwargs: P.kwargs) -> Result[T, E]:
        steps = func(*args, **kwargs)
        try:
            failure = next(steps)
        except StopIteration as stop:
            return Result.ok(stop.value)
        try:
            steps.close()
        except RuntimeError:
            if not _at_a_step(steps):
                raise
            stepped_again = True
        else:
            stepped_again = False
        if stepped_again:  # out of the handler: what the function raises then is not chained to it
            _close_past_steps(steps)
        if type(failure) is not Result or failure:
            raise TypeError(
                f"a do function yields only through 'yield from bind(result)', "
                f"not '{type(failure).__name__}'"
            )
        return failure

    return run


# How many more steps on an Err a do function may take on its way out, each closed in turn,
# before it counts as a generator that ignores its close.
_STEPS_ON_THE_WAY_OUT = 100


def _at_a_step(steps: Generator[Any, Any, Any]) -> bool:
    # Suspended in `yield from bind(...)`, which yields nothing but an Err.
    inner: object = getattr(steps, "gi_yieldfrom", None)
    return (inspect.getgeneratorstate(steps) == inspect.GEN_SUSPENDED
            and getattr(inner, "gi_code", None) is bind.__code__)


def _close_past_steps(steps: Generator[Any, Any, Any]) -> None:
    """Closes a generator that stepped on another Err on its way out (a finally clause, an except
    that took the close): the first Err stays the result, as it does in a do_async function. A
    bare yield there, or steps without end, fail as close() fails them."""
    for _ in range(_STEPS_ON_THE_WAY_OUT):
        try:
            steps.throw(GeneratorExit())
        except (GeneratorExit, StopIteration):
            return
        if not _at_a_step(steps):
            break
    raise RuntimeError("generator ignored GeneratorExit")


class _Exit(BaseException):
    """Carries an Err out of a do_async function; a BaseException, so that no handler of the
    function's own ``except Exception`` takes it."""

    def __init__(self, failure: Result[Never, Any]) -> None:
        super().__init__()
        self.failure = failure


def take[T, E](result: Result[T, E]) -> T:
    """One step of a ``do_async`` function: the Ok's value, or the Err ends the function.

    Outside a ``do_async`` function, an Err raises ``ValueError`` as ``unwrap()`` does. Call it
    in the function's own code (or what it calls and awaits): a task started inside the function
    inherits its context, and an Err taken there would end that task, not the function.

    >>> import asyncio
    >>> from tolbrane_tools import attempt
    >>> @do_async
    ... async def half(text: str) -> int:
    ...     number = take(attempt(int, text))
    ...     await asyncio.sleep(0)
    ...     return number // 2
    >>> asyncio.run(half("8")), asyncio.run(half("eight")).unwrap_err()[1]
    (Ok(4), 'ValueError')
    """
    try:
        if IS_OK(result):
            return result.unwrap()
    except TypeError:
        pass
    else:
        run = _running.get()
        if run is None:
            return result.unwrap()  # raises
        taken, task = run
        if task is _current_task():
            taken.append(result)  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]  # an Err
        raise _Exit(result)  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
    raise not_a("take() argument", "a Result", result)


def do_async[**P, T](
    func: Callable[P, Coroutine[Any, Any, T]],
) -> Callable[P, Coroutine[Any, Any, Result[T]]]:
    """Runs a coroutine function of ``take(...)`` steps: its coroutine gives a Result.

    The return value becomes the Ok; the first ``take`` of an Err ends the function and that
    Err is the result, even when the function's own code catches what ends it (a bare
    ``except``). Exceptions and cancellation pass through unchanged.

    >>> import asyncio
    >>> from tolbrane_tools import attempt
    >>> @do_async
    ... async def total(a: str, b: str) -> int:
    ...     first = take(attempt(int, a))
    ...     second = take(attempt(int, b))
    ...     return first + second
    >>> asyncio.run(total("1", "2")), asyncio.run(total("1", "x")).is_err()
    (Ok(3), True)
    """
    _refuse(func, "do_async", inspect.iscoroutinefunction(func), "an async def function")

    @functools.wraps(func)
    async def run(*args: P.args, **kwargs: P.kwargs) -> Result[T]:
        taken: _Taken = []
        token = _running.set((taken, _current_task()))
        try:
            value = await func(*args, **kwargs)
        except _Exit as exit_:
            failure = exit_.failure
            del exit_
            return taken[0] if taken else failure
        except BaseExceptionGroup as group:
            # A take() in an asyncio.TaskGroup, in its body or in one of its tasks, reaches here
            # wrapped in the group's exception.
            exits, others = group.split(_Exit)
            if exits is None:
                raise
            del group
        else:
            return taken[0] if taken else Result.ok(value)
        finally:
            _leave(token)
        # Raised outside the handler, so as not to chain the group holding the _Exit to it; no
        # reference left here to what holds this frame's traceback (see the _Exit case).
        try:
            if others is not None:
                raise others
            return taken[0] if taken else _first_exit(exits).failure
        finally:
            del exits, others

    return run


def _leave(token: contextvars.Token[_Run | None]) -> None:
    try:
        _running.reset(token)
    except ValueError:
        # Closed in a context other than the one it ran in (an abandoned coroutine that the
        # garbage collector closes): that context never had the value set, so there is nothing
        # to undo, and the close must not fail.
        pass


def _first_exit(group: BaseExceptionGroup[_Exit]) -> _Exit:
    # The group holds nothing but _Exit leaves, perhaps in nested groups.
    first = group.exceptions[0]
    return first if isinstance(first, _Exit) else _first_exit(first)

