"""tolbrane_tools: catch, attempt and unwrap_or_raise, exceptions into Results and back."""

import asyncio
import functools
import gc
import inspect
import operator
import re
import traceback
import weakref

import pytest

from tolbrane import MayBe, Result
from tolbrane_tools import Catcher, attempt, catch, from_exception, unwrap_or_raise


def raises_exact(exc_type, text):
    return pytest.raises(exc_type, match="^" + re.escape(text) + "$")


class AppError(Exception):
    pass


class Refusal(AppError):
    def __str__(self):
        return "refused, politely"


PAYLOAD = object()


def fail_with(exc):
    def raiser(*args, **kwargs):
        raise exc
    return raiser


def assert_err(result, message, code, details):
    assert type(result) is Result and result.is_err()
    got_message, got_code, got_details = result.unwrap_err()
    assert (got_message, got_code) == (message, code)
    assert got_details is details


# --- catch on plain functions ------------------------------------------------------------------
def test_catch_returns_the_value_itself_as_an_ok():
    @catch()
    def give(value, *, twice=False):
        return (value, value) if twice else value

    result = give(PAYLOAD)
    assert type(result) is Result and result.unwrap() is PAYLOAD
    assert give(PAYLOAD, twice=True).unwrap() == (PAYLOAD, PAYLOAD)
    assert give(None).is_ok() and give(None).unwrap() is None


@pytest.mark.parametrize("exceptions, code, raised, message, expected_code", [
    ((), None, ValueError("bad value"), "bad value", "ValueError"),
    ((ValueError,), None, ValueError("bad value"), "bad value", "ValueError"),
    ((LookupError,), None, KeyError("k"), "'k'", "KeyError"),  # the class of the exception raised
    ((ValueError, AppError), None, Refusal(), "refused, politely", "Refusal"),
    ((AppError,), "E_APP", Refusal(), "refused, politely", "E_APP"),
    ((), "", ValueError("x"), "x", "ValueError"),  # an empty code gives way to the class name
    ((), None, ValueError(), "", "ValueError"),
    ((BaseException,), None, KeyboardInterrupt(), "", "KeyboardInterrupt"),
    ((SystemExit,), "E_EXIT", SystemExit(3), "3", "E_EXIT"),
])
def test_catch_turns_a_caught_exception_into_an_err(exceptions, code, raised, message,
                                                   expected_code):
    wrapped = catch(*exceptions, code=code)(fail_with(raised))
    assert_err(wrapped(), message, expected_code, raised)


@pytest.mark.parametrize("exceptions, raised", [
    ((ValueError,), TypeError("other")),
    ((KeyError,), LookupError("the base of KeyError")),
    ((), KeyboardInterrupt()),
    ((), SystemExit(1)),
    ((), GeneratorExit()),
    ((Exception,), asyncio.CancelledError()),
])
def test_catch_lets_other_exceptions_through_unchanged(exceptions, raised):
    wrapped = catch(*exceptions)(fail_with(raised))
    with pytest.raises(type(raised)) as info:
        wrapped()
    assert info.value is raised


def test_catch_keeps_the_traceback_in_the_details():
    def deep():
        raise AppError("from deep down")

    details = catch()(deep)().unwrap_err()[2]
    assert [frame.name for frame in traceback.extract_tb(details.__traceback__)][-1] == "deep"


def test_catch_keeps_the_name_signature_and_docs_of_the_function():
    def parse(text: str, base: int = 10) -> int:
        """Parses text."""
        return int(text, base)

    wrapped = catch(ValueError)(parse)
    assert (wrapped.__name__, wrapped.__qualname__, wrapped.__doc__) == (
        "parse", parse.__qualname__, "Parses text.")
    assert wrapped.__wrapped__ is parse
    assert str(inspect.signature(wrapped)) == "(text: str, base: int = 10) -> int"
    assert not inspect.iscoroutinefunction(wrapped)
    assert wrapped("101", base=2).unwrap() == 5


def test_catch_passes_every_argument_through():
    @catch()
    def echo(*args, **kwargs):
        return args, kwargs

    assert echo(1, 2, func=3, code=4).unwrap() == ((1, 2), {"func": 3, "code": 4})


def every_kind_of_parameter(a, b=[], /, c=None, *rest, d, e=(), **more):
    return a, b, c, rest, d, e, more


def shadowing(str, type, exc=None, catching=1):
    return str, type, exc, catching


def private(_catch_func, _catch_ok=2):
    return _catch_func, _catch_ok


