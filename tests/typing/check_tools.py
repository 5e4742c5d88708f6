"""What the type checkers must infer for tolbrane_tools, and the misuse they must reject.

Checked, never run, like check_tolbrane.py beside it: `mypy --strict`, basedpyright and pyright read
it against the installed package. Every misuse line carries the exact error code that each checker
must report there, and each fails on an ignore comment that silences nothing.
"""

import asyncio
from collections.abc import Coroutine, Iterator
from typing import Any, Never, assert_never, assert_type

from tolbrane import MayBe, Result
from tolbrane_tools import (
    DICT_FORM_SCHEMA,
    Catcher,
    Do,
    Err,
    Just,
    Nothing,
    Ok,
    and_then_async,
    assert_err,
    assert_ok,
    attempt,
    bind,
    catch,
    collect,
    collect_async,
    combine,
    do,
    do_async,
    err_details,
    errs,
    expect_err,
    flatten,
    from_exception,
    gather_results,
    inspect,
    inspect_err,
    map_async,
    map_or,
    map_or_else,
    ok_or,
    oks,
    or_else,
    partition,
    partition_async,
    register_pickle,
    same,
    take,
    to_maybe,
    unwrap_or_else,
    unwrap_or_raise,
    unwrap_or_raise_as,
    values,
    view,
)


# --- catch and attempt: the parameters are kept, the return value becomes a Result -----------
@catch(ValueError, code="E_PARSE")
def parse(text: str, base: int = 10) -> int:
    return int(text, base)


@catch()
async def fetch(url: str, *, retries: int = 0) -> bytes:
    await asyncio.sleep(0)
    return url.encode()


@catch(KeyError, IndexError)
def nothing_back() -> None:
    pass


async def download(url: str) -> bytes:
    await asyncio.sleep(0)
    return url.encode()


async def use_coroutines() -> None:
    fetched = await fetch("https://example.org", retries=2)
    assert_type(fetched, Result[bytes, Exception])
    assert_type(await attempt(download, "u"), Result[bytes, Exception])
    assert_type(await attempt(fetch, "u"), Result[Result[bytes, Exception], Exception])


def never_returns() -> None:
    assert_type(unwrap_or_raise(Result.err("x")), Never)


# A return type of Any (json.loads, an untyped library) or Never also fits a coroutine: those
# must still give the plain form, which is what runs. mypy cannot pick between the forms for Any:
# attempt gives Any, and catch a function of any arguments that --strict calls untyped (the
# migration page says so), so only the Never case is asserted for both checkers.
def decode(text: str) -> Any:
    return text


def refuse(reason: str) -> Never:
    raise PermissionError(reason)


safe_decode = catch(ValueError)(decode)
assert_type(attempt(refuse, "no"), Result[Any, Exception])
assert_type(catch(PermissionError)(refuse)("no"), Result[Any, PermissionError])
decoded_once: Result[Any, Exception] = attempt(decode, "{}")
decoded: Result[Any, ValueError] = safe_decode("{}")  # type: ignore[no-untyped-call]
safe_decode(1)  # type: ignore[no-untyped-call]  # pyright: ignore[reportArgumentType]


handle_io = catch(OSError)
assert_type(handle_io, Catcher[OSError])
assert_type(catch(), Catcher[Exception])
assert_type(catch(KeyError, IndexError, code="E"), Catcher[KeyError | IndexError])
assert_type(catch(KeyError, IndexError, OSError), Catcher[KeyError | IndexError | OSError])
assert_type(
    catch(KeyError, IndexError, ValueError, TypeError),
    Catcher[KeyError | IndexError | ValueError | TypeError],
)


def many_classes(
    settings: tuple[type[Exception], ...], narrow: list[type[KeyError]]
) -> Result[int, Exception]:
    # Past four classes, or from *args, Exception stays among the details: an empty *args
    # catches it.
    assert_type(catch(*narrow), Catcher[KeyError | Exception])
    retrying: Catcher[Exception] = catch(*settings)
    five = catch(KeyError, IndexError, ValueError, TypeError, OSError)(int)
    return retrying(int)("1") if settings else five("1")
