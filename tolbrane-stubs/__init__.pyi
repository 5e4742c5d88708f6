# Type information for the tolbrane extension module (a PEP 561 stub-only package).
#
# Result[T, E] is generic in its Ok value T and in E, the type of an Err's details object (a
# user's error class, an exception type, a dict); both are covariant. E defaults to Any, so
# Result[T] means "any details", as before. The types, for the checkers only (the runtime holds
# any object as the details, whatever the annotation says):
# - Result.ok(v) is a Result[V]: an Ok says nothing about errors, so it fits every Result[V, E].
# - Result.err(message, code) without details, or with details=None, is a Result[Never]: it fits
#   every Result[T, E], whatever E is (so a Result[int, str] written when E was the message type
#   still checks). Its details are None at run time: a function that promises Result[T, MyError]
#   gives details, and tolbrane_tools.err_details reads them with that check.
# - Result.err(message, code, details) is a Result[Never, D], D the type of the details.
# - unwrap_err() is (str, str | None, E); map_err, match's err handler and every tool carry E;
#   flat_map and >> join the error types of both steps (E | E2).
# An Err's message and code are always str and str | None.

from collections.abc import Callable, Iterable, Iterator
from typing import Any, Generic, Literal, NotRequired, TypedDict, final, overload, type_check_only

from typing_extensions import Never, ReadOnly, Self, TypeVar

__all__ = ["MayBe", "Result"]

_T_co = TypeVar("_T_co", covariant=True)
_E_co = TypeVar("_E_co", covariant=True, default=Any)
_V_co = TypeVar("_V_co", covariant=True)
_U = TypeVar("_U")
_J = TypeVar("_J", default=Never)  # a Just's value, Never when only None is given
_D = TypeVar("_D")
_F = TypeVar("_F")
_R = TypeVar("_R")
_S = TypeVar("_S")

# "value" is read-only for the checkers, which makes OkDict covariant like Result: the dictionary
# form of a Result[int] is then also one of a Result[object], so an annotated round trip
# (back: Result[object] = Result.from_dict(r.to_dict())) type-checks.
@type_check_only
class OkDict(TypedDict, Generic[_V_co]):
    """The dictionary form of an Ok: exactly the keys "ok" and "value"."""

    ok: Literal[True]
    value: ReadOnly[_V_co]

@type_check_only
class ErrDict(TypedDict):
    """The dictionary form of an Err: "code" and "details" appear only when the Err has them."""

    ok: Literal[False]
    error: str
    code: NotRequired[str]
    details: NotRequired[Any]

