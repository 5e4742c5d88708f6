"""Random programs of constructors, queries and combinators over both types, checked against a
small pure-Python model: ("ok", value), ("err", message, code, details), ("just", value) and
("nothing",), where an absent code or details is ABSENT."""

from hypothesis import settings, strategies as st
from hypothesis.stateful import Bundle, RuleBasedStateMachine, multiple, rule

from tolbrane import MayBe, Result

ABSENT, DEFAULT, RAISED = object(), object(), LookupError("raised by a callable")
OBJECTS = st.sampled_from([0, 1 << 70, "", "text", None, (), (1, "a"), [1], {"k": 2}, 2.5, False])
TEXTS = st.text(st.characters(exclude_categories=["Cs"]), max_size=6)


def outcome(call, view=id):
    try:
        return "value", view(call())
    except Exception as exc:  # noqa: BLE001 - the exception is the observation
        return type(exc).__name__, exc if exc is RAISED else str(exc)


def observe(real):
    """What the queries say about an instance, with payload objects by identity."""
    seen = [bool(real), len(real), repr(real), id(real.to_option()), [id(x) for x in real],
            outcome(real.unwrap), outcome(lambda: real.expect("why")), id(real | DEFAULT)]
    if type(real) is MayBe:
        return [real.is_just(), real.is_nothing(), *seen, id(real.or_else(DEFAULT))]
    items = [(key, id(item) if key in ("value", "details") else item) for key, item in real.to_dict().items()]
    return [real.is_ok(), real.is_err(), *seen, items,
            outcome(real.unwrap_err, lambda triple: (*triple[:2], id(triple[2])))]


def expected(model):
    kind, *fields = model
    if kind in ("ok", "just"):
        value = id(fields[0])
        seen = [True, False, True, 1, f"{kind.title()}({fields[0]})", value, [value], ("value", value),
                ("value", value), value]
        return seen + ([value] if kind == "just" else
                       [[("ok", True), ("value", value)], ("ValueError", "Tried to unwrap_err on an Ok")])
    if kind == "nothing":
        return [False, True, False, 0, "Nothing", id(None), [], ("ValueError", "Tried to unwrap a Nothing"),
                ("ValueError", "why"), id(DEFAULT), id(DEFAULT)]
    message, code, details = fields
    items = [("ok", False), ("error", message)] + [("code", code)] * (code is not ABSENT)
    items += [("details", id(details))] * (details is not ABSENT)
    text = f"Err('{message}')" if code is ABSENT else f"Err('{message}', code='{code}')"
    return [False, True, False, 0, text, id(None), [], ("ValueError", "Tried to unwrap an Err: " + message),
            ("ValueError", "why"), id(DEFAULT), items, ("value", (message, none(code), id(none(details))))]


def none(field):
    return None if field is ABSENT else field


def field(value):
    return ABSENT if value is None else value


def arguments(model):
    """What a callable applied to the model's variant receives."""
    return model[1:2] if model[0] in ("ok", "just") else tuple(map(none, model[1:]))


class Recorder:
    def __init__(self, reply):
        self.calls, self.reply = [], reply

    def __call__(self, *args):
        self.calls.append(args)
        self.returned = self.reply(*args)
        return self.returned


def raise_raised(*args):
    raise RAISED


MAP_REPLIES = {"wrap": lambda *args: args, "none": lambda *args: None, "raise": raise_raised}
MAP_ERR_REPLIES = {  # what the callable returns, and the failure it leads to
    "renamed": (lambda m, c, d: (m + "!", c, d), None), "fresh": (lambda *args: ("new", None, [2]), None),
    "list": (lambda *args: ["new", None, None], ("TypeError", "'list' object is not an instance of 'tuple'")),
    "short": (lambda *args: ("new",), ("ValueError", "expected tuple of length 3, but got tuple of length 1")),
    "code": (lambda *args: ("new", 5, None), ("TypeError", "'int' object is not an instance of 'str'")),
    "raise": (raise_raised, ("LookupError", RAISED)),
}
BINDS = {"flat_map": lambda r, f: r.flat_map(f), "and_then": lambda r, f: r.and_then(func=f),
         ">>": lambda r, f: r >> f}


def mismatch(returned, expected_type):
    shown = "'None' is not" if returned is None else f"'{type(returned).__name__}' object is not"
    return "TypeError", f"{shown} an instance of '{expected_type.__name__}'"