class Service:
    @catch()
    def fetch(self, key, *, default=None):
        return (self, key, default)

    @staticmethod
    @catch()
    def static(key):
        return key


@pytest.mark.parametrize("func, args, kwargs", [
    (every_kind_of_parameter, (1,), {"d": 4}),
    (every_kind_of_parameter, (1, 2, 3, 5, 6), {"d": 4, "e": 7, "f": 8}),
    (every_kind_of_parameter, (1,), {"c": 3, "d": 4, "a": "into more"}),
    (shadowing, ("s", "t"), {"catching": 2}),
    (private, (1,), {}),
    (private, (), {"_catch_func": 1, "_catch_ok": 3}),
    (functools.partial(every_kind_of_parameter, 1, d=4), (), {"e": 5}),
    (dict, (), {"a": 1}),
    (max, (3, 1, 2), {}),
])
def test_catch_passes_arguments_and_defaults_through_exactly(func, args, kwargs):
    got = catch()(func)(*args, **kwargs).unwrap()
    expected = func(*args, **kwargs)
    assert got == expected
    if func is every_kind_of_parameter and len(args) == 1:
        assert got[1] is every_kind_of_parameter.__defaults__[0]  # the default object itself


def test_catch_on_methods():
    service = Service()
    assert service.fetch("k").unwrap() == (service, "k", None)
    assert Service.fetch(service, "k", default=2).unwrap() == (service, "k", 2)
    assert service.static("s").unwrap() == "s"


@pytest.mark.parametrize("call, text", [
    (lambda f: f(), "every_kind_of_parameter() missing 1 required positional argument: 'a'"),
    (lambda f: f(1), "every_kind_of_parameter() missing 1 required keyword-only argument: 'd'"),
    (lambda f: f(a=1, d=1),
     "every_kind_of_parameter() missing 1 required positional argument: 'a'"),
])
def test_a_call_that_does_not_fit_the_function_raises_as_it_would_without_catch(call, text):
    with raises_exact(TypeError, text):
        call(every_kind_of_parameter)
    with raises_exact(TypeError, text):
        call(catch()(every_kind_of_parameter))


def _defaults_changed(change):
    def func(a, b=1, /, c=2, *rest, d=3, e):
        return a, b, c, rest, d, e

    wrapped = catch(TypeError)(func)
    change(func)
    return func, wrapped


@pytest.mark.parametrize("change, call", [
    (lambda f: setattr(f, "__defaults__", (10, 20)), lambda f: f(0, e=5)),
    (lambda f: setattr(f, "__defaults__", (20,)), lambda f: f(0, 1, e=5)),
    (lambda f: setattr(f, "__defaults__", (0, 10, 20)), lambda f: f(0, e=5)),  # a extra one
    (lambda f: setattr(f, "__kwdefaults__", {"d": 30}), lambda f: f(0, e=5)),
    (lambda f: setattr(f, "__kwdefaults__", {"d": 30, "e": 40}), lambda f: f(0)),
    (lambda f: f.__kwdefaults__.update(d=31), lambda f: f(0, c=7, e=5)),
    (lambda f: setattr(f, "__defaults__", (10, 20)), lambda f: f(0, 1, 2, 3, d=4, e=5)),
])
def test_catch_reads_the_defaults_the_function_has_at_the_call(change, call):
    func, wrapped = _defaults_changed(change)
    assert wrapped.__wrapped__ is func
    assert call(wrapped).unwrap() == call(func)


@pytest.mark.parametrize("change, call, text", [
    (lambda f: setattr(f, "__defaults__", None), lambda f: f(0, e=5),
     "_defaults_changed.<locals>.func() missing 2 required positional arguments: 'b' and 'c'"),
    (lambda f: setattr(f, "__defaults__", (20,)), lambda f: f(0, e=5),
     "_defaults_changed.<locals>.func() missing 1 required positional argument: 'b'"),
    (lambda f: setattr(f, "__kwdefaults__", None), lambda f: f(0, e=5),
     "_defaults_changed.<locals>.func() missing 1 required keyword-only argument: 'd'"),
    (lambda f: (setattr(f, "__defaults__", ()), setattr(f, "__kwdefaults__", {})),
     lambda f: f(0, c=1, e=5),
     "_defaults_changed.<locals>.func() missing 1 required positional argument: 'b'"),
])
def test_catch_raises_as_the_function_when_a_default_is_taken_away(change, call, text):
    func, wrapped = _defaults_changed(change)
    with raises_exact(TypeError, text):
        call(func)
    with raises_exact(TypeError, text):  # not an Err, although TypeError is caught
        call(wrapped)


