"""Copy and pickle support for Result and MayBe: register_pickle.

A pickle names the two rebuild functions below by module and name, so both are part of the
pickle format: a process that only loads pickles needs this module importable, nothing more.
"""

import copyreg
from collections.abc import Callable
from typing import Any

from tolbrane import MayBe, Result


def _rebuild_result(form: dict[str, Any]) -> Result[Any]:
    return Result.from_dict(form)


def _rebuild_maybe(*held: object) -> MayBe[object]:
    return MayBe.just(held[0]) if held else MayBe.nothing()


def _reduce_result(result: Result[Any]) -> tuple[Callable[..., Result[Any]], tuple[object]]:
    # The dictionary form keeps every field exactly, a details of None included.
    return _rebuild_result, (result.to_dict(),)


def _reduce_maybe(maybe: MayBe[Any]) -> tuple[Callable[..., MayBe[Any]], tuple[object, ...]]:
    return _rebuild_maybe, tuple(maybe)


def register_pickle() -> None:
    """Let ``pickle``, ``copy`` and ``dataclasses.asdict`` handle Results and MayBes.

    Registers a reduce function for each type with ``copyreg``; calling it again changes
    nothing. Register in every process that pickles or copies; a process that only unpickles
    (the parent of a ``ProcessPoolExecutor`` receiving Results) needs no registration. An
    exception kept as details is pickled without its traceback, as exceptions always are.

    >>> import copy, pickle
    >>> register_pickle()
    >>> pickle.loads(pickle.dumps(Result.err("disk full", "E_NOSPC", {"free": 0}))).unwrap_err()
    ('disk full', 'E_NOSPC', {'free': 0})
    >>> copy.deepcopy(MayBe.just([1, 2]))
    Just([1, 2])
    """
    copyreg.pickle(Result, _reduce_result)
    copyreg.pickle(MayBe, _reduce_maybe)
