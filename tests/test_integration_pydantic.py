"""tolbrane_tools.pydantic: Result and MayBe fields validate, serialise and describe the wire forms,
and refuse every malformed input with pydantic's ValidationError naming the field."""

import doctest
import json
import pathlib
import runpy
import subprocess
import sys
from typing import Annotated, Any, Generic, TypedDict, TypeVar
from unittest import mock

import pytest
from _limits import limit

pytest.importorskip("pydantic")
jsonschema = pytest.importorskip("jsonschema")

from hypothesis import given, settings  # noqa: E402
from hypothesis import strategies as st  # noqa: E402
import pydantic.dataclasses  # noqa: E402
from pydantic import BaseModel, ConfigDict, Field, TypeAdapter, ValidationError  # noqa: E402
from pydantic_core import PydanticSerializationError  # noqa: E402

from tolbrane import MayBe, Result  # noqa: E402
from tolbrane_tools import DICT_FORM_SCHEMA, same  # noqa: E402
from tolbrane_tools.hypothesis import dict_forms, json_values, maybes, results  # noqa: E402
import tolbrane_tools.pydantic  # noqa: E402
from tolbrane_tools.pydantic import MAYBE_FORM_SCHEMA, MayBeOf, ResultOf  # noqa: E402


class Problem(BaseModel):
    line: int


class Reply(BaseModel):
    result: Annotated[Result[int], ResultOf(int, details=Problem)]


class Anything(BaseModel):
    result: Annotated[Result[Any], ResultOf()]


class Forbidding(BaseModel):
    result: Annotated[Result[int], ResultOf(int, extra="forbid")]


class ForbiddingModel(BaseModel):
    model_config = ConfigDict(extra="forbid")
    result: Annotated[Result[int], ResultOf(int)]


INNER = Annotated[Result[str], ResultOf(str)]


class Nested(BaseModel):
    maybe: Annotated[MayBe[INNER], MayBeOf(INNER)]


FORM_ERROR = "Input should be the dictionary form of a Result: a dict whose 'ok' is true or false"
MAYBE_ERROR = "Input should be the form of a MayBe: a dict whose 'just' is true or false"
TEXT_ERROR = "Input should be text that UTF-8 can encode, without lone surrogates"


def errors(model, data, **options):
    with pytest.raises(ValidationError) as caught:
        model.model_validate(data, **options)
    return [(error["type"], error["loc"], error["msg"], error["input"])
            for error in caught.value.errors(include_url=False)]


@pytest.mark.parametrize("form, expected", [
    ({"ok": True, "value": 7}, Result.ok(7)),
    ({"ok": True, "value": "7"}, Result.ok(7)),
    ({"ok": False, "error": "gone"}, Result.err("gone")),
    ({"ok": False, "error": "gone", "code": "E_GONE"}, Result.err("gone", "E_GONE")),
    ({"ok": False, "error": "", "code": "", "details": {"line": "3"}},
     Result.err("", "", Problem(line=3))),
    ({"ok": True, "value": 7, "extra": [1]}, Result.ok(7)),
    (Result.ok("8"), Result.ok(8)),
    (Result.err("m", "C", {"line": 2}), Result.err("m", "C", Problem(line=2))),
], ids=repr)
def test_lax_validation_gives_the_result(form, expected):
    assert same(Reply.model_validate({"result": form}).result, expected)


@pytest.mark.parametrize("form, expected", [
    ({"ok": True, "value": "7"},
     [("int_type", ("result", "Ok", "value"), "Input should be a valid integer", "7")]),
    (Result.ok("7"),
     [("int_type", ("result", "Ok", "value"), "Input should be a valid integer", "7")]),
    ({"ok": False, "error": "m", "details": {"line": "3"}},
     [("int_type", ("result", "Err", "details", "line"), "Input should be a valid integer", "3")]),
], ids=repr)
def test_strict_validation_refuses_what_lax_converts(form, expected):
    assert errors(Reply, {"result": form}, strict=True) == expected


