"""Structural equality of Results and MayBes: same."""

from typing import Any, cast, overload

from tolbrane import MayBe, Result


def equal_contents(left: object, right: object) -> bool:
    # Held Results and MayBes nest to any depth (the native types free a deep chain without
    # recursion), so the chain is walked in a loop; the objects at its ends are compared by ==.
    while True:
        # type() rather than isinstance(), which believes an object that spoofs __class__
        kind = type(left)
        if kind is not type(right) or (kind is not Result and kind is not MayBe):
            return left is right or bool(left == right)
        a = cast(Result[object] | MayBe[object], left)
        b = cast(Result[object] | MayBe[object], right)
        if a is b:
            return True
        if a:
            if not b:
                return False
            left, right = a.unwrap(), b.unwrap()
        elif b:
            return False
        elif kind is MayBe:
            return True
        else:
            message, code, left = cast(Result[object], a).unwrap_err()
            other_message, other_code, right = cast(Result[object], b).unwrap_err()
            if message != other_message or code != other_code:
                return False


@overload
def same(a: Result[object], b: Result[object]) -> bool: ...
@overload
def same(a: MayBe[object], b: MayBe[object]) -> bool: ...
def same(a: Result[Any] | MayBe[Any], b: Result[Any] | MayBe[Any]) -> bool:
    """True when two Results, or two MayBes, hold equal contents; ``==`` is identity on them.

    Two Results are the same when both are Oks with equal values, or both Errs with the same
    message and code texts and equal details (an absent code or details counts as ``None``).
    Two MayBes are the same when both are Nothings, or both Justs with equal held objects.
    Values and details are compared with ``==``, except that held Results and MayBes are
    compared with ``same`` again.

    >>> Result.ok([1, 2]) == Result.ok([1, 2])
    False
    >>> same(Result.ok([1, 2]), Result.ok([1, 2]))
    True
    >>> same(Result.err("no", "E1"), Result.err("no", "E2"))
    False
    >>> same(MayBe(MayBe(1)), MayBe(MayBe(1)))
    True
    """
    kind = type(a)
    if kind is type(b) and (kind is Result or kind is MayBe):
        return equal_contents(a, b)
    raise TypeError(
        "same() takes two Results or two MayBes, "
        f"not '{type(a).__name__}' and '{type(b).__name__}'"
    )