def test_catch_names_three_missing_arguments_as_python_does():
    def func(a=1, b=2, c=3):
        return a, b, c

    wrapped = catch()(func)
    func.__defaults__ = None
    text = "test_catch_names_three_missing_arguments_as_python_does.<locals>.func() missing 3 " \
           "required positional arguments: 'a', 'b', and 'c'"
    for target in (func, wrapped):
        with raises_exact(TypeError, text):
            target()


def test_catch_on_a_coroutine_function_reads_its_current_defaults():
    async def fetch(key, retries=1, *, timeout=5):
        return key, retries, timeout

    wrapped = catch()(fetch)
    fetch.__defaults__ = (3,)
    fetch.__kwdefaults__ = {"timeout": 60}
    assert asyncio.run(wrapped("k")).unwrap() == ("k", 3, 60)


def test_catch_on_a_method_reads_its_current_defaults():
    class Client:
        @catch()
        def get(self, path="/"):
            return path

    Client.get.__wrapped__.__defaults__ = ("/health",)
    assert Client().get().unwrap() == "/health"


def test_catch_keeps_a_declared_signature():
    def flexible(*args, **kwargs):
        return args, kwargs

    flexible.__signature__ = inspect.signature(lambda x: None)
    wrapped = catch()(flexible)
    assert wrapped(1, 2, y=3).unwrap() == ((1, 2), {"y": 3})
    assert str(inspect.signature(wrapped)) == "(x)"


def test_a_catcher_can_be_kept_and_reused():
    handle = catch(KeyError, code="E_MISSING")
    assert type(handle) is Catcher
    assert repr(handle) == "catch(KeyError, code='E_MISSING')"
    assert repr(catch()) == "catch(Exception)"
    lookup = handle({"a": 1}.__getitem__)
    assert lookup("a").unwrap() == 1
    assert lookup("b").unwrap_err()[:2] == ("'b'", "E_MISSING")
    assert handle(len)([1, 2]).unwrap() == 2


@pytest.mark.parametrize("arguments, keywords, text", [
    (("ValueError",), {}, "catch() argument 1 must be an exception class, not 'str'"),
    ((ValueError(),), {}, "catch() argument 1 must be an exception class, not 'ValueError'"),
    ((ValueError, int), {}, "catch() argument 2 must be an exception class, not the class 'int'"),
    ((AppError, Refusal, PAYLOAD), {},
     "catch() argument 3 must be an exception class, not 'object'"),
    ((len,), {}, "catch() argument 1 must be an exception class, not 'builtin_function_or_method'; "
     "write @catch() to catch Exception"),
    (((ValueError, KeyError),), {}, "catch() argument 1 must be an exception class, not 'tuple'"),
    ((), {"code": 404}, "catch() code must be a str or None, not 'int'"),
    ((KeyError,), {"code": b"E"}, "catch() code must be a str or None, not 'bytes'"),
])
def test_catch_refuses_what_is_not_an_exception_class(arguments, keywords, text):
    with raises_exact(TypeError, text):
        catch(*arguments, **keywords)


def test_catch_used_without_parentheses_says_how_to_use_it():
    with raises_exact(TypeError, "catch() argument 1 must be an exception class, not 'function'; "
                                 "write @catch() to catch Exception"):
        @catch
        def parse(text):
            return int(text)


def numbers():
    yield 1
    raise ValueError("raised while iterating")


async def async_numbers():
    yield 1
    raise ValueError("raised while iterating")


class Streams:
    def lines(self):
        yield "a"

    @staticmethod
    async def events():
        yield "e"


@pytest.mark.parametrize("func, kind, name", [
    (numbers, "generator", "numbers"),
    (async_numbers, "async generator", "async_numbers"),
    (functools.partial(numbers), "generator", "numbers"),
    (Streams().lines, "generator", "Streams.lines"),
    (Streams.events, "async generator", "Streams.events"),
])
@pytest.mark.parametrize("tool", ["catch", "attempt"])
def test_a_generator_function_is_refused(tool, func, kind, name):
    text = (f"{tool}() cannot take the {kind} function '{name}': its exceptions are raised while "
            "it is iterated, after the call has returned; catch them in a function that iterates it")
    with raises_exact(TypeError, text):
        catch()(func) if tool == "catch" else attempt(func)


