"""The Result value: construction, queries, unwrapping, protocols, repr and the two operators."""

import sys

import pytest

from _helpers import raises_exact, Text
from tolbrane import Result


class Payload:
    def __str__(self):
        return "payload"


class Right:
    def __ror__(self, left):
        return ("ror", left)


PAYLOAD, OTHER, INNER, DETAILS, ERR = Payload(), Payload(), Result.ok(1), {"k": [1]}, object()


@pytest.mark.parametrize("make, value", [
    (lambda: Result.ok(PAYLOAD), PAYLOAD), (lambda: Result.ok(None), None),
    (lambda: Result.ok(0), 0), (lambda: Result.ok(False), False), (lambda: Result.ok(INNER), INNER),
    (lambda: Result.ok(value=PAYLOAD), PAYLOAD), (lambda: Result.err("x").ok(PAYLOAD), PAYLOAD),
    (lambda: Result.err(""), ERR), (lambda: Result.err("boom", "E1", DETAILS), ERR),
    (lambda: Result.ok(1).err("x"), ERR),
])
def test_queries(make, value):
    r, is_ok = make(), value is not ERR
    assert type(r) is Result
    assert (r.is_ok(), r.is_err(), bool(r), len(r)) == (is_ok, not is_ok, is_ok, int(is_ok))
    assert r.to_option() is (value if is_ok else None)
    assert r.unwrap_or(OTHER) is (value if is_ok else OTHER)
    assert (r | OTHER) is (value if is_ok else OTHER)
    items = list(r)
    assert len(items) == int(is_ok) and all(item is value for item in items)
    if is_ok:
        assert r.unwrap() is value and r.expect("unused") is value


def test_iteration_gives_a_fresh_iterator_each_time():
    r = Result.ok(PAYLOAD)
    first, second = iter(r), iter(r)
    assert first is not second
    assert next(first) is PAYLOAD and list(first) == [] and list(second) == [PAYLOAD]


@pytest.mark.parametrize("make, call, text", [
    (lambda: Result.err("boom"), Result.unwrap, "Tried to unwrap an Err: boom"),
    (lambda: Result.err(""), Result.unwrap, "Tried to unwrap an Err: "),
    (lambda: Result.err("boom", "E1", DETAILS), Result.unwrap, "Tried to unwrap an Err: boom"),
    (lambda: Result.ok(1), Result.unwrap_err, "Tried to unwrap_err on an Ok"),
    (lambda: Result.ok(None), Result.unwrap_err, "Tried to unwrap_err on an Ok"),
    (lambda: Result.err("a"), lambda r: r.expect("b"), "b"),
    (lambda: Result.err("a", "c", DETAILS), lambda r: r.expect(""), ""),
])
def test_unwrapping_failures(make, call, text):
    with pytest.raises(ValueError) as info:
        call(make())
    assert type(info.value) is ValueError and info.value.args == (text,)


@pytest.mark.parametrize("make, fields", [
    (lambda: Result.err("x"), ("x", None, None)),
    (lambda: Result.err("x", None, None), ("x", None, None)),
    (lambda: Result.err("x", code=""), ("x", "", None)),
    (lambda: Result.err("boom", "E1", DETAILS), ("boom", "E1", DETAILS)),
    (lambda: Result.err("x", details=0), ("x", None, 0)),
    (lambda: Result.err("x", details=False), ("x", None, False)),
    (lambda: Result.err(details=INNER, message="m"), ("m", None, INNER)),
])
def test_unwrap_err_fields(make, fields):
    got = make().unwrap_err()
    assert type(got) is tuple and got == fields
    assert got[2] is fields[2] and type(got[2]) is type(fields[2])


@pytest.mark.parametrize("text", ["", "a\x00b", "\x00", "é", "€uro", "\U0001f600 smile", "\uffff",
                                  "\U0010ffff", "line\nbreak \\ ' \""])
