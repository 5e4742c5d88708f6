"""pydantic v2 fields of Results and MayBes: ResultOf, MayBeOf and MAYBE_FORM_SCHEMA.

At run time ``Result[int]`` is the class ``Result`` itself, so the types a field holds are given
by a marker in ``Annotated``: ``Annotated[Result[int], ResultOf(int)]`` validates the dictionary
form of a Result (the Ok's value as an ``int``), serialises to it in ``model_dump()`` and
``model_dump_json()``, and shows its JSON Schema in ``model_json_schema()``.
``Annotated[MayBe[str], MayBeOf(str)]`` does the same for a MayBe, whose form is
``{"just": true, "value": ...}`` or ``{"just": false}`` (MAYBE_FORM_SCHEMA).

Importing this module needs pydantic (``pip install tolbrane[pydantic]``) and changes nothing:
neither the native types nor pydantic are patched.

>>> from typing import Annotated
>>> from pydantic import BaseModel
>>> class Reply(BaseModel):
...     result: Annotated[Result[int], ResultOf(int)]
>>> Reply.model_validate_json('{"result": {"ok": true, "value": 7}}')
Reply(result=Ok(7))
>>> Reply(result=Result.err("no stock", "E_STOCK")).model_dump_json()
'{"result":{"ok":false,"error":"no stock","code":"E_STOCK"}}'
"""

import copy
from collections.abc import Callable
from dataclasses import dataclass
from typing import Any, ClassVar, Final, Literal, cast

from pydantic import BaseModel, GetCoreSchemaHandler, GetJsonSchemaHandler
from pydantic.json_schema import JsonSchemaValue
from pydantic_core import PydanticCustomError, core_schema

from tolbrane import MayBe, Result

from tolbrane_tools import DICT_FORM_SCHEMA
from tolbrane_tools._schema import holding_variant_schema, variant_schema

__all__ = ["MAYBE_FORM_SCHEMA", "MayBeOf", "ResultOf"]

MAYBE_FORM_SCHEMA: Final[dict[str, Any]] = {
    "$schema": "https://json-schema.org/draft/2020-12/schema",
    "title": "MayBe",
    "description": "A tolbrane MayBe as a pydantic field writes and reads it: a Just or a Nothing.",
    "oneOf": [{"$ref": "#/$defs/Just"}, {"$ref": "#/$defs/Nothing"}],
    "$defs": {
        "Just": holding_variant_schema(
            "Just", "A held object, which may be null.", "just", "The held object, of any type."
        ),
        "Nothing": variant_schema(
            "Nothing", "No object.", {"just": {"type": "boolean", "const": False}}, ["just"]
        ),
    },
}
"""The JSON Schema (draft 2020-12) of a MayBe field's form; treat it as read-only.

>>> MAYBE_FORM_SCHEMA["$defs"]["Just"]["required"]
['just', 'value']
"""


def _tag(key: str, yes: str, no: str) -> Callable[[Any], str | None]:
    # Only a real bool chooses a branch: from_dict refuses 1 and "true" for its "ok" key.
    def tag(form: Any) -> str | None:
        flag = cast(dict[str, object], form).get(key) if isinstance(form, dict) else None
        if type(flag) is bool:
            return yes if flag else no
        return None

    return tag


def _check_text(text: str) -> str:
    try:
        text.encode("utf-8")
    except UnicodeEncodeError:
        raise PydanticCustomError(
            "tolbrane_text", "Input should be text that UTF-8 can encode, without lone surrogates"
        ) from None
    return text


def _text_schema() -> core_schema.CoreSchema:
    # Strict even in lax mode: from_dict refuses bytes for a message, so the field does too.
    return core_schema.no_info_after_validator_function(
        _check_text, core_schema.str_schema(strict=True)
    )


def _flag(value: bool) -> core_schema.TypedDictField:
    # The tag has already checked the flag; this field only keeps it in the validated form.
    return core_schema.typed_dict_field(core_schema.literal_schema([value]))


def _holding_branch(
    flag: str, value: core_schema.CoreSchema, extra: Literal["ignore", "forbid"]
) -> core_schema.CoreSchema:
    """The branch of a form that holds a value: the flag true, and the value."""
    return core_schema.typed_dict_schema(
        {flag: _flag(True), "value": core_schema.typed_dict_field(value)}, extra_behavior=extra
    )



# type(), not isinstance(): an object claiming the class through __class__ (a Mock with a spec)
# is refused as any other input, where the conversion would raise through pydantic.
def _result_form(form: Any) -> Any:
    if type(form) is Result:
        return _result_to_form(form)  # pyright: ignore[reportUnknownArgumentType]
    return form


def _result_of(form: dict[str, Any]) -> Result[Any]:
    return Result.from_dict(form)


def _result_to_form(result: Result[Any]) -> dict[str, Any]:
    return dict(result.to_dict())


def _maybe_form(form: Any) -> Any:
    if type(form) is MayBe:
        return _maybe_to_form(form)  # pyright: ignore[reportUnknownArgumentType]
    return form