@pytest.mark.parametrize("form, expected", [
    (3, [("tolbrane_result_form", ("result",), FORM_ERROR, 3)]),
    (None, [("tolbrane_result_form", ("result",), FORM_ERROR, None)]),
    ([True, 1], [("tolbrane_result_form", ("result",), FORM_ERROR, [True, 1])]),
    ("ok", [("tolbrane_result_form", ("result",), FORM_ERROR, "ok")]),
    ({}, [("tolbrane_result_form", ("result",), FORM_ERROR, {})]),
    ({"value": 1}, [("tolbrane_result_form", ("result",), FORM_ERROR, {"value": 1})]),
    ({"ok": 1, "value": 1}, [("tolbrane_result_form", ("result",), FORM_ERROR,
                              {"ok": 1, "value": 1})]),
    ({"ok": "true", "value": 1}, [("tolbrane_result_form", ("result",), FORM_ERROR,
                                   {"ok": "true", "value": 1})]),
    ({"ok": None, "error": "x"}, [("tolbrane_result_form", ("result",), FORM_ERROR,
                                   {"ok": None, "error": "x"})]),
    ({"ok": True}, [("missing", ("result", "Ok", "value"), "Field required", {"ok": True})]),
    ({"ok": True, "error": "x"}, [("missing", ("result", "Ok", "value"), "Field required",
                                   {"ok": True, "error": "x"})]),
    ({"ok": False}, [("missing", ("result", "Err", "error"), "Field required", {"ok": False})]),
    ({"ok": False, "value": 1}, [("missing", ("result", "Err", "error"), "Field required",
                                  {"ok": False, "value": 1})]),
    ({"ok": True, "value": "x"}, [("int_parsing", ("result", "Ok", "value"),
                                   "Input should be a valid integer, unable to parse string as an "
                                   "integer", "x")]),
    ({"ok": True, "value": None}, [("int_type", ("result", "Ok", "value"),
                                    "Input should be a valid integer", None)]),
    ({"ok": False, "error": 404}, [("string_type", ("result", "Err", "error"),
                                    "Input should be a valid string", 404)]),
    ({"ok": False, "error": b"bytes"}, [("string_type", ("result", "Err", "error"),
                                         "Input should be a valid string", b"bytes")]),
    ({"ok": False, "error": "x", "code": b"C"}, [("string_type", ("result", "Err", "code"),
                                                  "Input should be a valid string", b"C")]),
    ({"ok": False, "error": None}, [("string_type", ("result", "Err", "error"),
                                     "Input should be a valid string", None)]),
    # from_dict drops a code that is not a string; a validated field refuses it.
    ({"ok": False, "error": "x", "code": 404}, [("string_type", ("result", "Err", "code"),
                                                 "Input should be a valid string", 404)]),
    ({"ok": False, "error": "x", "code": None}, [("string_type", ("result", "Err", "code"),
                                                  "Input should be a valid string", None)]),
    ({"ok": False, "error": "lone \ud800"}, [("tolbrane_text", ("result", "Err", "error"),
                                              TEXT_ERROR, "lone \ud800")]),
    ({"ok": False, "error": "x", "code": "\udfff"}, [("tolbrane_text", ("result", "Err", "code"),
                                                      TEXT_ERROR, "\udfff")]),
    ({"ok": False, "error": "x", "details": "line 3"},
     [("model_type", ("result", "Err", "details"),
       "Input should be a valid dictionary or instance of Problem", "line 3")]),
    ({"ok": True, "value": "9" * 5000},
     [("int_parsing_size", ("result", "Ok", "value"),
       "Unable to parse input string as an integer, exceeded maximum size", "9" * 5000)]),
], ids=repr)
def test_bad_input_names_the_field_and_what_was_wrong(form, expected):
    assert errors(Reply, {"result": form}) == expected


