"""Assertions for tests: assert_ok and assert_err, with messages that show both sides.

They compare snapshots (``view``), so a failure reads ``expected Ok(value=3), got
Err(message='boom', code='E_X', details=None)``; no ``isinstance`` on variant classes is needed.
Values are compared as ``same`` compares them: with ``==``, held Results and MayBes by contents.
"""

from typing import Any

from tolbrane import Result

from ._equality import equal_contents
from ._views import Err, Ok, not_a, view


class _Unset:
    def __repr__(self) -> str:
        return "<any>"


_ANY: Any = _Unset()


def _shown(obj: object) -> str:
    # A repr that raises must not replace the AssertionError that the test is to report.
    try:
        return repr(obj)
    except Exception:
        return f"<unprintable {type(obj).__name__} object>"


def _shown_snapshot(snapshot: Ok[Any] | Err[Any]) -> str:
    # The snapshot's own repr, field by field, each field shown even when another cannot be.
    fields = (f"{name}={_shown(getattr(snapshot, name))}" for name in snapshot.__match_args__)
    return f"{type(snapshot).__name__}({', '.join(fields)})"


def assert_ok[T](result: Result[T, Any], value: object = _ANY) -> T:
    """Asserts an Ok, holding a value equal to ``value`` when given; returns the value.

    >>> assert_ok(Result.ok(3), 3)
    3
    >>> assert_ok(Result.err("boom", "E_X"), 3)
    Traceback (most recent call last):
      ...
    AssertionError: expected Ok(value=3), got Err(message='boom', code='E_X', details=None)
    """
    if type(result) is not Result:
        raise not_a("assert_ok() argument", "a Result", result)
    snapshot = view(result)
    if type(snapshot) is not Ok or not (value is _ANY or equal_contents(snapshot.value, value)):
        raise AssertionError(f"expected Ok(value={_shown(value)}), got {_shown_snapshot(snapshot)}")
    return snapshot.value


def assert_err[E](
    result: Result[Any, E], code: object = _ANY, message: object = _ANY, details: object = _ANY
) -> Err[E]:
    """Asserts an Err with the given code, message and details (each only when given).

    Returns the Err's snapshot, whose fields the test may check further.

    >>> assert_err(Result.err("not found", "E_404"), "E_404").message
    'not found'
    >>> assert_err(Result.err("not found", "E_404"), "E_410")
    Traceback (most recent call last):
      ...
    AssertionError: expected Err(message=<any>, code='E_410', details=<any>), got Err(message='not found', code='E_404', details=None)
    >>> assert_err(Result.ok(1))
    Traceback (most recent call last):
      ...
    AssertionError: expected Err(message=<any>, code=<any>, details=<any>), got Ok(value=1)
    """
    if type(result) is not Result:
        raise not_a("assert_err() argument", "a Result", result)
    snapshot = view(result)
    if type(snapshot) is Err:
        got = (snapshot.message, snapshot.code, snapshot.details)
        wanted = (message, code, details)
        pairs = zip(got, wanted, strict=True)
        if all(want is _ANY or equal_contents(have, want) for have, want in pairs):
            return snapshot
    raise AssertionError(
        f"expected Err(message={_shown(message)}, code={_shown(code)}, "
        f"details={_shown(details)}), got {_shown_snapshot(snapshot)}"
    )