@final
class Result(Iterable[_T_co], Generic[_T_co, _E_co]):
    """Result monad: Ok(value) | Err(message, code?, details?).

    An immutable success-or-failure value: an Ok holds one object, an Err a str message, an
    optional str code and optional details of any type. Build one with Result.ok, Result.err or
    Result.from_dict. Results compare by identity; str() is repr().
    """

    # Result has no constructor; the parameter of type Never makes every call Result(...) an
    # error for the checkers, as it is at run time.
    def __new__(cls, _no_constructor: Never, /) -> Self:
        """Result cannot be called: build one with Result.ok, Result.err or Result.from_dict."""

    @staticmethod
    def ok(value: _U) -> Result[_U]:
        """A new Ok holding value, whatever it is (None and other Results included)."""

    @overload
    @staticmethod
    def err(message: str, code: str | None = None, details: None = None) -> Result[Never]:
        """A new Err: message and code are str, details any object; None leaves a field absent."""

    # Details that may be None (an optional cause) type the Err by the rest of their type: an
    # Err without details fits any details type, as the first form says.
    @overload
    @staticmethod
    def err(message: str, code: str | None, details: _D | None) -> Result[Never, _D]:
        """A new Err: message and code are str, details any object; None leaves a field absent."""

    @overload
    @staticmethod
    def err(message: str, code: str | None = None, *, details: _D | None) -> Result[Never, _D]:
        """A new Err: message and code are str, details any object; None leaves a field absent."""

    @overload
    @staticmethod
    def from_dict(dict: OkDict[_U]) -> Result[_U]:
        """A new Result from its dictionary form, as to_dict writes it.

        Needs "ok" (a bool), then "value" for an Ok or "error" (a str) for an Err; ignores extra
        keys, drops a "code" that is not a str and keeps a "details" of None. Raises ValueError
        for a missing key and TypeError for a mistyped one.
        """

    @overload
    @staticmethod
    def from_dict(dict: ErrDict) -> Result[Never]:
        """A new Result from its dictionary form, as to_dict writes it.

        Needs "ok" (a bool), then "value" for an Ok or "error" (a str) for an Err; ignores extra
        keys, drops a "code" that is not a str and keeps a "details" of None. Raises ValueError
        for a missing key and TypeError for a mistyped one.
        """

    @overload
    @staticmethod
    def from_dict(dict: OkDict[_U] | ErrDict) -> Result[_U]:
        """A new Result from its dictionary form, as to_dict writes it.

        Needs "ok" (a bool), then "value" for an Ok or "error" (a str) for an Err; ignores extra
        keys, drops a "code" that is not a str and keeps a "details" of None. Raises ValueError
        for a missing key and TypeError for a mistyped one.
        """

    @overload
    @staticmethod
    def from_dict(dict: dict[str, Any]) -> Result[Any]:
        """A new Result from its dictionary form, as to_dict writes it.

        Needs "ok" (a bool), then "value" for an Ok or "error" (a str) for an Err; ignores extra
        keys, drops a "code" that is not a str and keeps a "details" of None. Raises ValueError
        for a missing key and TypeError for a mistyped one.
        """

    def is_ok(self) -> bool:
        """True for an Ok."""

    def is_err(self) -> bool:
        """True for an Err."""

    def unwrap(self) -> _T_co:
        """The Ok's value; an Err raises ValueError("Tried to unwrap an Err: <message>")."""

    def expect(self, message: str) -> _T_co:
        """The Ok's value; an Err raises ValueError(message)."""

    # A covariant parameter, as in typeshed's Sequence.index: it only gives the checkers the
    # value type as the expected type of the default, so that an empty literal ({}, []) is typed.
    @overload
    def unwrap_or(self, default: _T_co) -> _T_co:  # type: ignore[misc]
        """The Ok's value, or default itself for an Err (never called)."""

    @overload
    def unwrap_or(self, default: _U) -> _T_co | _U:
        """The Ok's value, or default itself for an Err (never called)."""

    def unwrap_err(self) -> tuple[str, str | None, _E_co]:
        """The Err's (message, code, details), absent ones as None.

        An Ok raises ValueError("Tried to unwrap_err on an Ok").
        """

    def to_option(self) -> _T_co | None:
        """The Ok's value, or None for an Err."""

    @overload
    def match(self, ok: None = None, err: None = None) -> None:
        """Returns ok(value) for an Ok or err(message, code, details) for an Err.

        None when the handler of that variant is not given; the other one is never called.
        """

    @overload
    def match(
        self, ok: Callable[[_T_co], _R], err: Callable[[str, str | None, _E_co], _S]
    ) -> _R | _S:
        """Returns ok(value) for an Ok or err(message, code, details) for an Err.

        None when the handler of that variant is not given; the other one is never called.
        """

    @overload
    def match(self, ok: Callable[[_T_co], _R], err: None = None) -> _R | None:
        """Returns ok(value) for an Ok or err(message, code, details) for an Err.

        None when the handler of that variant is not given; the other one is never called.
        """

    @overload
    def match(
        self, ok: None = None, *, err: Callable[[str, str | None, _E_co], _R]
    ) -> _R | None:
        """Returns ok(value) for an Ok or err(message, code, details) for an Err.

        None when the handler of that variant is not given; the other one is never called.
        """

    @overload
    def match(self, ok: None, err: Callable[[str, str | None, _E_co], _R]) -> _R | None:
        """Returns ok(value) for an Ok or err(message, code, details) for an Err.

        None when the handler of that variant is not given; the other one is never called.
        """

    def map(self, func: Callable[[_T_co], _U]) -> Result[_U, _E_co]:
        """An Ok becomes Ok(func(value)); an Err is copied unchanged."""

    def map_err(
        self, func: Callable[[str, str | None, _E_co], tuple[str, str | None, _F]]
    ) -> Result[_T_co, _F]:
        """An Err becomes the Err of func(message, code, details); an Ok is copied unchanged.

        func must return a 3-tuple (message, code, details) of a str, a str or None, and any
        object.
        """

    def flat_map(self, func: Callable[[_T_co], Result[_U, _F]]) -> Result[_U, _E_co | _F]:
        """An Ok gives a copy of func(value), which must be a Result; an Err is copied unchanged."""

    def and_then(self, func: Callable[[_T_co], Result[_U, _F]]) -> Result[_U, _E_co | _F]:
        """The same as flat_map: a copy of func(value) for an Ok; an Err is copied unchanged."""

    def to_dict(self) -> OkDict[_T_co] | ErrDict:
        """The dictionary form, a new dict.

        {"ok": True, "value": value} for an Ok; {"ok": False, "error": message} for an Err, with
        "code" and "details" only when the Err has them.
        """

    def __bool__(self) -> bool:
        """True for an Ok, false for an Err."""

    def __len__(self) -> int:
        """1 for an Ok, 0 for an Err."""

    def __iter__(self) -> Iterator[_T_co]:
        """Yields the Ok's value once; an Err yields nothing."""

    def __rshift__(
        self, value: Callable[[_T_co], Result[_U, _F]], /
    ) -> Result[_U, _E_co | _F]:
        """r >> func is r.flat_map(func)."""

    # The reflected slots compute `value >> self` and `value | self`: they refuse a non-Result
    # value, and `value >> self` succeeds only for an Err value, which it copies (self is never
    # called), so checkers accept `err >> result` and reject `ok >> result` and `5 | result`.
    def __rrshift__(self, value: Result[Never, _F], /) -> Result[Never, _F]:
        """err >> r, for an Err on the left: a copy of that Err (r is never called)."""

    @overload
    def __or__(self, value: _T_co, /) -> _T_co:  # type: ignore[misc]  # see unwrap_or
        """r | default is the Ok's value, or the right operand itself for an Err."""

    @overload
    def __or__(self, value: _U, /) -> _T_co | _U:
        """r | default is the Ok's value, or the right operand itself for an Err."""

    def __ror__(self, value: Result[_U, Any], /) -> _U | Result[_T_co, _E_co]:
        """other | r, for a Result on the left: its value if it is an Ok, else r itself."""

    @classmethod
    def __class_getitem__(cls, _item: object) -> type[Self]:
        """Result[T] and Result[T, E] are Result itself at run time, for annotations."""