def test_texts_round_trip(text):
    r = Result.err(text, text)
    assert r.unwrap_err() == (text, text, None)
    assert repr(r) == f"Err('{text}', code='{text}')" and repr(Result.ok(text)) == f"Ok({text})"
    for call, message in [(r.unwrap, "Tried to unwrap an Err: " + text),
                          (lambda: r.expect(text), text)]:
        with pytest.raises(ValueError) as info:
            call()
        assert info.value.args == (message,)


@pytest.mark.parametrize("make, text", [
    (lambda: Result.ok(None), "Ok(None)"), (lambda: Result.ok("hi"), "Ok(hi)"),
    (lambda: Result.ok(Result.ok(1)), "Ok(Ok(1))"), (lambda: Result.ok(PAYLOAD), "Ok(payload)"),
    (lambda: Result.ok([1, "a"]), "Ok([1, 'a'])"), (lambda: Result.err(""), "Err('')"),
    (lambda: Result.err("it's"), "Err('it's')"),
    (lambda: Result.err("x", code=""), "Err('x', code='')"),
    (lambda: Result.err("boom", "E1", {"a": 1}), "Err('boom', code='E1')"),
    (lambda: Result.err("x", None, None), "Err('x')"),
    (lambda: Result.err("x", details=5), "Err('x')"),
    (lambda: Result.err('a"b\\c\nd', "q'"), "Err('a\"b\\c\nd', code='q'')"),
    (lambda: Result.ok(Result.err("e", "c")), "Ok(Err('e', code='c'))"),
])
def test_repr_str_and_format_agree(make, text):
    r = make()
    assert repr(r) == text and str(r) == text and f"{r}" == text


def test_repr_passes_str_failure_through():
    error = RuntimeError("no str")

    class Broken:
        def __str__(self):
            raise error

    with pytest.raises(RuntimeError) as info:
        repr(Result.ok(Broken()))
    assert info.value is error


@pytest.mark.parametrize("value, char, pos", [("x\ud800", "\\ud800", 1),
                                             (Text("\udcff"), "\\udcff", 0)])
def test_repr_of_unencodable_value(value, char, pos):
    with raises_exact(UnicodeEncodeError, f"'utf-8' codec can't encode character '{char}' in "
                                          f"position {pos}: surrogates not allowed"):
        repr(Result.ok(value))


@pytest.mark.parametrize("expr", [
    lambda: Result[int, str], lambda: Result[int], lambda: Result.__class_getitem__(int),
    lambda: Result.__class_getitem__(_item=None), lambda: Result.ok(1).__class_getitem__(int),
])
def test_class_getitem_returns_the_class(expr):
    assert expr() is Result


def test_equality_is_identity():
    r = Result.ok(1)
    assert r == r and Result.ok(1) != Result.ok(1) and Result.err("e") != Result.err("e")
    assert hash(r) == object.__hash__(r)


def test_rshift_on_ok_copies_what_the_callable_returns():
    seen, returned = [], Result.ok([])
    out = Result.ok(PAYLOAD) >> (lambda x: seen.append(x) or returned)
    assert seen == [PAYLOAD] and type(out) is Result and out is not returned
    assert out.unwrap() is returned.unwrap()
    out.unwrap().append(1)
    assert returned.unwrap() == [1]
    failing = Result.err("m", "c", DETAILS)
    out = Result.ok(1) >> (lambda x: failing)
    assert out is not failing and out.unwrap_err() == ("m", "c", DETAILS)
    assert out.unwrap_err()[2] is DETAILS
    assert (Result.ok(1) >> (lambda x: Result.ok(x + 1))).unwrap() == 2


@pytest.mark.parametrize("right", [42, None, lambda x: 1 / 0])
def test_rshift_on_err_copies_the_receiver_without_calling(right):
    left = Result.err("m", "c", DETAILS)
    for out in (left >> right, Result.ok(1).__rrshift__(left)):
        assert type(out) is Result and out is not left
        assert out.unwrap_err() == ("m", "c", DETAILS) and out.unwrap_err()[2] is DETAILS


