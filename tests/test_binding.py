"""Argument binding, conversion failures, the operator slots and exceptions from called code."""

import traceback

import pytest

from _helpers import raises_exact
import tolbrane
from tolbrane import Result


def attr(owner, name):
    return getattr(owner, name)


def maybe():
    return tolbrane.MayBe


RECEIVERS = {"Result": lambda: Result, "Ok": lambda: Result.ok(2), "Err": lambda: Result.err("m"),
             "MayBe": maybe, "Just": lambda: maybe().just(2), "Nothing": lambda: maybe().nothing()}


def target(kind, method):
    obj = RECEIVERS[kind]()
    return obj if method == "__new__" else attr(obj, method)


def full_name(kind, method):
    return f"{'Result' if kind in ('Result', 'Ok', 'Err') else 'MayBe'}.{method}()"


# (receiver kind, method, parameter names, required count, arguments that bind successfully)
CALLABLES = [
    ("Result", "ok", ("value",), 1, (7,)),
    ("Result", "err", ("message", "code", "details"), 1, ("m", "c", 0)),
    ("Result", "from_dict", ("dict",), 1, ({"ok": False, "error": "m", "code": "c"},)),
    ("Ok", "expect", ("message",), 1, ("m",)),
    ("Err", "unwrap_or", ("default",), 1, (7,)),
    ("Ok", "match", ("ok", "err"), 0, (lambda x: x * 10, lambda *a: a)),
    ("Ok", "map", ("func",), 1, (lambda x: x + 1,)),
    ("Err", "map_err", ("func",), 1, (lambda m, c, d: (m + "!", "c", d),)),
    ("Ok", "flat_map", ("func",), 1, (lambda x: Result.ok(x * 3),)),
    ("Ok", "and_then", ("func",), 1, (lambda x: Result.err(str(x)),)),
    ("Result", "__class_getitem__", ("_item",), 1, (int,)),
    ("MayBe", "just", ("obj",), 1, (7,)),
    ("Just", "expect", ("message",), 1, ("m",)),
    ("Nothing", "match", ("just", "nothing"), 0, (lambda x: x * 10, lambda: "none")),
    ("Nothing", "or_else", ("default",), 1, (7,)),
    ("Just", "map", ("func",), 1, (lambda x: x + 1,)),
    ("Just", "flat_map", ("func",), 1, (lambda x: tolbrane.MayBe(x * 3),)),
    ("MayBe", "__class_getitem__", ("_item",), 1, (int,)),
    ("MayBe", "__new__", ("obj",), 1, (7,)),
]
IDS = [f"{kind}.{method}" for kind, method, *_ in CALLABLES]
REQUIRED = [c for c in CALLABLES if c[3]]
REQUIRED_IDS = [f"{kind}.{method}" for kind, method, *_ in REQUIRED]
FIELDS = "kind, method, params, required, args"


def outcome(call):
    try:
        value = call()
    except Exception as exc:  # noqa: BLE001 - the outcome is compared, whatever it is
        return ("raised", type(exc), str(exc))
    if isinstance(value, Result) and value.is_err():
        return ("returned", repr(value), value.unwrap_err())
    return ("returned", type(value), repr(value) if type(value).__module__ == "builtins" else value)


@pytest.mark.parametrize(FIELDS, CALLABLES, ids=IDS)
def test_parameters_bind_by_position_or_keyword(kind, method, params, required, args):
    f = target(kind, method)
    by_position = outcome(lambda: f(*args))
    assert by_position[0] == "returned"
    assert outcome(lambda: f(**dict(zip(params, args)))) == by_position
    assert outcome(lambda: f(*args[:1], **dict(zip(params[1:], args[1:])))) == by_position


@pytest.mark.parametrize(FIELDS, REQUIRED, ids=REQUIRED_IDS)
def test_missing_required_argument(kind, method, params, required, args):
    f = target(kind, method)
    with raises_exact(TypeError, f"{full_name(kind, method)} missing 1 required positional "
                                 f"argument: '{params[0]}'"):
        f(**dict(zip(params[1:], args[1:])))


@pytest.mark.parametrize(FIELDS, CALLABLES, ids=IDS)
def test_too_many_positional_arguments(kind, method, params, required, args):
    f, count = target(kind, method), len(params)
    takes = str(count) if required == count else f"from {required} to {count}"
    text = (f"{full_name(kind, method)} takes {takes} positional arguments "
            f"but {count + 1} were given")
    with raises_exact(TypeError, text):
        f(*args, 0)
    with raises_exact(TypeError, text):  # keywords are not examined once the count is wrong
        f(*args, 0, bogus=1, **{params[0]: 1})


