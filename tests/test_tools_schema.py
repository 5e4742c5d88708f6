"""tolbrane_tools: DICT_FORM_SCHEMA against what to_dict writes and what from_dict refuses."""

import json

import jsonschema
import pytest

from tolbrane import Result
from tolbrane_tools import DICT_FORM_SCHEMA

VALIDATOR = jsonschema.Draft202012Validator(DICT_FORM_SCHEMA)


def test_the_schema_is_a_valid_2020_12_schema_that_json_can_carry():
    jsonschema.Draft202012Validator.check_schema(DICT_FORM_SCHEMA)
    assert DICT_FORM_SCHEMA["$schema"] == "https://json-schema.org/draft/2020-12/schema"
    assert json.loads(json.dumps(DICT_FORM_SCHEMA, ensure_ascii=False)) == DICT_FORM_SCHEMA


WRITTEN = [
    Result.ok(5), Result.ok(None), Result.ok("text"), Result.ok([1, {"a": None}]),
    Result.ok({"nested": {"ok": False}}), Result.ok(True), Result.ok(1.5),
    Result.err(""), Result.err("boom"), Result.err("boom", "E1"), Result.err("boom", ""),
    Result.err("boom", None, {"k": [1]}), Result.err("boom", "E1", "details"),
    Result.err("boom", "E1", 0), Result.err("emoji \U0001f600 and \u00e9", "E\u2603"),
    Result.from_dict({"ok": False, "error": "x", "details": None}),
]


@pytest.mark.parametrize("result", WRITTEN, ids=repr)
def test_every_kind_of_to_dict_validates(result):
    form = result.to_dict()
    VALIDATOR.validate(form)
    VALIDATOR.validate(json.loads(json.dumps(form)))


REFUSED = [
    ({}, ValueError),
    ({"value": 1}, ValueError),
    ({"error": "x"}, ValueError),
    ({"ok": True}, ValueError),
    ({"ok": True, "error": "x"}, ValueError),
    ({"ok": False}, ValueError),
    ({"ok": False, "value": 1}, ValueError),
    ({"ok": 1, "value": 2}, TypeError),
    ({"ok": 0, "error": "x"}, TypeError),
    ({"ok": None, "value": 1}, TypeError),
    ({"ok": "true", "value": 1}, TypeError),
    ({"ok": [True], "value": 1}, TypeError),
    ({"ok": False, "error": 404}, TypeError),
    ({"ok": False, "error": None}, TypeError),
    ({"ok": False, "error": ["x"]}, TypeError),
    ({"ok": False, "error": "lone \ud800 surrogate"}, UnicodeEncodeError),
]


@pytest.mark.parametrize("form, refusal", REFUSED, ids=repr)
def test_what_from_dict_refuses_does_not_validate(form, refusal):
    with pytest.raises(refusal):
        Result.from_dict(form)
    assert not VALIDATOR.is_valid(form)


@pytest.mark.parametrize("form", [
    {"ok": True, "value": 1, "extra": 2},
    {"ok": True, "value": 1, "error": "x"},
    {"ok": False, "error": "x", "value": 1},
    {"ok": False, "error": "x", "code": 404},
    {"ok": False, "error": "x", "code": None},
], ids=repr)
def test_the_schema_is_stricter_than_from_dict_where_to_dict_never_writes(form):
    # from_dict reads these (dropping what it does not use); to_dict never writes them.
    Result.from_dict(form)
    assert not VALIDATOR.is_valid(form)


def test_the_schema_keeps_astral_characters():
    assert VALIDATOR.is_valid({"ok": False, "error": "\U0001f600" * 3, "code": "\U0001f600"})