def _maybe_of(form: dict[str, Any]) -> MayBe[Any]:
    return MayBe.just(form["value"]) if form["just"] else MayBe.nothing()


def _maybe_to_form(maybe: MayBe[Any]) -> dict[str, Any]:
    return {"just": True, "value": maybe.unwrap()} if maybe else {"just": False}


def _schema_of(kind: Any, handler: GetCoreSchemaHandler) -> core_schema.CoreSchema:
    """The schema of a type a marker names, in a parametrised generic class too.

    pydantic puts the type arguments of a generic model, dataclass or TypedDict in for its type
    variables in a field's annotation, not in a marker's arguments: ``Reply[int]`` would take any
    value for ``ResultOf(T)``. The marker puts in those of the class whose field it is.
    """
    arguments = _type_arguments(handler)
    if arguments:
        from pydantic._internal._generics import replace_types

        kind = replace_types(kind, arguments)
    return handler.generate_schema(kind)


def _type_arguments(handler: GetCoreSchemaHandler) -> dict[Any, Any]:
    # pydantic keeps the class whose fields it is building on a stack of its own, and its own
    # functions read a class's type arguments; without them (another pydantic 2 release), the
    # type variables stay as they are, rather than the import of this module failing.
    try:
        from pydantic._internal._generics import get_model_typevars_map, get_standard_typevars_map
    except ImportError:
        return {}
    stack = getattr(getattr(handler, "_generate_schema", None), "model_type_stack", None)
    owner: Any = stack.get() if stack is not None else None
    if owner is None:
        return {}
    if isinstance(owner, type) and issubclass(owner, BaseModel):
        return dict(get_model_typevars_map(owner))
    return dict(get_standard_typevars_map(owner) or {})


def _untitled(schema: dict[str, Any]) -> dict[str, Any]:
    # pydantic titles each key after its name ("Value"); the published form describes them.
    return {key: item for key, item in schema.items() if key != "title"}


@dataclass(frozen=True, slots=True)
class _Form:
    """A form a marker reads and writes: its flag, its two variants and the conversions."""

    flag: str
    holding: str
    other: str
    error_type: str
    error_message: str
    before: Callable[[Any], Any]
    after: Callable[[Any], Any]
    serialise: Callable[[Any], dict[str, Any]]


_RESULT_FORM: Final = _Form(
    "ok", "Ok", "Err", "tolbrane_result_form",
    "Input should be the dictionary form of a Result: a dict whose 'ok' is true or false",
    _result_form, _result_of, _result_to_form,
)
_MAYBE_FORM: Final = _Form(
    "just", "Just", "Nothing", "tolbrane_maybe_form",
    "Input should be the form of a MayBe: a dict whose 'just' is true or false",
    _maybe_form, _maybe_of, _maybe_to_form,
)


class _FormMarker:
    """What both markers build: a tagged union of the two branches, read and written as a form."""

    __slots__ = ()
    value: Any
    extra: Literal["ignore", "forbid"]
    _form: ClassVar[_Form]

    def __get_pydantic_core_schema__(
        self, source: Any, handler: GetCoreSchemaHandler
    ) -> core_schema.CoreSchema:
        form = self._form
        value = _schema_of(self.value, handler)
        tagged = core_schema.tagged_union_schema(
            {
                form.holding: _holding_branch(form.flag, value, self.extra),
                form.other: self._other_branch(handler),
            },
            _tag(form.flag, form.holding, form.other),
            custom_error_type=form.error_type,
            custom_error_message=form.error_message,
        )

        # pydantic writes the schemas of the value and details (a nested field's included);
        # this takes them from its branches, or from the one dict that serialises both, and sets
        # them in the published form.
        def show(schema: core_schema.CoreSchema, json: GetJsonSchemaHandler) -> JsonSchemaValue:
            generated = json.resolve_ref_schema(json(schema))
            if "oneOf" not in generated:
                return self._json_schema([generated["properties"]] * 2)
            return self._json_schema([branch["properties"] for branch in generated["oneOf"]])

        return core_schema.no_info_before_validator_function(
            form.before,
            core_schema.no_info_after_validator_function(form.after, tagged),
            serialization=core_schema.plain_serializer_function_ser_schema(
                form.serialise, return_schema=self._written_form(value, handler)
            ),
            metadata={"pydantic_js_functions": [show]},
        )

    def _other_branch(self, handler: GetCoreSchemaHandler) -> core_schema.CoreSchema:
        raise NotImplementedError

    def _written_form(
        self, value: core_schema.CoreSchema, handler: GetCoreSchemaHandler
    ) -> core_schema.CoreSchema:
        """The schema that writes both variants' forms: one dict whose keys are all optional but
        the flag. Not a union: pydantic writes a union's member by its own type, so a subclass of
        a declared model would show every field it has, where a plain field shows the declared
        model's alone."""
        raise NotImplementedError

    def _json_schema(self, branches: list[dict[str, Any]]) -> JsonSchemaValue:
        raise NotImplementedError


