"""tolbrane_tools.hypothesis: the strategies draw what they say and shrink where they say, and the
project's own round trips hold over what they draw."""

import doctest
import json
import subprocess
import sys

import pytest
from _limits import limit
from hypothesis import find, given, settings
from hypothesis import strategies as st

from tolbrane import MayBe, Result
from tolbrane_tools import DICT_FORM_SCHEMA, same
import tolbrane_tools.hypothesis
from tolbrane_tools.hypothesis import (dict_forms, json_values, maybes, register_strategies,
                                       results)

jsonschema = pytest.importorskip("jsonschema")
VALIDATOR = jsonschema.Draft202012Validator(DICT_FORM_SCHEMA)


@settings(max_examples=200)
@given(results(json_values()))
def test_to_dict_and_from_dict_round_trip(result):
    form = result.to_dict()
    VALIDATOR.validate(form)
    assert same(Result.from_dict(form), result)
    assert same(Result.from_dict(json.loads(json.dumps(form))), result)


@settings(max_examples=200)
@given(dict_forms())
def test_every_valid_form_is_what_to_dict_writes_again(form):
    VALIDATOR.validate(form)
    assert Result.from_dict(form).to_dict() == form


@settings(max_examples=200)
@given(dict_forms(valid=False))
def test_every_invalid_form_is_refused_by_from_dict_and_the_schema(form):
    with pytest.raises((TypeError, ValueError)):
        Result.from_dict(form)
    assert not VALIDATOR.is_valid(form)


@settings(max_examples=100)
@given(results(st.integers()), results(st.integers()))
def test_same_agrees_with_the_dictionary_forms(a, b):
    assert same(a, b) == (a.to_dict() == b.to_dict())


@settings(max_examples=100)
@given(maybes(maybes(st.integers())))
def test_same_on_nested_maybes_follows_the_held_objects(maybe):
    twin = maybe.map(lambda inner: inner.map(lambda n: n))
    assert same(maybe, twin)
    assert not same(maybe, MayBe.just(maybe))


@pytest.mark.parametrize("strategy, condition, simplest", [
    (results(st.integers()), lambda r: True, "Ok(0)"),
    (results(st.integers()), Result.is_err, "Err('')"),
    (results(st.text(), messages=st.just("m"), codes=st.just("C")), Result.is_err,
     "Err('m', code='C')"),
    (results(st.integers()), lambda r: r.unwrap_or(0) > 100, "Ok(101)"),
    (maybes(st.integers()), lambda m: True, "Nothing"),
    (maybes(st.booleans()), MayBe.is_just, "Just(False)"),
    (maybes(st.none()), MayBe.is_just, "Just(None)"),
], ids=["any result", "an err", "given texts", "a big ok", "any maybe", "a just", "a just None"])
def test_failing_examples_shrink_to_the_simplest(strategy, condition, simplest):
    assert repr(find(strategy, condition)) == simplest


@pytest.mark.parametrize("condition, simplest", [
    (lambda form: not isinstance(form, dict), None),
    (lambda form: isinstance(form, dict) and form.get("ok") is True, {"ok": True}),
    (lambda form: isinstance(form, dict) and form.get("ok") is False, {"ok": False}),
], ids=["not a dict", "an ok", "an err"])
def test_invalid_forms_shrink_to_the_simplest(condition, simplest):
    assert find(dict_forms(valid=False), condition) == simplest


def test_the_invalid_forms_cover_each_way_of_being_refused():
    refusals = {
        "not a dict": lambda form: not isinstance(form, dict),
        "no ok": lambda form: isinstance(form, dict) and "ok" not in form,
        "ok not a bool": lambda form: isinstance(form, dict) and "ok" in form
        and type(form["ok"]) is not bool,
        "ok without value": lambda form: isinstance(form, dict) and form.get("ok") is True,
        "err without error": lambda form: isinstance(form, dict) and form.get("ok") is False
        and "error" not in form,
        "error not text": lambda form: isinstance(form, dict) and form.get("ok") is False
        and "error" in form and not isinstance(form["error"], str),
        "unencodable error": lambda form: isinstance(form, dict)
        and isinstance(form.get("error"), str) and form.get("ok") is False
        and any(0xD800 <= ord(c) <= 0xDFFF for c in form["error"]),
    }
    for name, refusal in refusals.items():
        found = find(dict_forms(valid=False), refusal)
        with pytest.raises((TypeError, ValueError)):
            Result.from_dict(found)
        assert refusal(found), name


@pytest.mark.parametrize("strategy, kind", [
    (results(st.just(1), codes=st.none(), details=st.none()), Result),
    (maybes(st.just(1)), MayBe),
], ids=["results", "maybes"])
def test_strategies_draw_only_their_kind_and_values(strategy, kind):
    drawn = find(st.lists(strategy, min_size=30), lambda items: True)
    assert all(type(item) is kind for item in drawn)
    assert all(item.to_option() in (1, None) for item in drawn)


def test_registered_strategies_serve_from_type_with_the_given_values():
    code = (
        "from hypothesis import find, strategies as st\n"
        "from tolbrane import MayBe, Result\n"
        "from tolbrane_tools.hypothesis import register_strategies\n"
        "try:\n"
        "    find(st.from_type(Result[int]), lambda r: True)\n"
        "except Exception as exc:\n"
        "    print(type(exc).__name__)\n"
        "register_strategies(st.integers(5, 9))\n"
        "print(find(st.from_type(Result[int]), lambda r: True),\n"
        "      find(st.from_type(MayBe[int]), MayBe.is_just),\n"
        "      find(st.from_type(Result[int]), lambda r: r.unwrap_or(0) > 7))\n"
    )
    run = subprocess.run([sys.executable, "-P", "-c", code], capture_output=True, text=True,
                         timeout=limit(120))
    assert (run.returncode, run.stderr, run.stdout) == (
        0, "", "InvalidArgument\nOk(5) Just(5) Ok(8)\n")


def test_registering_again_replaces_the_values():
    register_strategies(st.just("first"))
    register_strategies(st.just("second"))
    assert find(st.from_type(Result[str]), lambda r: True).unwrap() == "second"


def test_the_documentation_examples_run():
    failed, attempted = doctest.testmod(tolbrane_tools.hypothesis, optionflags=doctest.ELLIPSIS)
    assert (failed, attempted > 0) == (0, True)