@pytest.mark.parametrize(FIELDS, CALLABLES, ids=IDS)
def test_keyword_failures(kind, method, params, required, args):
    f, name = target(kind, method), full_name(kind, method)
    for call, text in [
        (lambda: f(*args, bogus=1), "got an unexpected keyword argument 'bogus'"),
        (lambda: f(bogus=1), "got an unexpected keyword argument 'bogus'"),  # before missing ones
        (lambda: f(*args, **{"a\udcffb": 1}), "got an unexpected keyword argument 'a?b'"),
        (lambda: f(*args, **{params[0]: args[0]}),
         f"got multiple values for argument '{params[0]}'"),
    ]:
        with raises_exact(TypeError, f"{name} {text}"):
            call()


@pytest.mark.parametrize("call, text", [
    (lambda: Result.ok(1, 2), "Result.ok() takes 1 positional arguments but 2 were given"),
    (lambda: Result.ok(*range(12)), "Result.ok() takes 1 positional arguments but 12 were given"),
    (lambda: Result.err("a", "b", "c", "d"),
     "Result.err() takes from 1 to 3 positional arguments but 4 were given"),
    (lambda: attr(Result.ok(1), "match")(1, 2, 3),
     "Result.match() takes from 0 to 2 positional arguments but 3 were given"),
    (lambda: maybe()(1, 2), "MayBe.__new__() takes 1 positional arguments but 2 were given"),
    (lambda: Result.ok(1, 2, value=3), "Result.ok() takes 1 positional arguments but 2 were given"),
    (lambda: Result.ok(), "Result.ok() missing 1 required positional argument: 'value'"),
    (lambda: Result.err(), "Result.err() missing 1 required positional argument: 'message'"),
    (lambda: Result.err(code="c", details=1),
     "Result.err() missing 1 required positional argument: 'message'"),
    (lambda: maybe()(), "MayBe.__new__() missing 1 required positional argument: 'obj'"),
    (lambda: Result.ok(1, value=2), "Result.ok() got multiple values for argument 'value'"),
    (lambda: Result.err("m", None, code="c"),
     "Result.err() got multiple values for argument 'code'"),
    (lambda: Result.err("m", message="n", bogus=1),
     "Result.err() got multiple values for argument 'message'"),
    (lambda: maybe()(1, obj=2, bogus=3), "MayBe.__new__() got multiple values for argument 'obj'"),
    (lambda: Result.ok(x=1), "Result.ok() got an unexpected keyword argument 'x'"),
    (lambda: Result.err("m", bogus=1, message="n"),
     "Result.err() got an unexpected keyword argument 'bogus'"),
    (lambda: maybe()(bogus=3, obj=2), "MayBe.__new__() got an unexpected keyword argument 'bogus'"),
    (lambda: Result.ok(**{"valué": 1}), "Result.ok() got an unexpected keyword argument 'valué'"),
    (lambda: Result.ok(**{"Value": 1}), "Result.ok() got an unexpected keyword argument 'Value'"),
    (lambda: Result.ok(**{"\udcff": 1}), "Result.ok() got an unexpected keyword argument '?'"),
    (lambda: Result.err("m", **{"co\udcffde": 1}),
     "Result.err() got an unexpected keyword argument 'co?de'"),
    (lambda: maybe()(**{"\udcff": 1}), "MayBe.__new__() got an unexpected keyword argument '?'"),
])
def test_binding_messages(call, text):
    with raises_exact(TypeError, text):
        call()


def test_keyword_names_compare_by_value():
    assert Result.ok(**{"".join(["val", "ue"]): 5}).unwrap() == 5  # not an interned name


class Holder:
    class Inner:
        pass


Oddly = type("Oddly", (), {"__qualname__": "Odd\udcffName"})


