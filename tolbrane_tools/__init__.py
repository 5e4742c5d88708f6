"""The everyday toolkit around tolbrane's Result and MayBe.

- Exceptions: ``catch`` (a decorator) and ``attempt`` (one call) turn exceptions into Errs;
  ``unwrap_or_raise`` turns an Err back into its exception.
- Many at once: ``collect``, ``partition``, ``oks``, ``errs`` and ``values``.
- ``match``: ``view`` gives ``Ok``/``Err`` or ``Just``/``Nothing`` snapshots that checkers narrow.
- Tests: ``same``, the structural equality that ``==`` (identity) is not; ``assert_ok`` and
  ``assert_err``, assertions whose messages show both sides.
- Idioms of other Result libraries, as free functions: ``or_else``, ``unwrap_or_else``,
  ``map_or``, ``map_or_else``, ``inspect``, ``inspect_err``, ``expect_err``, ``flatten``,
  ``err_details``, ``ok_or``, ``to_maybe``, ``combine``, ``from_exception`` and
  ``unwrap_or_raise_as``.
- Do-notation: ``do`` with ``yield from bind(r)`` steps, ``do_async`` with ``take(r)`` steps.
- Async: ``map_async``, ``and_then_async``, ``gather_results``, ``collect_async`` and
  ``partition_async``.
- Transport: ``register_pickle`` for pickle and copy; ``DICT_FORM_SCHEMA``, the JSON Schema of the
  dictionary form.

Importing this package changes nothing: pickle and copy support is there only once
``register_pickle()`` has been called.
"""

from ._async import and_then_async, collect_async, gather_results, map_async, partition_async
from ._collections import collect, errs, oks, partition, values
from ._do import Do, bind, do, do_async, take
from ._equality import same
from ._exceptions import Catcher, attempt, catch, unwrap_or_raise
from ._idioms import (
    combine,
    err_details,
    expect_err,
    flatten,
    from_exception,
    inspect,
    inspect_err,
    map_or,
    map_or_else,
    ok_or,
    or_else,
    to_maybe,
    unwrap_or_else,
    unwrap_or_raise_as,
)
from ._pickling import register_pickle
from ._schema import DICT_FORM_SCHEMA
from ._testing import assert_err, assert_ok
from ._views import Err, Just, Nothing, Ok, view

__all__ = [
    "DICT_FORM_SCHEMA",
    "Catcher",
    "Do",
    "Err",
    "Just",
    "Nothing",
    "Ok",
    "and_then_async",
    "assert_err",
    "assert_ok",
    "attempt",
    "bind",
    "catch",
    "collect",
    "collect_async",
    "combine",
    "do",
    "do_async",
    "err_details",
    "errs",
    "expect_err",
    "flatten",
    "from_exception",
    "gather_results",
    "inspect",
    "inspect_err",
    "map_async",
    "map_or",
    "map_or_else",
    "ok_or",
    "oks",
    "or_else",
    "partition",
    "partition_async",
    "register_pickle",
    "same",
    "take",
    "to_maybe",
    "unwrap_or_else",
    "unwrap_or_raise",
    "unwrap_or_raise_as",
    "values",
    "view",
]