@pytest.mark.parametrize("form, key", [
    ({"ok": True, "value": 1, "extra": 2}, "extra"),
    ({"ok": True, "value": 1, "error": "x"}, "error"),
    ({"ok": False, "error": "x", "value": 1}, "value"),
], ids=repr)
def test_extra_keys_are_refused_when_the_field_forbids_them(form, key):
    assert errors(Forbidding, {"result": form}) == [
        ("extra_forbidden", ("result", "Ok" if form["ok"] else "Err", key),
         "Extra inputs are not permitted", form[key])]
    # The model's setting is for its own keys; the form's are the field's.
    assert ForbiddingModel.model_validate({"result": form}).result.is_ok() is form["ok"]
    assert errors(ForbiddingModel, {"result": {"ok": True, "value": 1}, key: 0}) == [
        ("extra_forbidden", (key,), "Extra inputs are not permitted", 0)]


def test_extra_keys_of_a_maybe_are_refused_when_the_field_forbids_them():
    adapter = TypeAdapter(Annotated[MayBe[int], MayBeOf(int, extra="forbid")])
    with pytest.raises(ValidationError) as caught:
        adapter.validate_python({"just": False, "value": 1})
    assert [(e["loc"], e["msg"]) for e in caught.value.errors()] == [
        (("Nothing", "value"), "Extra inputs are not permitted")]


class ClaimsResult:
    __class__ = Result


class ClaimsMayBe:
    __class__ = MayBe


@pytest.mark.parametrize("marker, error, obj", [
    (ResultOf(int), FORM_ERROR, ClaimsResult()),
    (ResultOf(int), FORM_ERROR, mock.Mock(spec=Result)),
    (MayBeOf(int), MAYBE_ERROR, ClaimsMayBe()),
    (MayBeOf(int), MAYBE_ERROR, mock.Mock(spec=MayBe)),
], ids=repr)
def test_an_object_that_only_claims_the_class_is_refused_as_bad_input(marker, error, obj):
    adapter = TypeAdapter(Annotated[Any, marker])
    with pytest.raises(ValidationError) as caught:
        adapter.validate_python(obj)
    assert [(e["type"], e["msg"]) for e in caught.value.errors()] == [
        ("tolbrane_maybe_form" if type(marker) is MayBeOf else "tolbrane_result_form", error)]


def test_a_missing_field_is_reported_as_pydantic_reports_it():
    assert errors(Reply, {}) == [("missing", ("result",), "Field required", {})]


@pytest.mark.parametrize("text, loc, message", [
    ('{"result": {"ok": true, "value": ' + "9" * 5000 + "}}", (),
     "Invalid JSON: number out of range at line 1 column 4335"),
    ('{"result": {"ok": true, "value": ' + "[" * 10_000 + "]" * 10_000 + "}}", (),
     "Invalid JSON: recursion limit exceeded at line 1 column 233"),
    ('{"result": {"ok": 1, "value": 2}}', ("result",), FORM_ERROR),
], ids=["huge number", "deep nesting", "number for ok"])
def test_json_input_that_cannot_be_a_result_is_a_validation_error(text, loc, message):
    with pytest.raises(ValidationError) as caught:
        Anything.model_validate_json(text)
    [error] = caught.value.errors(include_url=False)
    assert (error["loc"], error["msg"]) == (loc, message)


def test_a_deeply_nested_value_fails_to_serialise_without_crashing():
    value: list[Any] = []
    for _ in range(100_000):
        value = [value]
    model = Anything.model_validate({"result": {"ok": True, "value": value}})
    assert model.result.unwrap() is value
    with pytest.raises(PydanticSerializationError) as caught:
        model.model_dump_json()
    assert str(caught.value) == (
        "Error serializing to JSON: ValueError: Maximum serialization depth exceeded")


@pytest.mark.parametrize("result, form", [
    (Result.ok(5), {"ok": True, "value": 5}),
    (Result.err("gone"), {"ok": False, "error": "gone"}),
    (Result.err("gone", "E1", Problem(line=4)),
     {"ok": False, "error": "gone", "code": "E1", "details": {"line": 4}}),
], ids=repr)
def test_model_dump_writes_the_dictionary_form(result, form):
    reply = Reply(result=result)
    assert reply.model_dump() == {"result": form}
    assert json.loads(reply.model_dump_json()) == {"result": form}
    assert same(Reply.model_validate_json(reply.model_dump_json()).result, result)


