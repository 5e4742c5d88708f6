"""Snapshots of a Result or a MayBe for the match statement: view, Ok, Err, Just and Nothing.

Ok and Err are two classes where the native Result is one, so a checker narrows a match on them
case by case and proves it exhaustive; the same for Just and Nothing.
"""

from typing import Any, final, overload

from tolbrane import MayBe, Result


class _Snapshot:
    """Immutable and slotted; equal to a snapshot of the same class with equal fields."""

    __slots__ = ()
    __match_args__: tuple[str, ...] = ()

    def _fields(self) -> tuple[object, ...]:
        return tuple(getattr(self, name) for name in self.__match_args__)

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, _Snapshot) or type(other) is not type(self):
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


@final
class Ok[T](_Snapshot):
    """The view of an Ok Result: its value.

    >>> match view(Result.ok(8080)):
    ...     case Ok(port):
    ...         print("port", port)
    port 8080
    """

    __slots__ = ("_value",)
    __match_args__ = ("value",)
    _value: T

    def __init__(self, value: T) -> None:
        object.__setattr__(self, "_value", value)

    @property
    def value(self) -> T:
        """The Ok's value."""
        return self._value


@final
class Err(_Snapshot):
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
    _details: Any

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
    def details(self) -> Any:
        """The Err's details, or None."""
        return self._details


@final
class Just[T](_Snapshot):
    """The view of a Just MayBe: the held object.

    >>> match view(MayBe("example.org")):
    ...     case Just(host):
    ...         print(host)
    example.org
    """

    __slots__ = ("_value",)
    __match_args__ = ("value",)
    _value: T

    def __init__(self, value: T) -> None:
        object.__setattr__(self, "_value", value)

    @property
    def value(self) -> T:
        """The held object."""
        return self._value


@final
class Nothing(_Snapshot):
    """The view of a Nothing MayBe.

    >>> match view(MayBe(None)):
    ...     case Nothing():
    ...         print("nothing")
    nothing
    """

    __slots__ = ()


@overload
def view[T](obj: Result[T]) -> Ok[T] | Err: ...
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
    raise TypeError(f"view() argument must be a Result or a MayBe, not '{type(obj).__name__}'")
