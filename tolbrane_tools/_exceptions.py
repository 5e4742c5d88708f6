"""Exceptions into Results and back: catch, attempt and unwrap_or_raise."""

import functools
import inspect
from collections.abc import Callable, Coroutine
from typing import TYPE_CHECKING, Any, Generic, final, overload

from tolbrane import Result

# Catcher[X] is generic in the exceptions it catches, the details of its Errs; a bare Catcher is
# Catcher[Any], as a bare Result is Result[T, Any].
if TYPE_CHECKING:
    from typing_extensions import TypeVar

    _X_co = TypeVar("_X_co", bound=BaseException, covariant=True, default=Any)
else:
    from typing import TypeVar

    _X_co = TypeVar("_X_co", bound=BaseException, covariant=True)

from ._views import not_a


@final
class _NoValue:
    """What no function returns: in catch's and attempt's forms, only a return of Any fits it."""


def failure_of(exc: BaseException, code: str | None) -> Result[Any]:
    """The Err of a caught exception: its message, the code or its class name, and itself.

    The message is ``str(exc)`` made safe to store: an exception whose ``__str__`` raises gives
    ``<unprintable ClassName object>``, and characters that UTF-8 cannot encode (a lone
    surrogate, as a ``surrogateescape``-decoded file name has) are backslash-escaped,
    ``\\udcff``. So the Err can always be made, and the caught exception is never replaced.
    """
    try:
        message = str(exc)
    except Exception:
        message = f"<unprintable {type(exc).__name__} object>"
    code = code or type(exc).__name__
    try:
        return Result.err(message, code, exc)
    except UnicodeEncodeError:
        # The Err copies the text as UTF-8, which refuses a lone surrogate and nothing else.
        message = str.encode(message, "utf-8", "backslashreplace").decode("utf-8")
        return Result.err(message, code, exc)


@final
class Catcher(Generic[_X_co]):
    """The decorator that ``catch(...)`` returns; it applies to plain and ``async`` functions.

    >>> handle_io = catch(OSError, code="E_IO")
    >>> handle_io
    catch(OSError, code='E_IO')
    >>> handle_io(open)("/nonexistent/file").unwrap_err()[1]
    'E_IO'
    """

    __slots__ = ("_code", "_exceptions")

    def __init__(self, exceptions: tuple[type[BaseException], ...], code: str | None) -> None:
        self._exceptions = exceptions
        self._code = code

    def __repr__(self) -> str:
        names = [exception.__qualname__ for exception in self._exceptions]
        if self._code is not None:
            names.append(f"code={self._code!r}")
        return f"catch({', '.join(names)})"

    # A coroutine function also matches the last form, with a coroutine as its value: the async
    # form is the one that applies to it, which is what the overlap warnings are about. The
    # first form takes a function that returns Any (json.loads, an untyped library), which would
    # otherwise fit the async form, and makes it a plain one, as it is at run time.
    @overload
    def __call__[**P](self, func: Callable[P, _NoValue], /) -> Callable[P, Result[Any, _X_co]]: ...
    @overload
    def __call__[**P, T](  # type: ignore[overload-overlap]  # pyright: ignore[reportOverlappingOverload]
        self, func: Callable[P, Coroutine[Any, Any, T]], /
    ) -> Callable[P, Coroutine[Any, Any, Result[T, _X_co]]]: ...
    @overload
    def __call__[**P, T](self, func: Callable[P, T], /) -> Callable[P, Result[T, _X_co]]: ...
    def __call__(self, func: Callable[..., Any], /) -> Callable[..., Any]:
        _refuse_uncallable(func)
        _refuse_generator_function("catch", func)
        coroutine = inspect.iscoroutinefunction(func)
        wrapper = _exact_wrapper(func, self._exceptions, self._code, coroutine)
        if wrapper is None:
            wrapper = (_any_coroutine_wrapper if coroutine else _any_wrapper)(
                func, self._exceptions, self._code)
        return functools.wraps(func)(wrapper)


class _Name:
    """A default value that a signature prints as the name it has in the generated code."""

    def __init__(self, name: str) -> None:
        self.name = name

    def __repr__(self) -> str:
        return self.name


# The wrapper's default for a parameter that may have one: the call then reads the function's
# own default as it is at that moment, as the function would (its __defaults__ and __kwdefaults__
# may be reassigned after decoration).
_UNSET: Any = _Name("_catch_unset")


def _listed(names: list[str]) -> str:
    quoted = [f"'{name}'" for name in names]
    if len(quoted) < 3:
        return " and ".join(quoted)
    return ", ".join(quoted[:-1]) + ", and " + quoted[-1]