@final
class MayBe(Iterable[_T_co], Generic[_T_co]):
    """An immutable optional value: a Just holding one object, or a Nothing.

    MayBe(obj) is a Nothing when obj is None and a Just otherwise; MayBe.just(obj) is always a
    Just. MayBes compare by identity; str() is repr().
    """

    # One signature, not an overload for None: given an Any, pyright takes the first overload that
    # matches, which made MayBe(x) a MayBe[Never] and all that followed unreachable. The default
    # types MayBe(None) as a Nothing.
    def __new__(cls, obj: _J | None) -> MayBe[_J]:
        """A Just holding obj, or a Nothing when obj is None."""

    @staticmethod
    def just(obj: _U) -> MayBe[_U]:
        """A Just holding obj, even None."""

    @staticmethod
    def nothing() -> MayBe[Never]:
        """A new Nothing."""

    def is_just(self) -> bool:
        """True for a Just."""

    def is_nothing(self) -> bool:
        """True for a Nothing."""

    def unwrap(self) -> _T_co:
        """The held object; a Nothing raises ValueError("Tried to unwrap a Nothing")."""

    def expect(self, message: str) -> _T_co:
        """The held object; a Nothing raises ValueError(message)."""

    def to_option(self) -> _T_co | None:
        """The held object, or None for a Nothing."""

    @overload
    def match(self, just: None = None, nothing: None = None) -> None:
        """Returns just(obj) for a Just or nothing() for a Nothing.

        None when the handler of that variant is not given; the other one is never called.
        """

    @overload
    def match(self, just: Callable[[_T_co], _R], nothing: Callable[[], _S]) -> _R | _S:
        """Returns just(obj) for a Just or nothing() for a Nothing.

        None when the handler of that variant is not given; the other one is never called.
        """

    @overload
    def match(self, just: Callable[[_T_co], _R], nothing: None = None) -> _R | None:
        """Returns just(obj) for a Just or nothing() for a Nothing.

        None when the handler of that variant is not given; the other one is never called.
        """

    @overload
    def match(self, just: None = None, *, nothing: Callable[[], _R]) -> _R | None:
        """Returns just(obj) for a Just or nothing() for a Nothing.

        None when the handler of that variant is not given; the other one is never called.
        """

    @overload
    def match(self, just: None, nothing: Callable[[], _R]) -> _R | None:
        """Returns just(obj) for a Just or nothing() for a Nothing.

        None when the handler of that variant is not given; the other one is never called.
        """

    @overload
    def or_else(self, default: _T_co) -> _T_co:  # type: ignore[misc]  # see Result.unwrap_or
        """The held object, or default itself for a Nothing (never called)."""

    @overload
    def or_else(self, default: _U) -> _T_co | _U:
        """The held object, or default itself for a Nothing (never called)."""

    def map(self, func: Callable[[_T_co], _U]) -> MayBe[_U]:
        """A Just becomes Just(func(obj)), even when that is None; a Nothing stays a Nothing."""

    def flat_map(self, func: Callable[[_T_co], MayBe[_U]]) -> MayBe[_U]:
        """A Just gives a copy of func(obj), which must be a MayBe; a Nothing stays a Nothing."""

    def __bool__(self) -> bool:
        """True for a Just, false for a Nothing."""

    def __len__(self) -> int:
        """1 for a Just, 0 for a Nothing."""

    def __iter__(self) -> Iterator[_T_co]:
        """Yields the held object once; a Nothing yields nothing."""

    def __rshift__(self, value: Callable[[_T_co], MayBe[_U]], /) -> MayBe[_U]:
        """m >> func is m.flat_map(func)."""

    def __rrshift__(self, value: MayBe[Never], /) -> MayBe[Never]:
        """nothing >> m, for a Nothing on the left: a new Nothing (m is never called)."""

    @overload
    def __or__(self, value: _T_co, /) -> _T_co:  # type: ignore[misc]  # see Result.unwrap_or
        """m | default is the held object, or the right operand itself for a Nothing."""

    @overload
    def __or__(self, value: _U, /) -> _T_co | _U:
        """m | default is the held object, or the right operand itself for a Nothing."""

    def __ror__(self, value: MayBe[_U], /) -> _U | MayBe[_T_co]:
        """other | m, for a MayBe on the left: its held object if it is a Just, else m itself."""

    @classmethod
    def __class_getitem__(cls, _item: object) -> type[Self]:
        """MayBe[T] is MayBe itself at run time, for annotations."""