class User(BaseModel):
    name: str


class Account(User):
    password_hash: str


class Profile(BaseModel):
    result: Annotated[Result[User], ResultOf(User, details=User)]
    maybe: Annotated[MayBe[User], MayBeOf(User)] = Field(default_factory=MayBe.nothing)


ACCOUNT = Account(name="ada", password_hash="s3cret")


@pytest.mark.parametrize("profile, form", [
    (Profile(result=Result.ok(ACCOUNT), maybe=MayBe(ACCOUNT)),
     {"result": {"ok": True, "value": {"name": "ada"}}, "maybe": {"just": True, "value": {"name": "ada"}}}),
    (Profile(result=Result.err("locked", "E_LOCK", ACCOUNT)),
     {"result": {"ok": False, "error": "locked", "code": "E_LOCK", "details": {"name": "ada"}},
      "maybe": {"just": False}}),
], ids=["ok and just", "err"])
def test_a_subclass_of_the_declared_model_is_written_as_the_declared_model(profile, form, recwarn):
    # As a plain `User` field writes it: the fields the schema names, and nothing more.
    assert profile.model_dump() == form
    assert json.loads(profile.model_dump_json()) == form
    assert not recwarn.list


@pytest.mark.parametrize("annotation", [
    Annotated[Result[User], ResultOf(User, details=Problem)],
    Annotated[MayBe[User], MayBeOf(User)],
    Annotated[Result[Any], ResultOf()],
], ids=["result", "maybe", "untyped"])
def test_the_written_form_has_the_schema_that_is_read(annotation):
    adapter = TypeAdapter(annotation)
    assert adapter.json_schema(mode="serialization") == adapter.json_schema(mode="validation")


class Envelope[T, D](BaseModel):
    result: Annotated[Result[T], ResultOf(T, details=D)]
    maybe: Annotated[MayBe[list[T]], MayBeOf(list[T])] = Field(default_factory=MayBe.nothing)


@pytest.mark.parametrize("data, loc", [
    ({"result": {"ok": True, "value": "abc"}}, ("result", "Ok", "value")),
    ({"result": {"ok": False, "error": "m", "details": {"line": "x"}}}, ("result", "Err", "details", "line")),
    ({"result": {"ok": True, "value": 1}, "maybe": {"just": True, "value": [1, "x"]}},
     ("maybe", "Just", "value", 1)),
], ids=["value", "details", "nested in the maybe"])
def test_a_parametrised_generic_model_validates_its_type_arguments(data, loc):
    assert [error[1] for error in errors(Envelope[int, Problem], data)] == [loc]
    unparametrised = Envelope.model_validate(data)  # type variables without a bound take anything
    assert same(unparametrised.result, Result.from_dict(data["result"]))


T = TypeVar("T")


@pydantic.dataclasses.dataclass
class Box(Generic[T]):
    result: Annotated[Result[T], ResultOf(T)]


class Tagged(TypedDict, Generic[T]):
    result: Annotated[Result[T], ResultOf(T)]


class Holder(BaseModel, Generic[T]):
    item: T
    box: Box[str]  # the same type variable, another argument: each class's own arguments count
    inner: Box[T] | None = None


@pytest.mark.parametrize("kind, data, loc", [
    (Box[int], {"result": {"ok": True, "value": "x"}}, ("result", "Ok", "value")),
    (Tagged[int], {"result": {"ok": True, "value": "x"}}, ("result", "Ok", "value")),
    (Holder[int], {"item": 1, "box": {"result": {"ok": True, "value": 1}}},
     ("box", "result", "Ok", "value")),
    (Holder[int], {"item": 1, "box": {"result": {"ok": True, "value": "s"}},
                   "inner": {"result": {"ok": True, "value": "x"}}},
     ("inner", "result", "Ok", "value")),
], ids=["dataclass", "typed dict", "nested, another argument", "nested, the same argument"])
def test_generic_dataclasses_and_typed_dicts_validate_their_own_type_arguments(kind, data, loc):
    with pytest.raises(ValidationError) as caught:
        TypeAdapter(kind).validate_python(data)
    assert [error["loc"] for error in caught.value.errors()] == [loc]