def _missing(func: Callable[..., Any], kind: str, names: list[str]) -> TypeError:
    """The TypeError a Python function raises for required arguments left out of a call."""
    plural = "s" if len(names) > 1 else ""
    return TypeError(f"{func.__qualname__}() missing {len(names)} required {kind} "
                     f"argument{plural}: {_listed(names)}")


def _filler(
    func: Callable[..., Any], positions: list[tuple[str, int | None]], count: int
) -> Callable[..., tuple[Any, ...]]:
    """Replaces each _UNSET among the arguments by the function's current default for it.

    positions names each parameter that the wrapper gives the _UNSET default, with its index
    among the ``count`` positional parameters (None for a keyword-only one).
    """
    def fill(*given: Any) -> tuple[Any, ...]:
        defaults: tuple[Any, ...] = getattr(func, "__defaults__", None) or ()
        keyword_defaults: dict[str, Any] = getattr(func, "__kwdefaults__", None) or {}
        first_default = count - len(defaults)
        filled: list[Any] = []
        positional: list[str] = []
        keyword: list[str] = []
        for value, (name, index) in zip(given, positions, strict=True):
            if value is not _UNSET:
                filled.append(value)
            elif index is None:
                if name in keyword_defaults:
                    filled.append(keyword_defaults[name])
                else:
                    keyword.append(name)
            elif index >= first_default:
                filled.append(defaults[index - first_default])
            else:
                positional.append(name)
        if positional:
            raise _missing(func, "positional", positional)
        if keyword:
            raise _missing(func, "keyword-only", keyword)
        return tuple(filled)

    return fill


def _exact_wrapper(
    func: Callable[..., Any],
    exceptions: tuple[type[BaseException], ...],
    code: str | None,
    coroutine: bool,
) -> Callable[..., Any] | None:
    """A wrapper with the parameters of a Python function, or None for any other callable.

    With the same parameters, a call passes its arguments straight through: packing them into
    *args and **kwargs and unpacking them again costs as much as the rest of the call.
    """
    if not inspect.isfunction(func) or "__signature__" in vars(func):
        return None
    signature = inspect.signature(func, follow_wrapped=False)
    if any(name.startswith("_catch_") for name in signature.parameters):
        return None
    declared: list[inspect.Parameter] = []
    passed: list[str] = []
    defaulted: list[tuple[str, int | None]] = []
    count = 0
    for parameter in signature.parameters.values():
        name, kind = parameter.name, parameter.kind
        default = parameter.default
        # A keyword-only parameter may gain a default later, a positional one only if it has one
        # now: with more optional positional parameters, the wrapper would word the error for
        # too many arguments differently from the function.
        if default is not parameter.empty or kind is parameter.KEYWORD_ONLY:
            default = _UNSET
            defaulted.append((name, None if kind is parameter.KEYWORD_ONLY else count))
        declared.append(parameter.replace(annotation=parameter.empty, default=default))
        if kind is parameter.VAR_POSITIONAL:
            passed.append(f"*{name}")
        elif kind is parameter.KEYWORD_ONLY:
            passed.append(f"{name}={name}")
        elif kind is parameter.VAR_KEYWORD:
            passed.append(f"**{name}")
        else:
            passed.append(name)
            count += 1
    namespace: dict[str, Any] = {
        "_catch_func": func,
        "_catch_ok": Result.ok,
        "_catch_failure": failure_of,
        "_catch_exceptions": exceptions,
        "_catch_code": code,
        "_catch_unset": _UNSET,
        "_catch_fill": _filler(func, defaulted, count),
    }
    head = str(signature.replace(parameters=declared, return_annotation=signature.empty))
    call = f"{'await ' if coroutine else ''}_catch_func({', '.join(passed)})"
    lines = [f"{'async ' if coroutine else ''}def catching{head}:"]
    if defaulted:
        names = [name for name, _ in defaulted]
        lines += [
            f"    if {' or '.join(f'{name} is _catch_unset' for name in names)}:",
            f"        {', '.join(names)}, = _catch_fill({', '.join(names)})",
        ]
    lines += [
        "    try:",
        f"        return _catch_ok({call})",
        "    except _catch_exceptions as _catch_exc:",
        "        return _catch_failure(_catch_exc, _catch_code)",
        "",
    ]
    # The wrapper is defined among locals of its own, outside the globals it reads: there it would
    # make a cycle, and what a decorated closure holds would wait for the garbage collector.
    defined: dict[str, Any] = {}
    exec(compile("\n".join(lines), f"<catch {func.__qualname__}>", "exec"), namespace, defined)
    wrapper: Callable[..., Any] = defined["catching"]
    return wrapper


def _any_wrapper(
    func: Callable[..., Any], exceptions: tuple[type[BaseException], ...], code: str | None
) -> Callable[..., Any]:
    def catching(*args: Any, **kwargs: Any) -> Result[Any]:
        try:
            return Result.ok(func(*args, **kwargs))
        except exceptions as exc:
            return failure_of(exc, code)

    return catching


