"""What the type checkers must infer for tolbrane, and the misuse they must reject.

This file is checked, never run: `mypy --strict`, basedpyright and pyright (pyrightconfig.json
beside it) read it against the installed stubs. assert_type lines fail when an inferred type
changes. Every misuse line carries the exact error code that each checker must report there; all
three are set to fail on an ignore comment that silences nothing (mypy --warn-unused-ignores,
pyright's reportUnnecessaryTypeIgnoreComment), so a misuse that becomes accepted fails the check
too.
"""

from typing import TYPE_CHECKING, Any, Never, assert_type

from tolbrane import MayBe, Result

if TYPE_CHECKING:
    from tolbrane import ErrDict, OkDict


def parse(text: str) -> Result[int]:
    return Result.ok(int(text)) if text.isdigit() else Result.err("not a number", "E_PARSE")


def halve(n: int) -> Result[float]:
    return Result.ok(n / 2) if n % 2 == 0 else Result.err("odd", details={"n": n})


def lookup(table: dict[str, int], key: str) -> MayBe[int]:
    return MayBe(table.get(key))


def positive(n: int) -> MayBe[int]:
    return MayBe.just(n) if n > 0 else MayBe.nothing()


def no_argument() -> int:
    return 0


def relabel(message: str, code: str | None, details: Any) -> tuple[str, str | None, Any]:
    return f"parse: {message}", code or "E_UNKNOWN", details


# --- Result: construction, queries and unwrapping ---------------------------------------------
assert_type(Result.ok(1), Result[int])
assert_type(Result.ok("a"), Result[str])
assert_type(Result.ok(None), Result[None])
assert_type(Result.err("boom"), Result[Never])
assert_type(Result.err("boom", "E1", {"k": 1}), Result[Never, dict[str, int]])
assert_type(Result.err("boom", code=None, details=None), Result[Never])


def with_optional_cause(cause: KeyError | None) -> Result[int, KeyError]:
    # Details that may be None type the Err by the rest of their type.
    assert_type(Result.err("gone", "E_KEY", cause), Result[Never, KeyError])
    assert_type(Result.err("gone", details=cause), Result[Never, KeyError])
    return Result.err("gone", "E_KEY", cause)

r = parse("42")
assert_type(r, Result[int])
assert_type(r.is_ok(), bool)
assert_type(r.is_err(), bool)
assert_type(r.unwrap(), int)
assert_type(r.expect("a number"), int)
assert_type(r.unwrap_or(0), int)
assert_type(r.unwrap_or(None), int | None)
assert_type(r.unwrap_or("none"), int | str)
assert_type(r.unwrap_err(), tuple[str, str | None, Any])
assert_type(r.to_option(), int | None)
assert_type(bool(r), bool)
assert_type(len(r), int)
assert_type(list(r), list[int])
for item in r:
    assert_type(item, int)
assert_type(repr(r), str)

# An Err is a Result[Never], so it fits wherever any Result is expected.
as_int: Result[int] = Result.err("no value")
as_str: Result[str] = Result.err("no value", "E_NONE")
as_two: Result[int, str] = Result.err("the runtime's two-parameter spelling")
two_is_one: Result[int] = as_two
one_is_two: Result[int, str] = as_int
widened: Result[object] = r  # covariant in the Ok value
assert_type(Result[int, str], type[Result[int, str]])

# --- Result: operators and combinators -------------------------------------------------------
assert_type(r >> halve, Result[float])
assert_type(r | 0, int)
assert_type(r | None, int | None)
assert_type(Result.err("e") | "default", str)
assert_type(Result.err("e") >> Result.ok(1), Result[Never])  # an Err on the left: reflected >>
assert_type(Result.ok(1) | r, int | Result[int])
assert_type(r.map(str), Result[str])
assert_type(r.map(lambda n: n * 1.5), Result[float])
assert_type(r.map_err(relabel), Result[int])
assert_type(r.map_err(lambda message, code, details: (message.upper(), code, details)), Result[int])
assert_type(r.flat_map(halve), Result[float])
assert_type(r.and_then(halve), Result[float])
assert_type(r.flat_map(lambda n: Result.ok(str(n))), Result[str])
assert_type(parse("8").and_then(halve).map(round), Result[int])
assert_type(r.match(), None)
assert_type(r.match(ok=lambda n: n + 1), int | None)
assert_type(r.match(err=lambda message, code, details: message), str | None)
assert_type(r.match(None, lambda message, code, details: message), str | None)
assert_type(r.match(lambda n: n, lambda message, code, details: -1), int)
assert_type(r.match(ok=str, err=lambda message, code, details: message), str)

# --- Result: the dictionary form -------------------------------------------------------------
form = r.to_dict()
assert_type(form, "OkDict[int] | ErrDict")
if form["ok"] is True:
    assert_type(form, "OkDict[int]")
    assert_type(form["value"], int)
else:
    assert_type(form, "ErrDict")
    assert_type(form["error"], str)
    assert_type(form.get("code"), str | None)
assert_type(Result.from_dict(r.to_dict()), Result[int])
assert_type(Result.from_dict({"ok": True, "value": 3}), Result[int])
assert_type(Result.from_dict({"ok": False, "error": "e", "code": "E1"}), Result[Never])
decoded: dict[str, Any] = {"ok": True, "value": [1, 2]}  # e.g. json.loads of a wire message
assert_type(Result.from_dict(decoded), Result[Any])
back: Result[object] = Result.from_dict(r.to_dict())  # the dictionary form is covariant too
back_two: Result[object, str] = Result.from_dict(parse("1").to_dict())

