"""The everyday toolkit around tolbrane's Result and MayBe.

- Exceptions: ``catch`` (a decorator) and ``attempt`` (one call) turn exceptions into Errs;
  ``unwrap_or_raise`` turns an Err back into its exception.
- Many at once: ``collect``, ``partition``, ``oks``, ``errs`` and ``values``.
- ``match``: ``view`` gives ``Ok``/``Err`` or ``Just``/``Nothing`` snapshots that checkers narrow.
- Tests: ``same``, the structural equality that ``==`` (identity) is not.
- Transport: ``register_pickle`` for pickle and copy; ``DICT_FORM_SCHEMA``, the JSON Schema of the
  dictionary form.

Importing this package changes nothing: pickle and copy support is there only once
``register_pickle()`` has been called.
"""

from ._collections import collect, errs, oks, partition, values
from ._equality import same
from ._exceptions import Catcher, attempt, catch, unwrap_or_raise
from ._pickling import register_pickle
from ._schema import DICT_FORM_SCHEMA
from ._views import Err, Just, Nothing, Ok, view

__all__ = [
    "DICT_FORM_SCHEMA",
    "Catcher",
    "Err",
    "Just",
    "Nothing",
    "Ok",
    "attempt",
    "catch",
    "collect",
    "errs",
    "oks",
    "partition",
    "register_pickle",
    "same",
    "unwrap_or_raise",
    "values",
    "view",
]
