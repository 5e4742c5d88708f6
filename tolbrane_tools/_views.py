"""Snapshots of a Result or a MayBe for the match statement: view, Ok, Err, Just and Nothing.

Ok and Err are two classes where the native Result is one, so a checker narrows a match on them
case by case and proves it exhaustive; the same for Just and Nothing.
"""

from typing import TYPE_CHECKING, Any, Generic, Literal, final, overload

from tolbrane import MayBe, Result

# Err[E] is generic in its details, as Result[T, E], with the same default: Err means Err[Any].
if TYPE_CHECKING:
    from typing_extensions import TypeVar

    _E_co = TypeVar("_E_co", covariant=True, default=Any)
else:
    from typing import TypeVar

    _E_co = TypeVar("_E_co", covariant=True)


def advice(obj: object) -> str:
    """What to build instead of a snapshot, or nothing for another object."""
    # type(), not isinstance(), which reads a __class__ that may lie or raise
    if not issubclass(type(obj), _Snapshot):
        return ""
    name = type(obj).__name__
    native = "Result.ok(...) or Result.err(...)" if name in ("Ok", "Err") else "MayBe(...)"
    return f" ('{name}' is a snapshot from tolbrane_tools.view, for match only: use {native})"


def not_a(tool: str, expected: str, obj: object) -> TypeError:
    """The TypeError for an argument of the wrong type; a snapshot gets told what to build."""
    return TypeError(f"{tool} must be {expected}, not '{type(obj).__name__}'{advice(obj)}")


# The Result and MayBe operations a half-migrated call site may try on a snapshot.
_NATIVE_NAMES = frozenset({
    "and_then", "expect", "flat_map", "is_err", "is_just", "is_nothing", "is_ok", "map",
    "map_err", "match", "or_else", "to_dict", "to_option", "unwrap", "unwrap_err", "unwrap_or",
})


class _Snapshot:
    """Immutable and slotted; equal to a snapshot of the same class with equal fields."""

    __slots__ = ()
    __match_args__: tuple[str, ...] = ()

    # Hidden from the checkers, which would otherwise accept any attribute of a snapshot. Only
    # names that no snapshot has get here.
    if not TYPE_CHECKING:

        def __getattr__(self, name):
            hint = advice(self) if name in _NATIVE_NAMES else ""
            raise AttributeError(
                f"'{type(self).__name__}' object has no attribute '{name}'{hint}",
                name=name, obj=self)

    def _fields(self) -> tuple[object, ...]:
        return tuple(getattr(self, name) for name in self.__match_args__)

    def __eq__(self, other: object) -> bool:
        if type(other) is not type(self):
            return NotImplemented
        return self._fields() == other._fields()

    def __hash__(self) -> int:
        return hash((type(self), self._fields()))

    def __repr__(self) -> str:
        fields = (f"{name}={getattr(self, name)!r}" for name in self.__match_args__)
        return f"{type(self).__name__}({', '.join(fields)})"

    def __setattr__(self, name: str, value: object) -> None:
        raise AttributeError(f"'{type(self).__name__}' snapshots are read-only")

    def __delattr__(self, name: str) -> None:
        raise AttributeError(f"'{type(self).__name__}' snapshots are read-only")

    def __reduce__(self) -> tuple[type["_Snapshot"], tuple[object, ...]]:
        return type(self), self._fields()


class _Holder[T](_Snapshot):
    """A snapshot of one value: Ok's and Just's."""

    __slots__ = ("_value",)
    __match_args__ = ("value",)
    _value: T

    def __init__(self, value: T) -> None:
        object.__setattr__(self, "_value", value)

    @property
    def value(self) -> T:
        """The value the Ok, or the Just, held."""
        return self._value


@final
class Ok[T](_Holder[T]):
    """The view of an Ok Result: its value.

    >>> match view(Result.ok(8080)):
    ...     case Ok(port):
    ...         print("port", port)
    port 8080
    """

    __slots__ = ()


@final
class Err(_Snapshot, Generic[_E_co]):
    """The view of an Err Result: its message, its code and its details, ``None`` when absent.

    >>> match view(Result.err("not found", "E_404")):
    ...     case Err(message, code="E_404"):
    ...         print("missing:", message)
    missing: not found
    """

    __slots__ = ("_code", "_details", "_message")
    __match_args__ = ("message", "code", "details")
    _message: str
    _code: str | None
    _details: _E_co

    @overload
    def __init__(self: "Err[None]", message: str, code: str | None = None) -> None: ...
    @overload
    def __init__(self, message: str, code: str | None, details: _E_co) -> None: ...
    @overload
    def __init__(self, message: str, code: str | None = None, *, details: _E_co) -> None: ...
    def __init__(self, message: str, code: str | None = None, details: Any = None) -> None:
        object.__setattr__(self, "_message", message)
        object.__setattr__(self, "_code", code)
        object.__setattr__(self, "_details", details)

    @property
    def message(self) -> str:
        """The Err's message."""
        return self._message

    @property
    def code(self) -> str | None:
        """The Err's code, or None."""
        return self._code

    @property
    def details(self) -> _E_co:
        """The Err's details, or None."""
        return self._details

    # Literal[False], with Ok and Just always true, lets `if snapshot:` narrow as a match does.
    def __bool__(self) -> Literal[False]:
        """False, as the Err it stands for."""
        return False


@final
class Just[T](_Holder[T]):
    """The view of a Just MayBe: the held object.

    >>> match view(MayBe("example.org")):
    ...     case Just(host):
    ...         print(host)
    example.org
    """

    __slots__ = ()


@final
class Nothing(_Snapshot):
    """The view of a Nothing MayBe.

    >>> match view(MayBe(None)):
    ...     case Nothing():
    ...         print("nothing")
    nothing
    """

    __slots__ = ()

    def __bool__(self) -> Literal[False]:
        """False, as the Nothing it stands for."""
        return False


@overload
def view[T, E](obj: Result[T, E]) -> Ok[T] | Err[E]: ...
@overload
def view[T](obj: MayBe[T]) -> Just[T] | Nothing: ...
def view(obj: Result[Any] | MayBe[Any]) -> Ok[Any] | Err | Just[Any] | Nothing:
    """A read-only snapshot to match on: ``Ok`` or ``Err`` for a Result, ``Just`` or ``Nothing``.

    The snapshot holds the very objects of the Result or MayBe (nothing is copied). Views
    compare by value, so they also serve in assertions: ``view(r) == Ok(3)``.

    >>> def describe(result: Result[int]) -> str:
    ...     match view(result):
    ...         case Ok(value):
    ...             return f"got {value}"
    ...         case Err(message, code, details):
    ...             return f"failed [{code}]: {message}"
    >>> describe(Result.ok(3)), describe(Result.err("boom", "E1"))
    ('got 3', 'failed [E1]: boom')
    """
    if type(obj) is Result:
        return Ok(obj.unwrap()) if obj else Err(*obj.unwrap_err())
    if type(obj) is MayBe:
        return Just(obj.unwrap()) if obj else Nothing()
    raise not_a("view() argument", "a Result or a MayBe", obj)