@settings(max_examples=300, stateful_step_count=25, deadline=None, database=None)
class Programs(RuleBasedStateMachine):
    values = Bundle("values")  # (instance, model) pairs of both types

    def run(self, call, model):
        """Runs call and compares it with model(), asked afterwards: a model value, or the expected
        exception as (class name, message), or the very exception object RAISED."""
        try:
            real = call()
        except Exception as exc:  # noqa: BLE001 - the exception is the observation
            assert (type(exc).__name__, exc if exc is RAISED else str(exc)) == model()
            return multiple()
        expected_model = model()
        assert type(real) is (MayBe if expected_model[0] in ("just", "nothing") else Result)
        assert observe(real) == expected(expected_model)
        return real, expected_model

    @rule(target=values, value=OBJECTS | values.map(lambda pair: pair[0]),
          how=st.sampled_from(["ok", "MayBe", "just", "nothing"]))
    def make(self, value, how):
        call = {"ok": lambda: Result.ok(value=value), "MayBe": lambda: MayBe(value),
                "just": lambda: MayBe.just(obj=value), "nothing": MayBe.nothing}[how]
        model = {"ok": ("ok", value), "nothing": ("nothing",)}.get(how, ("just", value))
        return self.run(call, lambda: ("nothing",) if how == "MayBe" and value is None else model)

    @rule(target=values, message=TEXTS, code=st.none() | TEXTS, details=OBJECTS)
    def err(self, message, code, details):
        model = ("err", message, field(code), field(details))
        return self.run(lambda: Result.err(message, code, details=details), lambda: model)

    @rule(target=values, ok=st.none() | st.booleans(), value=st.none() | OBJECTS,
          error=st.none() | TEXTS, code=st.none() | OBJECTS | TEXTS, details=st.none() | OBJECTS)
    def from_dict(self, **entries):
        d = {key: value for key, value in entries.items() if value is not None}
        if "ok" not in d:
            model = ("ValueError", "Missing 'ok' key in dict")
        elif d["ok"]:
            model = ("ok", d["value"]) if "value" in d else ("ValueError", "Missing 'value' key for Ok result")
        elif "error" not in d:
            model = ("ValueError", "Missing 'error' key for Err result")
        else:
            code = d["code"] if type(d.get("code")) is str else ABSENT
            model = ("err", d["error"], code, d.get("details", ABSENT))
        return self.run(lambda: Result.from_dict(d), lambda: model)

    @rule(target=values, pair=values)
    def rebuild(self, pair):
        (real, model), is_result = pair, type(pair[0]) is Result
        call = (lambda: Result.from_dict(real.to_dict())) if is_result else lambda: MayBe(real.to_option())
        return self.run(call, lambda: model if is_result or model[1:] != (None,) else ("nothing",))

    @rule(target=values, pair=values, reply=st.sampled_from(sorted(MAP_REPLIES)))
    def map(self, pair, reply):
        (real, model), func = pair, Recorder(MAP_REPLIES[reply])
        passes = model[0] in ("err", "nothing")
        new = self.run(lambda: real.map(func), lambda: model if passes else ("LookupError", RAISED)
                       if reply == "raise" else (model[0], func.returned))
        assert func.calls == ([] if passes else [arguments(model)])
        assert all(call[0] is model[1] for call in func.calls)
        return new

    @rule(target=values, pair=values, reply=st.sampled_from(sorted(MAP_ERR_REPLIES)))
    def map_err(self, pair, reply):
        (real, model), (answer, failure) = pair, MAP_ERR_REPLIES[reply]
        if type(real) is MayBe:
            return multiple()
        func = Recorder(answer)
        new = self.run(lambda: real.map_err(func), lambda: model if model[0] == "ok" else failure
                       or ("err", func.returned[0], *map(field, func.returned[1:])))
        assert func.calls == ([] if model[0] == "ok" else [arguments(model)])
        return new

    @rule(target=values, pair=values, other=values | st.sampled_from([5, None]),
          bind=st.sampled_from(sorted(BINDS)))
    def bind(self, pair, other, bind):
        (real, model), returned = pair, other[0] if type(other) is tuple else other
        if type(real) is MayBe and bind == "and_then":
            return multiple()
        func = Recorder(lambda value: returned)
        passes = model[0] in ("err", "nothing")
        new = self.run(lambda: BINDS[bind](real, func), lambda: model if passes else other[1]
                       if type(returned) is type(real) else mismatch(returned, type(real)))
        assert func.calls == ([] if passes else [arguments(model)])
        assert type(new) is not tuple or new[0] is not returned
        return new

    @rule(pair=values, first=st.booleans(), second=st.booleans())
    def match(self, pair, first, second):
        (real, model), marker = pair, object()
        handlers = [Recorder(lambda *args: marker) if given else None for given in (first, second)]
        handler = handlers[model[0] in ("err", "nothing")]
        assert real.match(*handlers) is (marker if handler else None)
        called = () if model[0] == "nothing" else arguments(model)
        assert [h.calls for h in handlers if h] == [[called] if h is handler else [] for h in handlers if h]


TestPrograms = Programs.TestCase