assert_type(parse("12"), Result[int, ValueError])
assert_type(parse("12", 3), Result[int, ValueError])
assert_type(parse(text="12", base=3), Result[int, ValueError])
pending = assert_type(attempt(download, "u"), Coroutine[Any, Any, Result[bytes, Exception]])
assert_type(nothing_back(), Result[None, KeyError | IndexError])
assert_type(handle_io(len)("abc"), Result[int, OSError])
assert_type(attempt(int, "42"), Result[int, Exception])
assert_type(attempt(int, "101", base=2), Result[int, Exception])
assert_type(attempt(parse, "1"), Result[Result[int, ValueError], Exception])
bare: Catcher = handle_io  # a bare Catcher is Catcher[Any]
plain: Result[int] = parse("1")  # Result[T] takes any details
assert_type(unwrap_or_raise(parse("1")), int)

# --- collections -------------------------------------------------------------------------------
results = [parse("1"), parse("x")]
maybes = [MayBe("a"), MayBe(None)]
assert_type(collect(results), Result[list[int], ValueError])
assert_type(collect(results, kind=Result), Result[list[int], ValueError])
assert_type(collect(iter(results)), Result[list[int], ValueError])
assert_type(collect(maybes, kind=MayBe), MayBe[list[str]])
assert_type(partition(results), tuple[list[int], list[Result[int, ValueError]]])
assert_type(oks(results), Iterator[int])
assert_type(errs(results), Iterator[Result[int, ValueError]])
assert_type(values(maybes), Iterator[str])
numbers, failures = partition(parse(text) for text in ("1", "2"))
assert_type(numbers, list[int])
assert_type(failures, list[Result[int, ValueError]])


# --- view: a match over the snapshot narrows each case and is exhaustive ----------------------
def describe(result: Result[int]) -> str:
    match snapshot := view(result):
        case Ok(value):
            assert_type(value, int)
            return f"got {value + 1}"
        case Err(message, code, details):
            assert_type(message, str)
            assert_type(code, str | None)
            assert_type(details, Any)
            return message
        case _:
            assert_never(snapshot)


def host(found: MayBe[str]) -> str:
    match snapshot := view(found):
        case Just(value):
            assert_type(value, str)
            return value.upper()
        case Nothing():
            return "localhost"
        case _:
            assert_never(snapshot)


def by_code(result: Result[float]) -> str:
    match view(result):  # exhaustive without a fall-through: no missing return
        case Ok(value):
            return f"{value:.2f}"
        case Err(code="E_RANGE"):
            return "out of range"
        case Err(message):
            return message


# An Err or a Nothing snapshot is always false and an Ok or a Just always true, so a plain truth
# test narrows like a match.
def by_truth(result: Result[int, KeyError], found: MayBe[str]) -> str:
    if snapshot := view(result):
        assert_type(snapshot, Ok[int])
        return str(snapshot.value)
    assert_type(snapshot, Err[KeyError])
    if not (held := view(found)):
        assert_type(held, Nothing)
        return snapshot.message
    assert_type(held, Just[str])
    return held.value


assert_type(view(parse("1")), Ok[int] | Err[ValueError])
assert_type(view(MayBe(1)), Just[int] | Nothing)
assert_type(Ok(3), Ok[int])
assert_type(Ok(3).value, int)
assert_type(Err("boom").code, str | None)
assert_type(Just("a"), Just[str])
ok_int: Ok[int] = Ok(3)
ok_object: Ok[object] = ok_int  # covariant, like Result
just_object: Just[object] = Just(3)

# --- same, pickling and the schema ------------------------------------------------------------
assert_type(same(parse("1"), Result.ok(1)), bool)
assert_type(same(MayBe(1), MayBe.nothing()), bool)
assert_type(register_pickle(), None)
assert_type(DICT_FORM_SCHEMA, dict[str, Any])


# --- typed errors: E, the type of the details, carried through every tool -------------------
class AppError(Exception):
    code = "E_APP"


def load(path: str) -> Result[str, AppError]:
    if path:
        return Result.ok(path)
    return Result.err("no path", "E_APP", AppError("no path"))


def load_plain(path: str) -> Result[str, str]:  # the spelling of before: still checks
    return Result.ok(path) if path else Result.err("no path", "E_PATH")