@pytest.mark.parametrize("call, param, text", [
    (lambda: Result.err(5), "message", "'int' object is not an instance of 'str'"),
    (lambda: Result.err(None), "message", "'None' is not an instance of 'str'"),
    (lambda: Result.err(b"m"), "message", "'bytes' object is not an instance of 'str'"),
    (lambda: Result.err("m", 7), "code", "'int' object is not an instance of 'str'"),
    (lambda: Result.err("m", code=Holder.Inner()), "code",
     "'Holder.Inner' object is not an instance of 'str'"),
    (lambda: Result.err("m", code=Oddly()), "code",
     "'Odd?Name' object is not an instance of 'str'"),
    (lambda: Result.err(code=7, message=5), "message", "'int' object is not an instance of 'str'"),
    (lambda: Result.ok(1).expect(5), "message", "'int' object is not an instance of 'str'"),
    (lambda: Result.err("e").expect(None), "message", "'None' is not an instance of 'str'"),
    (lambda: attr(Result, "from_dict")([]), "dict", "'list' object is not an instance of 'dict'"),
    (lambda: attr(Result, "from_dict")([("ok", True)]), "dict",
     "'list' object is not an instance of 'dict'"),
    (lambda: maybe().just(1).expect(5), "message", "'int' object is not an instance of 'str'"),
    (lambda: maybe().nothing().expect(message=[]), "message",
     "'list' object is not an instance of 'str'"),
])
def test_argument_conversion_failure(call, param, text):
    with pytest.raises(TypeError) as info:
        call()
    exc = info.value
    assert type(exc) is TypeError and exc.args == (f"argument '{param}': {text}",)
    assert exc.__cause__ is None and exc.__suppress_context__ is True


def test_argument_conversion_failure_keeps_the_context_it_was_raised_in():
    handled = KeyError("handled")
    with pytest.raises(TypeError) as info:
        try:
            raise handled
        except KeyError:
            Result.err(5)
    assert info.value.__context__ is handled and info.value.__suppress_context__ is True


@pytest.mark.parametrize("call, char, pos", [
    (lambda: Result.err("a\udcff"), "\\udcff", 1),
    (lambda: Result.err("\ud800", 5), "\\ud800", 0),
    (lambda: Result.err("m", "xy\ud800"), "\\ud800", 2),
    (lambda: Result.ok(1).expect("\udc80"), "\\udc80", 0),
    (lambda: maybe().just(1).expect("\udc80"), "\\udc80", 0),
])
def test_lone_surrogate_text_raises_encoding_error_unprefixed(call, char, pos):
    with pytest.raises(UnicodeEncodeError) as info:
        call()
    assert str(info.value) == (
        f"'utf-8' codec can't encode character '{char}' in position {pos}: surrogates not allowed")


class MisleadingText(str):
    def __str__(self):
        return "not the text"


def test_str_subclass_accepted_as_text():
    message, code, details = Result.err(MisleadingText("msg"), MisleadingText("code")).unwrap_err()
    assert (type(message), type(code), message, code, details) == (str, str, "msg", "code", None)
    with raises_exact(ValueError, "why"):
        Result.err("e").expect(MisleadingText("why"))


@pytest.mark.parametrize("call, text", [
    (lambda: 1 | Result.ok(2), "unsupported operand type(s) for |: 'int' and 'builtins.Result'"),
    (lambda: 1 >> Result.ok(2), "unsupported operand type(s) for >>: 'int' and 'builtins.Result'"),
    (lambda: len >> Result.err("e"),
     "unsupported operand type(s) for >>: 'builtin_function_or_method' and 'builtins.Result'"),
    (lambda: "s" | Result.err("e"),
     "unsupported operand type(s) for |: 'str' and 'builtins.Result'"),
    (lambda: 1 | maybe().just(2), "unsupported operand type(s) for |: 'int' and 'builtins.MayBe'"),
    (lambda: 1 >> maybe().just(2),
     "unsupported operand type(s) for >>: 'int' and 'builtins.MayBe'"),
])
def test_foreign_left_operand_is_refused(call, text):
    with raises_exact(TypeError, text):
        call()
    r = Result.ok(2)
    assert r.__ror__(1) is NotImplemented and r.__rrshift__(len) is NotImplemented


@pytest.mark.parametrize("kind, method, keyword", [
    ("Ok", ">>", None), ("Ok", "flat_map", None), ("Ok", "and_then", None), ("Ok", "map", None),
    ("Ok", "match", "ok"), ("Err", "map_err", None), ("Err", "match", "err"), ("Just", ">>", None),
])
@pytest.mark.parametrize("error_type", [ValueError, TypeError, KeyError, SystemExit])
def test_exception_from_callable_passes_through_unchanged(kind, method, keyword, error_type):
    error = error_type("from the callable")

    def failing(*_):
        raise error

    obj = RECEIVERS[kind]()
    if method == ">>":
        apply = lambda f: obj >> f  # noqa: E731
    else:
        bound = attr(obj, method)
        apply = (lambda f: bound(**{keyword: f})) if keyword else bound
    with pytest.raises(BaseException) as info:
        apply(failing)
    assert info.value is error and info.value.args == ("from the callable",)
    frames = traceback.walk_tb(info.value.__traceback__)
    assert failing.__code__ in {frame.f_code for frame, _ in frames}