@dataclass(frozen=True, slots=True)
class ResultOf(_FormMarker):
    """The marker of a pydantic field holding a Result: ``Annotated[Result[T], ResultOf(T)]``.

    ``value`` is the type of an Ok's value, ``details`` that of an Err's details (both any
    object by default). The field reads the dictionary form, or a Result when validating Python
    objects (its value and details are validated again); in lax mode too, ``ok`` must be a
    bool and ``error`` and ``code`` strings, as ``Result.from_dict`` demands. Extra keys are ignored, as ``Result.from_dict`` ignores them, unless
    ``extra="forbid"``; the model's own ``extra`` setting is for the model's keys.

    >>> from typing import Annotated
    >>> from pydantic import TypeAdapter
    >>> adapter = TypeAdapter(Annotated[Result[int], ResultOf(int, details=dict[str, int])])
    >>> adapter.validate_python({"ok": True, "value": "12"})
    Ok(12)
    >>> adapter.validate_python({"ok": False, "error": "bad", "details": {"line": "3"}}).unwrap_err()
    ('bad', None, {'line': 3})
    """

    value: Any = Any
    details: Any = Any
    extra: Literal["ignore", "forbid"] = "ignore"
    _form: ClassVar[_Form] = _RESULT_FORM

    def _other_branch(self, handler: GetCoreSchemaHandler) -> core_schema.CoreSchema:
        details = _schema_of(self.details, handler)
        return core_schema.typed_dict_schema({
            "ok": _flag(False),
            "error": core_schema.typed_dict_field(_text_schema()),
            "code": core_schema.typed_dict_field(_text_schema(), required=False),
            "details": core_schema.typed_dict_field(details, required=False),
        }, extra_behavior=self.extra)

    def _written_form(
        self, value: core_schema.CoreSchema, handler: GetCoreSchemaHandler
    ) -> core_schema.CoreSchema:
        return core_schema.typed_dict_schema({
            "ok": core_schema.typed_dict_field(core_schema.bool_schema()),
            "value": core_schema.typed_dict_field(value, required=False),
            "error": core_schema.typed_dict_field(_text_schema(), required=False),
            "code": core_schema.typed_dict_field(_text_schema(), required=False),
            "details": core_schema.typed_dict_field(
                _schema_of(self.details, handler), required=False
            ),
        })

    def _json_schema(self, branches: list[dict[str, Any]]) -> JsonSchemaValue:
        defs = copy.deepcopy(DICT_FORM_SCHEMA["$defs"])
        ok_form, err_form = defs["Ok"], defs["Err"]
        ok_form["properties"]["value"] |= _untitled(branches[0]["value"])
        err_form["properties"]["details"] |= _untitled(branches[1]["details"])
        for key in ("error", "code"):
            described = {"description": err_form["properties"][key]["description"]}
            err_form["properties"][key] = defs["Text"] | described
        return {"title": "Result", "oneOf": [ok_form, err_form]}


@dataclass(frozen=True, slots=True)
class MayBeOf(_FormMarker):
    """The marker of a pydantic field holding a MayBe: ``Annotated[MayBe[T], MayBeOf(T)]``.

    The field reads ``{"just": true, "value": ...}`` (the held object validated as ``value``) or
    ``{"just": false}``, or a MayBe when validating Python objects, and writes the same form.
    A Just holding None keeps it: the form tells it from a Nothing. Extra keys are ignored
    unless ``extra="forbid"``.

    >>> from typing import Annotated
    >>> from pydantic import TypeAdapter
    >>> adapter = TypeAdapter(Annotated[MayBe[int], MayBeOf(int)])
    >>> adapter.validate_json('{"just": true, "value": 3}')
    Just(3)
    >>> adapter.dump_python(MayBe.nothing())
    {'just': False}
    """

    value: Any = Any
    extra: Literal["ignore", "forbid"] = "ignore"
    _form: ClassVar[_Form] = _MAYBE_FORM

    def _other_branch(self, handler: GetCoreSchemaHandler) -> core_schema.CoreSchema:
        return core_schema.typed_dict_schema({"just": _flag(False)}, extra_behavior=self.extra)

    def _written_form(
        self, value: core_schema.CoreSchema, handler: GetCoreSchemaHandler
    ) -> core_schema.CoreSchema:
        return core_schema.typed_dict_schema({
            "just": core_schema.typed_dict_field(core_schema.bool_schema()),
            "value": core_schema.typed_dict_field(value, required=False),
        })

    def _json_schema(self, branches: list[dict[str, Any]]) -> JsonSchemaValue:
        defs = copy.deepcopy(MAYBE_FORM_SCHEMA["$defs"])
        defs["Just"]["properties"]["value"] |= _untitled(branches[0]["value"])
        return {"title": "MayBe", "oneOf": [defs["Just"], defs["Nothing"]]}
