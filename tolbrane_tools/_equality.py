"""Structural equality of Results and MayBes: same."""

from typing import Any, cast, overload

from tolbrane import MayBe, Result


def _equal(left: object, right: object) -> bool:
    # type() rather than isinstance(), which believes an object that spoofs __class__
    left_type = type(left)
    if left_type is type(right) and (left_type is Result or left_type is MayBe):
        return _same_contents(cast(Result[object] | MayBe[object], left),
                              cast(Result[object] | MayBe[object], right))
    return left is right or bool(left == right)


def _same_contents(a: Result[object] | MayBe[object], b: Result[object] | MayBe[object]) -> bool:
    # a and b are of one type, both Results or both MayBes.
    if a is b:
        return True
    if a:
        return bool(b) and _equal(a.unwrap(), b.unwrap())
    if b:
        return False
    if type(a) is MayBe:
        return True
    message, code, details = a.unwrap_err()
    other_message, other_code, other_details = cast(Result[object], b).unwrap_err()
    return message == other_message and code == other_code and _equal(details, other_details)


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
        return _same_contents(a, b)
    raise TypeError(
        "same() takes two Results or two MayBes, "
        f"not '{type(a).__name__}' and '{type(b).__name__}'"
    )