def _any_coroutine_wrapper(
    func: Callable[..., Any], exceptions: tuple[type[BaseException], ...], code: str | None
) -> Callable[..., Any]:
    async def catching(*args: Any, **kwargs: Any) -> Result[Any]:
        try:
            return Result.ok(await func(*args, **kwargs))
        except exceptions as exc:
            return failure_of(exc, code)

    return catching


def _refuse_uncallable(func: object) -> None:
    # Refused when decorating: the wrapper would fail at every call, and under catch() the
    # TypeError of that call would even come back as an Err. A staticmethod can be called, but
    # the plain function that wraps it would be bound to the instance as a method.
    name = type(func).__name__
    if isinstance(func, (classmethod, staticmethod, property)):
        raise TypeError(f"catch() cannot take a '{name}' object: write @{name} above "
                        "@catch(...), which then takes the function")
    if not callable(func):
        raise TypeError(f"catch() needs a callable, not '{name}'")


def _refuse_generator_function(tool: str, func: Callable[..., Any]) -> None:
    # Such a call only makes the generator: what it raises comes later, while it is iterated,
    # where no Result can carry it.
    if inspect.isgeneratorfunction(func):
        kind = "generator"
    elif inspect.isasyncgenfunction(func):
        kind = "async generator"
    else:
        return
    while isinstance(func, functools.partial):
        func = func.func
    name = getattr(func, "__qualname__", None) or type(func).__qualname__
    raise TypeError(
        f"{tool}() cannot take the {kind} function '{name}': its exceptions are raised while "
        "it is iterated, after the call has returned; catch them in a function that iterates it"
    )


def _check_exception_class(position: int, exception: object) -> None:
    if isinstance(exception, type):
        if issubclass(exception, BaseException):
            return
        described = f"the class '{exception.__qualname__}'"
    else:
        described = f"'{type(exception).__name__}'"
        if callable(exception):
            described += "; write @catch() to catch Exception"
    raise TypeError(f"catch() argument {position} must be an exception class, not {described}")


def check_code(code: object, tool: str = "catch") -> None:
    if code is None:
        return
    if not isinstance(code, str):
        raise TypeError(f"{tool}() code must be a str or None, not '{type(code).__name__}'")
    # Refused now rather than at the first failure, where the Err could not be made.
    try:
        str.encode(code, "utf-8")
    except UnicodeEncodeError:
        raise ValueError(f"{tool}() code must be encodable as UTF-8, not {code!r}") from None


# The classes caught are the Errs' details: one overload per count of classes up to four, so that
# both checkers give their union (a variadic form alone gives mypy's join, such as LookupError).
# Past four, or from *args, the variadic form: mypy joins the classes, pyright keeps their union,
# and either adds Exception, which an empty *args catches.
@overload
def catch(*, code: str | None = None) -> Catcher[Exception]: ...
@overload
def catch[X: BaseException](exception: type[X], /, *, code: str | None = None) -> Catcher[X]: ...
@overload
def catch[X: BaseException, Y: BaseException](
    first: type[X], second: type[Y], /, *, code: str | None = None
) -> Catcher[X | Y]: ...
@overload
def catch[X: BaseException, Y: BaseException, Z: BaseException](
    first: type[X], second: type[Y], third: type[Z], /, *, code: str | None = None
) -> Catcher[X | Y | Z]: ...
@overload
def catch[X: BaseException, Y: BaseException, Z: BaseException, W: BaseException](
    first: type[X], second: type[Y], third: type[Z], fourth: type[W], /, *, code: str | None = None
) -> Catcher[X | Y | Z | W]: ...
@overload
def catch[X: BaseException](
    *exceptions: type[X], code: str | None = None
) -> Catcher[X | Exception]: ...
def catch(*exceptions: type[BaseException], code: str | None = None) -> Catcher[Any]:
    """A decorator: the function returns a Result instead of raising the given exceptions.

    The decorated function returns ``Result.ok(its return value)``; an exception of one of the
    given classes (``Exception`` when none is given) becomes ``Result.err(str(exc), code, exc)``,
    with the exception's class name as the code unless ``code`` is given, and the exception
    object itself as the details. The message is always one an Err can hold: characters that
    UTF-8 cannot encode (lone surrogates, as in a ``surrogateescape``-decoded file name) are
    backslash-escaped (``\\udcff``), and an exception whose ``__str__`` raises gets
    ``<unprintable ClassName object>``; the caught exception is never replaced by another.
    Other exceptions propagate, and so do ``KeyboardInterrupt``,
    ``SystemExit`` and ``asyncio.CancelledError`` unless named. Applied to an ``async def``
    function, it gives a coroutine function whose coroutine returns the Result. Arguments that
    do not fit a Python function's parameters raise ``TypeError`` at the call, as without the
    decorator, and a call uses the defaults the function has at that moment: reassigning its
    ``__defaults__`` or ``__kwdefaults__`` later changes the wrapper's calls too, for every
    keyword-only parameter and every positional one that had a default when decorated (one
    required then stays required: decorate after giving it a default). A generator or
    async generator function is refused with ``TypeError``: it raises while it is iterated,
    after the call has returned. Another callable that returns a generator gives an Ok holding
    that generator, and catches nothing raised while it is iterated.

    >>> @catch(ValueError)
    ... def parse(text: str) -> int:
    ...     return int(text)
    >>> parse("42")
    Ok(42)
    >>> parse("forty-two")
    Err('invalid literal for int() with base 10: 'forty-two'', code='ValueError')
    >>> parse("forty-two").unwrap_err()[2]
    ValueError("invalid literal for int() with base 10: 'forty-two'")
    """
    for position, exception in enumerate(exceptions, 1):
        _check_exception_class(position, exception)
    check_code(code)
    return Catcher(exceptions or (Exception,), code)