@pytest.mark.parametrize("make, text", [
    *[(lambda kind=kind: kind(len), f"catch() cannot take a '{kind.__name__}' object: write "
       f"@{kind.__name__} above @catch(...), which then takes the function")
      for kind in (classmethod, staticmethod, property)],
    (lambda: 5, "catch() needs a callable, not 'int'"),
    (lambda: "parse", "catch() needs a callable, not 'str'"),
])
def test_catch_refuses_what_cannot_be_called_when_it_decorates(make, text):
    with raises_exact(TypeError, text):
        catch()(make())


def test_catch_below_classmethod_and_staticmethod_catches():
    class Parser:
        @classmethod
        @catch(ValueError)
        def parse(cls, text):
            return (cls, int(text))

        @staticmethod
        @catch(ValueError)
        def number(text):
            return int(text)

    assert Parser.parse("4").unwrap() == (Parser, 4)
    assert Parser().number("x").unwrap_err()[1] == "ValueError"


# --- catch on coroutine functions ---------------------------------------------------------------
def test_catch_on_an_async_function_gives_a_coroutine_function_returning_a_result():
    @catch(ZeroDivisionError, code="E_DIV")
    async def ratio(a, b):
        await asyncio.sleep(0)
        return a / b

    assert inspect.iscoroutinefunction(ratio)
    assert ratio.__name__ == "ratio" and str(inspect.signature(ratio)) == "(a, b)"
    ok = asyncio.run(ratio(1, 4))
    assert type(ok) is Result and ok.unwrap() == 0.25
    err = asyncio.run(ratio(1, 0))
    assert err.unwrap_err()[:2] == ("division by zero", "E_DIV")
    assert type(err.unwrap_err()[2]) is ZeroDivisionError


def test_async_catch_lets_other_exceptions_through():
    @catch(KeyError)
    async def broken():
        await asyncio.sleep(0)
        raise ValueError("not a key error")

    with raises_exact(ValueError, "not a key error"):
        asyncio.run(broken())


def test_async_catch_does_not_swallow_cancellation():
    started = []

    @catch()
    async def slow():
        started.append(True)
        await asyncio.sleep(60)

    async def main():
        task = asyncio.create_task(slow())
        await asyncio.sleep(0)
        task.cancel()
        with pytest.raises(asyncio.CancelledError):
            await task

    asyncio.run(main())
    assert started == [True]


def test_async_catch_turns_a_timeout_into_an_err():
    @catch(TimeoutError, code="E_TIMEOUT")
    async def fetch():
        async with asyncio.timeout(0.01):
            await asyncio.sleep(60)

    message, code, details = asyncio.run(fetch()).unwrap_err()
    assert (message, code, type(details)) == ("", "E_TIMEOUT", TimeoutError)


class Held:
    pass


def closures(held):
    def plain(x):
        return held, x

    def with_defaults(x, y=1, *, z=2):
        return held, x

    async def coroutine(x):
        return held, x

    return [plain, with_defaults, coroutine, functools.partial(plain)]


@pytest.mark.parametrize("index", range(4), ids=["plain", "defaults", "coroutine", "partial"])
def test_a_decorated_closure_is_freed_without_the_cycle_collector(index):
    # A closure decorated per request must free what it holds once the last reference goes.
    gc.disable()
    try:
        held = Held()
        watched = weakref.ref(held)
        wrapped = catch(ValueError)(closures(held)[index])
        outcome = wrapped(1)
        if inspect.iscoroutine(outcome):
            outcome = asyncio.run(outcome)
        assert outcome.unwrap()[0] is held
        del held, wrapped, outcome
        assert watched() is None
    finally:
        gc.enable()


# --- attempt ------------------------------------------------------------------------------------
def test_attempt_calls_once_with_the_arguments():
    calls = []

    def record(*args, **kwargs):
        calls.append((args, kwargs))
        return PAYLOAD

    result = attempt(record, 1, func=2)  # "func" reaches the callee: attempt's own is positional
    assert result.unwrap() is PAYLOAD and calls == [((1,), {"func": 2})]


@pytest.mark.parametrize("func, args, message, code", [
    (int, ("x",), "invalid literal for int() with base 10: 'x'", "ValueError"),
    (operator.truediv, (1, 0), "division by zero", "ZeroDivisionError"),
    ({}.__getitem__, ("k",), "'k'", "KeyError"),
    (5, (), "'int' object is not callable", "TypeError"),
    (fail_with(Refusal()), (), "refused, politely", "Refusal"),
])
def test_attempt_turns_an_exception_into_an_err(func, args, message, code):
    result = attempt(func, *args)
    assert result.unwrap_err()[:2] == (message, code)
    assert isinstance(result.unwrap_err()[2], Exception)