loaded = load("a")
assert_type(loaded.unwrap_err(), tuple[str, str | None, AppError])
assert_type(loaded.map(len), Result[int, AppError])
assert_type(loaded.map_err(lambda m, c, d: (m, c, KeyError(d.code))), Result[str, KeyError])
assert_type(loaded.match(ok=len, err=lambda m, c, d: d), int | AppError)
assert_type(err_details(loaded), AppError)
assert_type(expect_err(loaded, "x"), tuple[str, str | None, AppError])
assert_type(from_exception(KeyError("k")), Result[Never, KeyError])
assert_type(from_exception(ValueError("v"), "E_V"), Result[Never, ValueError])
assert_type(collect([loaded, loaded]), Result[list[str], AppError])
assert_type(partition([loaded]), tuple[list[str], list[Result[str, AppError]]])
assert_type(errs([loaded]), Iterator[Result[str, AppError]])
assert_type(or_else(loaded, lambda m, c, d: Result.ok(0)), Result[str | int, Any])
assert_type(unwrap_or_else(loaded, lambda m, c, d: d.code), str)
assert_type(map_or(loaded, 0, len), int)
assert_type(map_or_else(loaded, lambda m, c, d: d, len), int | AppError)
assert_type(inspect(loaded, print), Result[str, AppError])
assert_type(inspect_err(loaded, lambda m, c, d: None), Result[str, AppError])
assert_type(flatten(Result.ok(loaded)), Result[str, Any | AppError])
assert_type(to_maybe(loaded), MayBe[str])
assert_type(ok_or(MayBe(1), "none"), Result[int])
assert_type(ok_or(MayBe(1), "none", "E", AppError()), Result[int, AppError])


def ok_or_cases(found: MayBe[int], cause: AppError | None) -> int:
    assert_type(ok_or(found, "none", "E", cause), Result[int, AppError])
    assert_type(ok_or(found, "none", details=cause), Result[int, AppError])
    # Without details the Err case is one to match (its details are None), not an impossible one.
    match view(ok_or(found, "none")):
        case Ok(value):
            return value
        case Err(_, code, details):
            assert_type(details, Any)
            return len(code or "")
assert_type(combine(loaded, loaded.map(len)), Result[tuple[str, int], AppError])
assert_type(combine(loaded, loaded, loaded), Result[tuple[str, str, str], AppError])


def combine_cases(
    number: Result[int, ValueError], flag: Result[bool, KeyError], many: list[Result[str]]
) -> None:
    # Each place keeps its own type up to six arguments; past that, or from *args, one type.
    assert_type(
        combine(number, flag, number, flag, number),
        Result[tuple[int, bool, int, bool, int], ValueError | KeyError],
    )
    assert_type(
        combine(flag, number, flag, number, flag, number),
        Result[tuple[bool, int, bool, int, bool, int], KeyError | ValueError],
    )
    assert_type(combine(flag, flag, flag, flag, flag, flag, flag), Result[tuple[bool, ...], KeyError])
    assert_type(combine(*many), Result[tuple[str, ...], Any])
    assert_type(combine(), Result[tuple[()], Never])
    assert_type(combine(flag), Result[tuple[bool], KeyError])


def combine_untyped_details(host: Result[str], port: Result[int], many: list[Result[int]]) -> str:
    # Details of Any (a Result[T], an Ok) keep every place's type in mypy too.
    assert_type(combine(host, port), Result[tuple[str, int]])
    assert_type(combine(Result.ok("a"), Result.ok(1), port), Result[tuple[str, int, int]])
    assert_type(combine(port, port, port, port, port, port, port, port), Result[tuple[int, ...]])
    name, number = combine(host, port).unwrap()
    number.upper()  # type: ignore[attr-defined]  # pyright: ignore[reportAttributeAccessIssue, reportUnknownMemberType]
    return name


assert_type(unwrap_or_raise_as(loaded, LookupError), str)
assert_type(assert_ok(loaded), str)
assert_type(assert_err(loaded), Err[AppError])
assert_type(view(loaded), Ok[str] | Err[AppError])
detailed: Result[int, AppError] = from_exception(AppError())
any_details: Result[int] = load("a").map(len)  # Result[T] is "any details"
not_an_exception: Result[int, KeyError] = from_exception(AppError())  # type: ignore[arg-type]  # pyright: ignore[reportAssignmentType]
from_exception("boom")  # type: ignore[type-var]  # pyright: ignore[reportArgumentType]


def typed_match(result: Result[int, AppError]) -> str:
    match snapshot := view(result):
        case Ok(value):
            return str(value)
        case Err(message, code, details):
            assert_type(details, AppError)
            return details.code
        case _:
            assert_never(snapshot)


# --- do-notation: each bound value keeps its type ---------------------------------------------
@do
def ratio(a: str, b: str) -> Do[float, AppError]:
    path = yield from bind(load(a))
    assert_type(path, str)
    count = yield from bind(load(b).map(len))
    assert_type(count, int)
    return len(path) / count


assert_type(ratio("a", "b"), Result[float, AppError])