# --- MayBe -----------------------------------------------------------------------------------
m = lookup({"a": 1}, "a")
assert_type(m, MayBe[int])
assert_type(MayBe(3), MayBe[int])
assert_type(MayBe(None), MayBe[Never])
assert_type(MayBe.just(None), MayBe[None])
assert_type(MayBe.just("a"), MayBe[str])
assert_type(MayBe.nothing(), MayBe[Never])
maybe_text: MayBe[str] = MayBe.nothing()
widened_maybe: MayBe[object] = m


def from_optional(value: str | None) -> None:
    assert_type(MayBe(value), MayBe[str])


def from_any(value: Any) -> None:
    assert_type(MayBe(value), MayBe[Any])
    assert_type(MayBe(value).map(str), MayBe[str])  # reachable: checked, not taken for Never


assert_type(m.is_just(), bool)
assert_type(m.is_nothing(), bool)
assert_type(m.unwrap(), int)
assert_type(m.expect("missing"), int)
assert_type(m.to_option(), int | None)
assert_type(m.or_else(0), int)
assert_type(m.or_else("none"), int | str)
assert_type(bool(m), bool)
assert_type(len(m), int)
assert_type(list(m), list[int])
assert_type(m | 0, int)
assert_type(m | None, int | None)
assert_type(MayBe.nothing() | "x", str)
assert_type(m >> positive, MayBe[int])
assert_type(MayBe.nothing() >> MayBe(1), MayBe[Never])  # a Nothing on the left: reflected >>
assert_type(m.map(str), MayBe[str])
assert_type(m.map(lambda n: n / 2), MayBe[float])
assert_type(m.flat_map(positive), MayBe[int])
assert_type(m.flat_map(lambda n: MayBe(str(n))), MayBe[str])
assert_type(m.match(), None)
assert_type(m.match(just=lambda n: n * 2), int | None)
assert_type(m.match(nothing=lambda: "none"), str | None)
assert_type(m.match(None, lambda: "none"), str | None)
assert_type(m.match(lambda n: n, lambda: 0), int)
assert_type(m.match(just=str, nothing=lambda: "none"), str)

# --- Misuse the checkers must reject ---------------------------------------------------------
Result.err(404)  # type: ignore[call-overload]  # pyright: ignore[reportArgumentType]
Result.err("x", code=404)  # type: ignore[call-overload]  # pyright: ignore[reportArgumentType]
Result.err("x", kind="E")  # type: ignore[call-overload]  # pyright: ignore[reportCallIssue]
r.expect(5)  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
r.unwrap() + "x"  # type: ignore[operator]  # pyright: ignore[reportOperatorIssue]
r.unwrap_err()[0] + 1  # type: ignore[operator]  # pyright: ignore[reportOperatorIssue]
r.map_err(lambda message: (message, None, None))  # type: ignore[arg-type,misc]  # pyright: ignore[reportArgumentType]
r.map_err(lambda message, code, details: [message, code, details])  # type: ignore[arg-type,return-value]  # pyright: ignore[reportArgumentType]
r.map_err(lambda message, code, details: (404, code, details))  # type: ignore[arg-type,return-value]  # pyright: ignore[reportArgumentType]
r.flat_map(round)  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
r.flat_map(positive)  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
r.match(ok=no_argument)  # type: ignore[arg-type]  # pyright: ignore[reportCallIssue, reportArgumentType]
r.match(err=str.upper)  # type: ignore[arg-type]  # pyright: ignore[reportCallIssue, reportArgumentType]
r >> positive  # type: ignore[operator]  # pyright: ignore[reportOperatorIssue]
r >> 42  # type: ignore[operator]  # pyright: ignore[reportOperatorIssue]
Result.ok(1) >> Result.ok(2)  # type: ignore[operator]  # pyright: ignore[reportOperatorIssue]
5 | r  # type: ignore[operator]  # pyright: ignore[reportOperatorIssue]
Result.from_dict([("ok", True)])  # type: ignore[call-overload]  # pyright: ignore[reportCallIssue, reportArgumentType]
wrong_value: Result[str] = parse("1")  # type: ignore[assignment]  # pyright: ignore[reportAssignmentType]
m.expect(5)  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
m.flat_map(halve)  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
m.match(just=no_argument)  # type: ignore[arg-type]  # pyright: ignore[reportCallIssue, reportArgumentType]
m.match(nothing=str.upper)  # type: ignore[arg-type]  # pyright: ignore[reportCallIssue, reportArgumentType]
m >> halve  # type: ignore[operator]  # pyright: ignore[reportOperatorIssue]
MayBe(1) >> MayBe(2)  # type: ignore[operator]  # pyright: ignore[reportOperatorIssue]
2 | m  # type: ignore[operator]  # pyright: ignore[reportOperatorIssue]
Result()  # type: ignore[call-arg]  # pyright: ignore[reportCallIssue]
Result(1)  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
Result(value=1)  # type: ignore[call-arg]  # pyright: ignore[reportCallIssue]
if form["ok"] is True:
    form["value"] = 2  # type: ignore[typeddict-readonly-mutated]  # pyright: ignore[reportTypedDictNotRequiredAccess]
MayBe()  # type: ignore[call-arg]  # pyright: ignore[reportCallIssue]
wrong_maybe: MayBe[str] = m  # type: ignore[assignment]  # pyright: ignore[reportAssignmentType]
len(m.or_else(0))  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]


class SubResult(Result[int]):  # type: ignore[misc]  # pyright: ignore[reportGeneralTypeIssues]
    pass


class SubMayBe(MayBe[int]):  # type: ignore[misc]  # pyright: ignore[reportGeneralTypeIssues]
    pass


# Checkers infer nothing for a lambda on the right of >> (it gets no expected type there), so
# pyright in strict mode flags its parameter; annotate the step instead (as halve above).
r >> (lambda n: Result.ok(n + 1))  # pyright: ignore[reportUnknownLambdaType, reportUnknownArgumentType]