async def _attempt_coroutine[T](
    func: Callable[..., Coroutine[Any, Any, T]], args: tuple[Any, ...], kwargs: dict[str, Any]
) -> Result[T, Exception]:
    # The call too is inside the try: arguments that do not fit raise there, not in the body.
    try:
        return Result.ok(await func(*args, **kwargs))
    except Exception as exc:
        return failure_of(exc, None)


# As for Catcher.__call__: a function that returns Any first, then a coroutine function.
@overload
def attempt[**P](
    func: Callable[P, _NoValue], /, *args: P.args, **kwargs: P.kwargs
) -> Result[Any, Exception]: ...
@overload
def attempt[**P, T](  # type: ignore[overload-overlap]
    func: Callable[P, Coroutine[Any, Any, T]], /, *args: P.args, **kwargs: P.kwargs
) -> Coroutine[Any, Any, Result[T, Exception]]: ...
@overload
def attempt[**P, T](
    func: Callable[P, T], /, *args: P.args, **kwargs: P.kwargs
) -> Result[T, Exception]: ...
def attempt(func: Callable[..., Any], /, *args: Any, **kwargs: Any) -> Any:
    """Call ``func(*args, **kwargs)`` once: its return value as an Ok, an ``Exception`` as an Err.

    As with ``catch()``, the Err has the exception's class name as its code, a message that an
    Err can always hold, and the exception as its details; any ``Exception`` of the call becomes one, a ``TypeError`` for arguments
    that do not fit included. For an ``async def`` function, it returns a coroutine to await,
    which gives the Result. A generator or async generator function is refused with
    ``TypeError``, as by ``catch()``.

    >>> attempt(int, "42")
    Ok(42)
    >>> attempt(int, "12", base=3)
    Ok(5)
    >>> attempt(int, "seven")
    Err('invalid literal for int() with base 10: 'seven'', code='ValueError')
    """
    _refuse_generator_function("attempt", func)
    if inspect.iscoroutinefunction(func):
        return _attempt_coroutine(func, args, kwargs)
    try:
        return Result.ok(func(*args, **kwargs))
    except Exception as exc:
        return failure_of(exc, None)


def unwrap_or_raise[T](result: Result[T, Any]) -> T:
    """The Ok's value; an Err raises the exception that is its details, or else as ``unwrap()``.

    For an Err whose details is an exception (as ``catch`` and ``attempt`` make), that very
    exception object is raised again, with its original traceback kept; for any other Err, the
    ``ValueError`` of ``result.unwrap()``. As any raise of an exception object does, each raise
    puts the frames it passes in front of the exception's traceback: an Err kept and raised on
    every call (a remembered failure) is better raised as a new exception each time, with
    ``unwrap_or_raise_as``.

    >>> unwrap_or_raise(attempt(int, "42"))
    42
    >>> unwrap_or_raise(attempt(int, "x"))
    Traceback (most recent call last):
      ...
    ValueError: invalid literal for int() with base 10: 'x'
    >>> unwrap_or_raise(Result.err("disk full", "E_NOSPC"))
    Traceback (most recent call last):
      ...
    ValueError: Tried to unwrap an Err: disk full
    """
    if type(result) is not Result:
        raise not_a("unwrap_or_raise() argument", "a Result", result)
    if result:
        return result.unwrap()
    details = result.unwrap_err()[2]
    if not issubclass(type(details), BaseException):  # not isinstance: __class__ may lie
        return result.unwrap()
    # The raised exception's traceback keeps this frame: no reference from here to the Err or to
    # the exception, so that reference counting alone frees them, without the cycle collector.
    del result
    try:
        raise details
    finally:
        del details