@pytest.mark.parametrize("right, text", [
    (lambda x: x, "'int' object is not an instance of 'Result'"),
    (lambda x: None, "'None' is not an instance of 'Result'"),
    (lambda x: (Result.ok(x),), "'tuple' object is not an instance of 'Result'"),
    (42, "'int' object is not callable"),
])
def test_rshift_failures(right, text):
    with raises_exact(TypeError, text):
        Result.ok(1) >> right


def test_or_operator():
    other, r, marker = Result.ok(2), Result.ok(5), Right()
    assert Result.ok(1) | 5 == 1 and Result.err("e") | 5 == 5
    assert Result.err("e") | other is other and Result.ok(PAYLOAD) | other is PAYLOAD
    assert r.__ror__(Result.err("e")) is r and r.__ror__(Result.ok(PAYLOAD)) is PAYLOAD
    assert Result.err("e") | marker is marker  # returned, not asked


def test_or_yielding_not_implemented_counts_as_refusal():
    holder = Result.ok(NotImplemented)
    assert holder.__or__(5) is NotImplemented
    assert Result.err("e").__or__(NotImplemented) is NotImplemented
    with raises_exact(TypeError, "unsupported operand type(s) for |: 'builtins.Result' and 'int'"):
        holder | 5
    with raises_exact(TypeError, "unsupported operand type(s) for |: 'builtins.Result' and "
                                 "'NotImplementedType'"):
        Result.err("e") | NotImplemented
    assert holder | Right() == ("ror", holder)


def test_callable_may_reenter_the_same_instance():
    r, calls = Result.ok(3), []

    def f(x):
        assert (r.is_ok(), r.unwrap(), r.unwrap_or(0), list(r), repr(r), len(r), r | 0) == (
            True, 3, 3, [3], "Ok(3)", 1, 3)
        calls.append(x)
        return r >> f if len(calls) < 5 else Result.ok(x * 2)

    assert (r >> f).unwrap() == 6 and calls == [3] * 5
    with pytest.raises(ZeroDivisionError):
        r >> (lambda x: (r >> Result.ok).unwrap() / 0)
    assert r.unwrap() == 3 and repr(r) == "Ok(3)"


def fail(*_):
    raise LookupError("callable failed")


@pytest.mark.parametrize("operation", [
    lambda p, t: (Result.ok(p).unwrap(), Result.ok(p).expect(t), Result.ok(p).to_option()),
    lambda p, t: (list(Result.ok(p)), repr(Result.ok(p)), Result[p, t]),
    lambda p, t: (Result.ok(p) | 0, Result.err(t) | p, Result.err(t).unwrap_or(p)),
    lambda p, t: (Result.ok(p) >> Result.ok, Result.err(t, t, p) >> p),
    lambda p, t: (Result.err(t, t, p).unwrap_err(), Result.ok(p).__ror__(Result.err(t))),
    lambda p, t: Result.ok(p) >> (lambda x: x),
    lambda p, t: Result.ok(p) >> fail,
    lambda p, t: Result.ok(p) >> p,
    lambda p, t: Result.err(p),
    lambda p, t: Result.err(t, p),
    lambda p, t: Result.ok(p).expect(p),
    lambda p, t: Result.err(t, details=p).unwrap(),
    lambda p, t: Result.err(t, details=p).expect(t),
    lambda p, t: Result.ok(p).unwrap_err(),
    lambda p, t: Result.ok(p, bogus=t),
    lambda p, t: Result.err(t, **{t: p}),
])
def test_reference_counts_unchanged(operation):
    payload, text = Payload(), "".join(["te", "xt"])

    def run():
        try:
            operation(payload, text)
        except (TypeError, ValueError, LookupError):
            pass

    run()
    before = (sys.getrefcount(payload), sys.getrefcount(text))
    for _ in range(2000):
        run()
    assert (sys.getrefcount(payload), sys.getrefcount(text)) == before