@pytest.mark.parametrize("raised", [KeyboardInterrupt(), SystemExit(0), GeneratorExit()])
def test_attempt_catches_exception_only(raised):
    with pytest.raises(type(raised)) as info:
        attempt(fail_with(raised))
    assert info.value is raised


def test_attempt_on_an_async_function_gives_a_coroutine():
    async def parse(text):
        await asyncio.sleep(0)
        return int(text)

    pending = attempt(parse, "12")
    assert inspect.iscoroutine(pending)
    assert asyncio.run(pending).unwrap() == 12
    err = asyncio.run(attempt(parse, "twelve"))
    assert err.unwrap_err()[:2] == (
        "invalid literal for int() with base 10: 'twelve'", "ValueError")


async def add(a, b):
    await asyncio.sleep(0)
    return a + b


@pytest.mark.parametrize("func, args, kwargs, message", [
    (add, (1,), {}, "add() missing 1 required positional argument: 'b'"),
    (add, (1, 2, 3), {}, "add() takes 2 positional arguments but 3 were given"),
    (add, (1, 2), {"c": 3}, "add() got an unexpected keyword argument 'c'"),
    (functools.partial(add, 1, 2), (3,), {}, "add() takes 2 positional arguments but 3 were given"),
])
def test_attempt_on_an_async_function_turns_arguments_that_do_not_fit_into_an_err(
    func, args, kwargs, message
):
    pending = attempt(func, *args, **kwargs)
    assert inspect.iscoroutine(pending)
    failure = asyncio.run(pending).unwrap_err()
    assert failure[:2] == (message, "TypeError") and type(failure[2]) is TypeError


# --- a caught exception always becomes an Err, whatever its text ---------------------------------
class StrRaises(Exception):
    def __str__(self):
        raise RuntimeError("str() of this exception fails")


class StrNotText(Exception):
    def __str__(self):
        return 404


class StrRecurses(Exception):
    def __str__(self):
        return str(self)


class TextSubclass(str):
    pass


class StrGivesSubclass(Exception):
    def __str__(self):
        return TextSubclass("caf\udce9")


# The message an Err holds for each: lone surrogates backslash-escaped, valid text kept as it is.
AWKWARD_EXCEPTIONS = [
    (FileNotFoundError(2, "No such file", "caf\udce9.txt"),
     "[Errno 2] No such file: 'caf\\udce9.txt'"),
    (ValueError("bad name: caf\udce9"), "bad name: caf\\udce9"),
    (ValueError("\ud800 and \udfff and \u00e9t\u00e9 \U0001f600"),
     "\\ud800 and \\udfff and \u00e9t\u00e9 \U0001f600"),
    (ValueError("nul\x00inside"), "nul\x00inside"),
    (StrGivesSubclass(), "caf\\udce9"),
    (StrRaises(), "<unprintable StrRaises object>"),
    (StrNotText(), "<unprintable StrNotText object>"),
    (StrRecurses(), "<unprintable StrRecurses object>"),
]


async def _raise_later(exc):
    await asyncio.sleep(0)
    raise exc


def _every_catching_path(exc):
    """The Result of each tool that catches, for a callable that raises exc."""
    raiser = fail_with(exc)

    def plain():
        raise exc

    async def coroutine():
        return await _raise_later(exc)

    return {
        "catch on a function": catch()(plain)(),
        "catch on another callable": catch()(functools.partial(raiser))(),
        "catch with a code": catch(Exception, code="E_X")(plain)(),
        "catch on a coroutine function": asyncio.run(catch()(coroutine)()),
        "catch on an async callable": asyncio.run(catch()(functools.partial(coroutine))()),
        "attempt": attempt(raiser),
        "attempt on a coroutine function": asyncio.run(attempt(coroutine)),
        "from_exception": from_exception(exc),
        "from_exception with a code": from_exception(exc, "E_X"),
    }


@pytest.mark.parametrize("raised, message", AWKWARD_EXCEPTIONS)
def test_every_catching_tool_makes_an_err_from_any_exception(raised, message):
    for path, result in _every_catching_path(raised).items():
        got_message, code, details = result.unwrap_err()
        assert (path, got_message) == (path, message)
        assert type(got_message) is str
        assert got_message.encode("utf-8")  # an Err's message is always encodable
        coded = path.endswith("with a code")
        assert (path, code) == (path, "E_X" if coded else type(raised).__name__)
        assert details is raised