def test_a_nested_generic_class_takes_what_its_own_arguments_allow():
    holder = TypeAdapter(Holder[int]).validate_python({
        "item": 1, "box": {"result": {"ok": True, "value": "s"}},
        "inner": {"result": {"ok": True, "value": "2"}},
    })
    assert same(holder.box.result, Result.ok("s")) and same(holder.inner.result, Result.ok(2))


def test_a_parametrised_generic_model_shows_its_type_arguments():
    schema = Envelope[int, Problem].model_json_schema()
    ok, err = schema["properties"]["result"]["oneOf"]
    assert ok["properties"]["value"]["type"] == "integer"
    assert err["properties"]["details"]["$ref"] == "#/$defs/Problem"
    assert Envelope[int, Problem](result=Result.ok(3), maybe=MayBe([4])).model_dump() == {
        "result": {"ok": True, "value": 3}, "maybe": {"just": True, "value": [4]}}


NESTED = [
    MayBe.nothing(), MayBe.just(Result.ok("a")), MayBe.just(Result.err("no", "E")),
]


@pytest.mark.parametrize("maybe, form", list(zip(NESTED, [
    {"just": False}, {"just": True, "value": {"ok": True, "value": "a"}},
    {"just": True, "value": {"ok": False, "error": "no", "code": "E"}},
])), ids=repr)
def test_nested_fields_round_trip(maybe, form):
    model = Nested(maybe=maybe)
    assert model.model_dump() == {"maybe": form}
    for back in (Nested.model_validate(model.model_dump()),
                 Nested.model_validate_json(model.model_dump_json())):
        assert same(back.maybe, maybe)


@pytest.mark.parametrize("form, expected", [
    ({"just": True}, [("missing", ("maybe", "Just", "value"), "Field required", {"just": True})]),
    ({"just": 1, "value": 1}, [("tolbrane_maybe_form", ("maybe",), MAYBE_ERROR,
                                {"just": 1, "value": 1})]),
    (None, [("tolbrane_maybe_form", ("maybe",), MAYBE_ERROR, None)]),
    ({"just": True, "value": {"ok": True, "value": 1}},
     [("string_type", ("maybe", "Just", "value", "Ok", "value"), "Input should be a valid string",
       1)]),
    (MayBe.just(Result.ok(1)),
     [("string_type", ("maybe", "Just", "value", "Ok", "value"), "Input should be a valid string",
       1)]),
], ids=repr)
def test_bad_maybe_input_names_the_nested_place(form, expected):
    assert errors(Nested, {"maybe": form}) == expected


def test_a_just_of_none_stays_a_just():
    adapter = TypeAdapter(Annotated[MayBe[None], MayBeOf(None)])
    assert adapter.dump_python(MayBe.just(None)) == {"just": True, "value": None}
    assert adapter.validate_json('{"just": true, "value": null}').is_just()


def test_the_json_schema_of_an_untyped_field_is_the_published_one():
    schema = TypeAdapter(Annotated[Result[Any], ResultOf()]).json_schema()
    published = DICT_FORM_SCHEMA["$defs"]
    text = published["Text"]
    err = published["Err"]["properties"]
    assert schema == {"title": "Result", "oneOf": [published["Ok"], published["Err"] | {
        "properties": err | {key: text | {"description": err[key]["description"]}
                             for key in ("error", "code")}}]}


def test_the_json_schema_carries_the_value_and_details_types():
    schema = Reply.model_json_schema()
    ok, err = schema["properties"]["result"]["oneOf"]
    assert ok["properties"]["value"] == {"description": "The value of the Ok, of any type.",
                                         "type": "integer"}
    assert err["properties"]["details"] == {"description": "Anything attached to the failure.",
                                            "$ref": "#/$defs/Problem"}
    assert schema["$defs"]["Problem"]["required"] == ["line"]


