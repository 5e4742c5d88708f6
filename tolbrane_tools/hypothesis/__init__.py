"""Hypothesis strategies for Results, MayBes and dictionary forms.

``results(values)`` and ``maybes(values)`` draw Results and MayBes whose held objects come from
``values``; ``dict_forms()`` draws dictionary forms, the valid ones that ``to_dict()`` writes, or
with ``valid=False`` the malformed ones that ``Result.from_dict`` refuses. ``register_strategies``
makes ``st.from_type(Result[int])`` and ``st.from_type(MayBe[int])`` use them; nothing is
registered until it is called.

Importing this module needs Hypothesis (``pip install tolbrane[hypothesis]``).

>>> from hypothesis import given, settings, strategies as st
>>> from tolbrane_tools import same
>>> @settings(max_examples=20)
... @given(results(st.integers()))
... def test_round_trip(result):
...     assert same(Result.from_dict(result.to_dict()), result)
>>> test_round_trip()
"""

from typing import Any

from hypothesis import strategies as st

from tolbrane import MayBe, Result

__all__ = ["dict_forms", "json_values", "maybes", "register_strategies", "results"]


def json_values() -> st.SearchStrategy[Any]:
    """Objects that JSON carries: None, bools, ints, finite floats, strings, lists and dicts.

    >>> from hypothesis import find
    >>> find(json_values(), lambda value: isinstance(value, list) and len(value) == 2)
    [None, None]
    """
    scalars = st.none() | st.booleans() | st.integers() | st.floats(allow_nan=False,
                                                                   allow_infinity=False) | st.text()
    return st.recursive(
        scalars,
        lambda children: st.lists(children, max_size=4)
        | st.dictionaries(st.text(), children, max_size=4),
        max_leaves=12,
    )


def results[T](
    values: st.SearchStrategy[T],
    *,
    messages: st.SearchStrategy[str] | None = None,
    codes: st.SearchStrategy[str | None] | None = None,
    details: st.SearchStrategy[object] | None = None,
) -> st.SearchStrategy[Result[T]]:
    """Oks holding objects of ``values``, and Errs of ``messages``, ``codes`` and ``details``.

    By default messages and codes are any text (codes or none), and details none or any
    ``json_values()``. Failing examples shrink towards an Ok holding the simplest value.

    >>> from hypothesis import find, strategies as st
    >>> find(results(st.integers()), lambda result: True)
    Ok(0)
    >>> find(results(st.integers(), codes=st.just("E_IO")), Result.is_err).unwrap_err()
    ('', 'E_IO', None)
    """
    errs = st.builds(
        Result.err,
        st.text() if messages is None else messages,
        st.none() | st.text() if codes is None else codes,
        st.none() | json_values() if details is None else details,
    )
    oks: st.SearchStrategy[Result[T]] = values.map(Result.ok)
    return oks | errs


def maybes[T](values: st.SearchStrategy[T]) -> st.SearchStrategy[MayBe[T]]:
    """Justs holding objects of ``values`` (None too, when it draws None), and Nothings.

    Failing examples shrink towards a Nothing.

    >>> from hypothesis import find, strategies as st
    >>> find(maybes(st.integers()), lambda maybe: True)
    Nothing
    >>> find(maybes(st.integers()), lambda maybe: maybe.or_else(0) > 9)
    Just(10)
    """
    nothing: st.SearchStrategy[MayBe[T]] = st.builds(MayBe.nothing)
    just: st.SearchStrategy[MayBe[T]] = values.map(MayBe.just)
    return nothing | just


def _with_surrogate(parts: tuple[str, int, str]) -> str:
    head, surrogate, tail = parts
    return head + chr(surrogate) + tail


def _form(result: Result[Any]) -> dict[str, Any]:
    return dict(result.to_dict())


def _malformed(values: st.SearchStrategy[Any]) -> st.SearchStrategy[Any]:
    texts = st.text()
    not_bools = st.none() | st.integers() | st.floats() | texts | st.lists(st.booleans(),
                                                                           max_size=2)
    not_texts = st.none() | st.integers() | st.binary() | st.lists(texts, max_size=2)
    # A lone surrogate, which the message cannot hold since UTF-8 cannot encode it.
    unencodable = st.tuples(texts, st.integers(0xD800, 0xDFFF), texts).map(_with_surrogate)
    extra = st.dictionaries(st.sampled_from(["code", "details", "extra"]), values, max_size=2)
    return st.one_of(
        not_bools | st.lists(values, max_size=2) | st.tuples(st.just("ok"), st.just(True)),
        st.fixed_dictionaries({}, optional={"value": values, "error": texts}),
        st.fixed_dictionaries({"ok": not_bools}, optional={"value": values, "error": texts}),
        st.fixed_dictionaries({"ok": st.just(True)}, optional={"error": texts})
        .flatmap(lambda form: extra.map(lambda more: more | form)),
        st.fixed_dictionaries({"ok": st.just(False)}, optional={"value": values})
        .flatmap(lambda form: extra.map(lambda more: more | form)),
        st.fixed_dictionaries({"ok": st.just(False), "error": not_texts | unencodable}),
    )


def dict_forms(
    values: st.SearchStrategy[Any] | None = None, *, valid: bool = True
) -> st.SearchStrategy[Any]:
    """Dictionary forms as ``to_dict()`` writes them, of Oks holding ``values`` (default
    ``json_values()``) and of Errs; with ``valid=False``, objects that ``Result.from_dict``
    refuses: not a dict, no ``ok`` or one that is not a bool, an Ok without ``value``, an Err
    without ``error``, or with one that is not a string UTF-8 can encode.

    >>> from hypothesis import find
    >>> find(dict_forms(), lambda form: True)
    {'ok': True, 'value': None}
    >>> find(dict_forms(valid=False), lambda form: isinstance(form, dict) and "ok" in form)
    {'ok': None}
    """
    drawn = json_values() if values is None else values
    if not valid:
        return _malformed(drawn)
    return results(drawn).map(_form)


def register_strategies(values: st.SearchStrategy[Any] | None = None) -> None:
    """Has ``st.from_type`` draw Results with ``results(values)`` and MayBes with
    ``maybes(values)`` (``values`` defaults to ``json_values()``).

    ``Result[int]`` is the class ``Result`` at run time, so ``st.from_type`` cannot see the
    ``int``: the one ``values`` given here serves every Result and MayBe. Calling it again
    replaces the strategies.

    >>> from hypothesis import find, strategies as st
    >>> register_strategies(st.integers(1, 9))
    >>> find(st.from_type(Result[int]), lambda result: True)
    Ok(1)
    """
    drawn = json_values() if values is None else values
    st.register_type_strategy(Result, results(drawn))
    st.register_type_strategy(MayBe, maybes(drawn))