@pytest.mark.parametrize("make", [lambda exc: catch()(fail_with(exc))(), from_exception])
def test_an_unprintable_exception_keeps_no_trace_of_the_failed_str(make):
    details = make(StrRaises()).unwrap_err()[2]
    assert details.__context__ is None and details.__cause__ is None


@pytest.mark.parametrize("code", ["E_\udcff", "\ud800"])
def test_catch_refuses_a_code_that_cannot_be_encoded(code):
    with raises_exact(ValueError, f"catch() code must be encodable as UTF-8, not {code!r}"):
        catch(code=code)


# --- unwrap_or_raise ----------------------------------------------------------------------------
def test_unwrap_or_raise_gives_the_value_of_an_ok():
    assert unwrap_or_raise(Result.ok(PAYLOAD)) is PAYLOAD
    assert unwrap_or_raise(Result.ok(None)) is None
    assert unwrap_or_raise(result=Result.ok(3)) == 3


@pytest.mark.parametrize("raised", [AppError("app"), KeyError("k"), KeyboardInterrupt()])
def test_unwrap_or_raise_raises_the_very_exception_of_the_details(raised):
    with pytest.raises(type(raised)) as info:
        unwrap_or_raise(Result.err("ignored message", "E", raised))
    assert info.value is raised


def test_unwrap_or_raise_keeps_the_original_traceback():
    def parse_config(text):
        return int(text)

    failed = attempt(parse_config, "x")
    with pytest.raises(ValueError) as info:
        unwrap_or_raise(failed)
    names = [frame.name for frame in traceback.extract_tb(info.value.__traceback__)]
    assert names[-1] == "parse_config" and "unwrap_or_raise" in names


class ClaimsToBeAnException:
    @property
    def __class__(self):
        return ValueError


@pytest.mark.parametrize("result, text", [
    (Result.err("disk full"), "Tried to unwrap an Err: disk full"),
    (Result.err("spoofed", details=ClaimsToBeAnException()), "Tried to unwrap an Err: spoofed"),
    (Result.err("disk full", "E_NOSPC", {"free": 0}), "Tried to unwrap an Err: disk full"),
    (Result.err("bad", details=ValueError), "Tried to unwrap an Err: bad"),  # a class, not one
    (Result.err(""), "Tried to unwrap an Err: "),
])
def test_unwrap_or_raise_without_an_exception_behaves_as_unwrap(result, text):
    with raises_exact(ValueError, text):
        unwrap_or_raise(result)


@pytest.mark.parametrize("argument, text", [
    (MayBe(1), "unwrap_or_raise() argument must be a Result, not 'MayBe'"),
    (None, "unwrap_or_raise() argument must be a Result, not 'NoneType'"),
    (ValueError("x"), "unwrap_or_raise() argument must be a Result, not 'ValueError'"),
])
def test_unwrap_or_raise_refuses_what_is_not_a_result(argument, text):
    with raises_exact(TypeError, text):
        unwrap_or_raise(argument)


def test_raising_again_leaves_no_reference_cycle():
    # The raised exception's traceback holds unwrap_or_raise's frame: were the Err still there,
    # exception, traceback, frame and Err would wait for the cycle collector to be freed.
    def fail():
        raise AppError("tracked")

    def read():
        return unwrap_or_raise(attempt(fail))

    gc.disable()
    try:
        try:
            read()
        except AppError as exc:
            watched = weakref.ref(exc)
        assert watched() is None
    finally:
        gc.enable()


def test_raising_again_shows_every_frame_the_exception_passed():
    # Raised by an inner unwrap_or_raise, caught by catch, raised again: the traceback keeps the
    # whole way, as raising the exception object by hand would.
    def fail():
        raise AppError("deep")

    def load():
        return unwrap_or_raise(attempt(fail))

    @catch(AppError)
    def service():
        return load()

    with pytest.raises(AppError) as info:
        unwrap_or_raise(service())
    names = [entry.name for entry in traceback.extract_tb(info.value.__traceback__)]
    assert names[-7:] == ["unwrap_or_raise", "catching", "service", "load", "unwrap_or_raise",
                          "attempt", "fail"]


def test_catch_then_unwrap_or_raise_round_trip():
    @catch(AppError)
    def step(n):
        if n < 0:
            raise Refusal()
        return n * 2

    values = [unwrap_or_raise(step(n)) for n in (1, 2)]
    assert values == [2, 4]
    with raises_exact(Refusal, "refused, politely"):
        unwrap_or_raise(step(-1))