def test_the_maybe_json_schema_is_the_published_one_and_nests():
    schema = Nested.model_json_schema()["properties"]["maybe"]
    just, nothing = schema["oneOf"]
    assert nothing == MAYBE_FORM_SCHEMA["$defs"]["Nothing"]
    inner = just["properties"]["value"]
    assert [branch["title"] for branch in inner["oneOf"]] == ["Ok", "Err"]
    assert inner["oneOf"][0]["properties"]["value"]["type"] == "string"


@settings(max_examples=150, deadline=None)
@given(results(json_values()))
def test_every_result_round_trips_and_its_dump_matches_the_schema(result):
    adapter = TypeAdapter(Annotated[Result[Any], ResultOf()])
    validator = jsonschema.Draft202012Validator(adapter.json_schema())
    dumped = adapter.dump_python(result, mode="json")
    validator.validate(dumped)
    assert same(adapter.validate_json(adapter.dump_json(result)), result)


@settings(max_examples=150, deadline=None)
@given(dict_forms(valid=False))
def test_whatever_from_dict_refuses_the_field_refuses(form):
    with pytest.raises((TypeError, ValueError)):
        Result.from_dict(form)
    with pytest.raises(ValidationError):
        Anything.model_validate({"result": form})


@settings(max_examples=100, deadline=None)
@given(maybes(st.integers()))
def test_every_maybe_round_trips(maybe):
    adapter = TypeAdapter(Annotated[MayBe[int], MayBeOf(int)])
    assert same(adapter.validate_json(adapter.dump_json(maybe)), maybe)


def test_importing_the_toolkit_imports_no_optional_dependency_and_patches_nothing():
    code = (
        "import sys, tolbrane\n"
        "before = (dict(vars(tolbrane.Result)), dict(vars(tolbrane.MayBe)))\n"
        "import tolbrane_tools\n"
        "print(sorted(name for name in ('pydantic', 'pydantic_core', 'hypothesis', 'fastapi')"
        " if name in sys.modules))\n"
        "import tolbrane_tools.pydantic, tolbrane_tools.hypothesis\n"
        "print(before == (dict(vars(tolbrane.Result)), dict(vars(tolbrane.MayBe))))\n"
    )
    run = subprocess.run([sys.executable, "-P", "-c", code], capture_output=True, text=True,
                         timeout=limit(120))
    assert (run.returncode, run.stderr, run.stdout) == (0, "", "[]\nTrue\n")


def test_the_documentation_examples_run():
    failed, attempted = doctest.testmod(tolbrane_tools.pydantic, optionflags=doctest.ELLIPSIS)
    assert (failed, attempted > 0) == (0, True)


BENCHMARK = pathlib.Path(__file__).resolve().parent.parent / "bench" / "pydantic_overhead.py"


@pytest.mark.parametrize("data", [
    {"result": {"ok": True, "value": "42"}},
    {"result": {"ok": False, "error": "m", "code": "C", "details": {"line": "3"}}},
    {"result": {"ok": False, "error": "m"}},
    {"result": {"ok": 1, "value": 42}},
    {"result": {"ok": True, "value": 4.5}},
    {"result": {"ok": False, "error": 404}},
    {"result": {"ok": False, "error": "m", "code": 404}},
    {"result": {"ok": False, "error": "\ud800"}},
    {"result": {"ok": False, "error": "m", "details": {"line": "x"}}},
], ids=repr)
def test_the_benchmark_compares_fields_that_accept_and_refuse_alike(data):
    bench = runpy.run_path(str(BENCHMARK))
    outcomes = []
    for model in (bench["Marked"], bench["ByHand"]):
        try:
            validated = model.model_validate(data)
        except ValidationError:
            outcomes.append(None)
        else:
            outcomes.append((validated.result.to_dict(), validated.model_dump_json()))
    assert outcomes[0] == outcomes[1]
