"""The JSON Schema of the dictionary form of a Result: DICT_FORM_SCHEMA.

DICT_FORM_SCHEMA is a JSON Schema (draft 2020-12) of the dictionary form, to publish (in
OpenAPI, for instance).

Every ``to_dict()`` validates against it, and no dictionary that ``Result.from_dict`` refuses
does. It describes what ``to_dict()`` writes, so it is stricter than ``from_dict``, which also
reads extra keys and a ``code`` that is not a string. Treat it as read-only: copy it
(``copy.deepcopy``) before changing it.

>>> import json
>>> sorted(DICT_FORM_SCHEMA["$defs"])
['Err', 'Ok', 'Text']
>>> json.dumps(DICT_FORM_SCHEMA["$defs"]["Ok"]["required"])
'["ok", "value"]'

"""

from typing import Any, Final


def variant_schema(
    title: str, description: str, properties: dict[str, Any], required: list[str]
) -> dict[str, Any]:
    """The schema of one variant of a form: an object of exactly these properties."""
    return {
        "title": title,
        "description": description,
        "type": "object",
        "properties": properties,
        "required": required,
        "additionalProperties": False,
    }


def holding_variant_schema(
    title: str, description: str, flag: str, value_description: str
) -> dict[str, Any]:
    """The schema of the variant that holds a value: the flag true, and the value."""
    return variant_schema(
        title,
        description,
        {
            flag: {"type": "boolean", "const": True},
            "value": {"description": value_description},
        },
        [flag, "value"],
    )


DICT_FORM_SCHEMA: Final[dict[str, Any]] = {
    "$schema": "https://json-schema.org/draft/2020-12/schema",
    "title": "Result",
    "description": (
        "The dictionary form of a tolbrane Result, as Result.to_dict() writes it and "
        "Result.from_dict() reads it: an Ok or an Err."
    ),
    "oneOf": [{"$ref": "#/$defs/Ok"}, {"$ref": "#/$defs/Err"}],
    "$defs": {
        "Text": {
            "description": (
                "A string of Unicode scalar values: no lone surrogate, which UTF-8 cannot encode."
            ),
            "type": "string",
            # Written with escapes so that both code-point and UTF-16 regular expression engines
            # read it alike: any character but a surrogate, or a well-formed surrogate pair.
            "pattern": r"^(?:[^\ud800-\udfff]|[\ud800-\udbff][\udc00-\udfff])*$",
        },
        "Ok": holding_variant_schema(
            "Ok", "A success: the value, which may be null.", "ok",
            "The value of the Ok, of any type.",
        ),
        "Err": variant_schema(
            "Err",
            "A failure: a message, and a code and details when it has them.",
            {
                "ok": {"type": "boolean", "const": False},
                "error": {"$ref": "#/$defs/Text", "description": "The message, for people."},
                "code": {"$ref": "#/$defs/Text", "description": "The code, for programs."},
                "details": {"description": "Anything attached to the failure."},
            },
            ["ok", "error"],
        ),
    },
}