@do_async
async def fetch_twice(url: str) -> int:
    first = take(await fetch(url))
    assert_type(first, bytes)
    return len(first) * 2


async def use_async_tools() -> None:
    assert_type(await fetch_twice("u"), Result[int])
    assert_type(await map_async(loaded, download), Result[bytes, AppError])
    assert_type(await and_then_async(loaded, fetch), Result[bytes, AppError | Exception])
    assert_type(await gather_results([fetch("a"), fetch("b")]), list[Result[bytes, Exception]])
    assert_type(await collect_async([fetch("a")]), Result[list[bytes], Exception])
    assert_type(
        await partition_async([fetch("a")]), tuple[list[bytes], list[Result[bytes, Exception]]]
    )


# --- what the checkers used to miss -----------------------------------------------------------
def shapes(
    anything: Any, table: Result[dict[str, int]], items: MayBe[list[str]], tags: MayBe[set[str]]
) -> None:
    assert_type(table.unwrap_or({}), dict[str, int])
    assert_type(table | {}, dict[str, int])
    assert_type(items.or_else([]), list[str])
    assert_type(tags | set(), set[str])  # an empty constructor call, not a literal
    assert_type(tags.or_else(set()), set[str])
    assert_type([*table], list[dict[str, int]])
    assert_type([*items], list[list[str]])
    either: int | str = parse("1").match(ok=lambda n: n, err=lambda m, c, d: m)
    assert_type(MayBe(None), MayBe[Never])


# --- Misuse the checkers must reject ----------------------------------------------------------
def inexhaustive(result: Result[int]) -> str:  # type: ignore[return]  # pyright: ignore[reportReturnType]
    match view(result):  # pyright: ignore[reportMatchNotExhaustive]
        case Ok(value):
            return str(value)


parse(12)  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
parse("1", base="2")  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
parse("1", radix=2)  # type: ignore[call-arg]  # pyright: ignore[reportCallIssue]
unawaited = fetch("u", 2)  # type: ignore[call-arg]  # pyright: ignore[reportCallIssue, reportUnknownVariableType]
catch("ValueError")  # type: ignore[call-overload]  # pyright: ignore[reportCallIssue, reportArgumentType]
catch(ValueError, code=404)  # type: ignore[call-overload]  # pyright: ignore[reportCallIssue, reportArgumentType]
attempt(int, [1])  # type: ignore[call-overload]  # pyright: ignore[reportCallIssue, reportArgumentType]
unwrap_or_raise(MayBe(1))  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
unwrap_or_raise(parse("1")) + "x"  # type: ignore[operator]  # pyright: ignore[reportOperatorIssue]
collect(maybes)  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
collect(results, kind=MayBe)  # type: ignore[arg-type]  # pyright: ignore[reportCallIssue, reportArgumentType]
collect([1, 2])  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
partition(maybes)  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
values(results)  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
view(3)  # type: ignore[call-overload]  # pyright: ignore[reportCallIssue, reportArgumentType]
same(parse("1"), MayBe(1))  # type: ignore[call-overload]  # pyright: ignore[reportCallIssue, reportArgumentType]
Err(404)  # type: ignore[call-overload]  # pyright: ignore[reportArgumentType]
Ok(3).value = 4  # type: ignore[misc]  # pyright: ignore[reportAttributeAccessIssue]
wrong_view: Ok[str] = Ok(3)  # type: ignore[arg-type]  # pyright: ignore[reportAssignmentType]


class MoreOk(Ok[int]):  # type: ignore[misc]  # pyright: ignore[reportGeneralTypeIssues]
    pass


@do
def mistyped_step(a: str) -> Do[int, AppError]:
    path = yield from bind(load(a))
    return path  # type: ignore[return-value]  # pyright: ignore[reportReturnType]


err_details(MayBe(1))  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
ok_or(parse("1"), "m")  # type: ignore[call-overload]  # pyright: ignore[reportArgumentType]
combine(parse("1"), MayBe(1))  # type: ignore[call-overload]  # pyright: ignore[reportArgumentType]
Ok(1).unwrap()  # type: ignore[attr-defined]  # pyright: ignore[reportAttributeAccessIssue, reportUnknownMemberType]


# catch on a generic function: a bound that no coroutine meets keeps it a plain function in mypy
# too (unbounded, mypy takes the async form; the migration page says so).
@catch(IndexError)
def first_of[T: int | str](items: list[T]) -> T:
    return items[0]


assert_type(first_of([1, 2]), Result[int, IndexError])
assert_type(first_of(["a"]), Result[str, IndexError])
