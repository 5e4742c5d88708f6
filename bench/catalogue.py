"""Every benchmarked operation, once, for the timing run (run.py) and the instruction count
(instructions.py).

A case is one operation written for each implementation that has a counterpart: tolbrane, the
pure-Python dataclass version in pure.py, the lean pure-Python class in lean.py (Result only), the
`result` package and the `returns` package. The floor cases
are CPython builtins of the same shape. Each snippet is compiled into a loop function

    def bench(loops):
        <setup: locals such as r = Result.ok(x)>
        t0 = perf_counter()
        for _ in repeat(None, loops):
            <statement, repeated UNROLL times>
        return perf_counter() - t0

so receivers and arguments are fast locals and classes and callables are module globals, as in
user code. The cost of one operation is the loop's cost per statement minus that of the same loop
with an empty body (the `empty` baseline of the same unroll factor).
"""

from __future__ import annotations

import textwrap
from dataclasses import dataclass, field

UNROLL = 10  # statements per loop iteration: keeps the loop's own cost small

TOLBRANE, PURE, LEAN, RESULT, RETURNS, FLOOR = ("tolbrane", "pure", "lean", "result", "returns",
                                               "floor")
PEERS = (PURE, LEAN, RESULT, RETURNS)
PEER_TITLES = {PURE: "dataclass", LEAN: "lean class", RESULT: "`result`", RETURNS: "`returns`"}

# Targets, by kind of operation. A ratio is tolbrane's cost over the reference's cost.
QUERY_LIMIT = 1.15        # queries against the no-argument C method
CONSTRUCTOR_LIMIT = 1.25  # constructors against object()
COMBINATOR_LIMIT = 1.25   # a combinator's own cost (beyond the call) against a constructor
KEYWORD_EXTRA_NS = 10.0   # passing func= by keyword instead of by position
CHAIN_SPEEDUP = {PURE: 5.0, RESULT: 3.0}


@dataclass(frozen=True)
class Snippet:
    stmt: str
    setup: str = ""
    # A loop header replacing the unrolled loop (its body is `stmt`, once): for operations that
    # happen inside a C iterator, such as one call made by map().
    loop: str | None = None

    @property
    def unroll(self) -> int:
        return 1 if self.loop else UNROLL


@dataclass(frozen=True)
class Case:
    key: str            # unique and stable: "Result.is_ok"
    label: str          # what the table shows
    section: str        # "Result", "MayBe", "Floor"
    kind: str           # query, constructor, combinator, keyword, chain, failure, other, floor
    code: dict[str, Snippet]
    floor: str | None = None         # the floor its target names
    shape: str | None = None         # the builtin of the same call shape, when another one
    callee: str | None = None        # combinators: the floor case calling the same callable
    constructor: str | None = None   # combinators: the constructor their own cost is held to
    positional: str | None = None    # keyword path: the same call by position
    notes: dict[str, str] = field(default_factory=dict)  # implementation -> what it runs instead

    def snippet(self, implementation: str) -> Snippet | None:
        return self.code.get(implementation)


# --------------------------------------------------------------------------------------------
# Names each implementation's loops see as globals, and the locals every loop starts with.

_CALLABLES = """
def f(v):
    return v

def h3(message, code, details):
    return (message, code, details)

def k0():
    return None
"""

_PRELUDES = {
    TOLBRANE: "from tolbrane import Result, MayBe\n"
              "def g(v):\n    return Result.ok(v)\n"
              "def gm(v):\n    return MayBe.just(v)\n",
    PURE: "from pure import Result, MayBe\n"
          "def g(v):\n    return Result.ok(v)\n"
          "def gm(v):\n    return MayBe.just(v)\n",
    LEAN: "from lean import Result\n"
          "def g(v):\n    return Result.ok(v)\n",
    RESULT: "from result import Ok, Err, UnwrapError\n"
            "def g(v):\n    return Ok(v)\n",
    RETURNS: "from returns.result import Success, Failure\n"
             "from returns.maybe import Maybe, Some, Nothing\n"
             "from returns.primitives.exceptions import UnwrapFailedError\n"
             "def g(v):\n    return Success(v)\n"
             "def gm(v):\n    return Some(v)\n",
    FLOOR: "",
}

_COMMON_LOCALS = ("x = 1000; m = 'boom'; c = 'E1'; d = {'k': 1}; s = 'a'; t = 'b'; tup = (x,); "
                  "yes = True; no = False; dd = {}")

_LOCALS = {
    TOLBRANE: "r = Result.ok(x); e = Result.err(m); j = MayBe.just(x); n = MayBe.nothing(); "
              "dct = r.to_dict()",
    PURE: "r = Result.ok(x); e = Result.err(m); j = MayBe.just(x); n = MayBe.nothing(); "
          "dct = r.to_dict()",
    LEAN: "r = Result.ok(x); e = Result.err(m); dct = r.to_dict()",
    RESULT: "r = Ok(x); e = Err(m)",
    RETURNS: "r = Success(x); e = Failure(m); j = Some(x); n = Nothing",
    FLOOR: "",
}


def namespace(implementation: str) -> dict:
    """The globals of one implementation's loops; imports the implementation."""
    from itertools import repeat
    from time import perf_counter

    names = {"repeat": repeat, "perf_counter": perf_counter}
    exec(_CALLABLES + _PRELUDES[implementation], names)
    return names


def compile_loop(implementation: str, snippet: Snippet, names: dict):
    """The loop function `bench(loops) -> seconds` for one snippet."""
    body = textwrap.indent(snippet.stmt, " " * 8)
    if snippet.loop:
        loop = f"    for _ in {snippet.loop}:\n{body}\n"
    else:
        loop = "    for _ in repeat(None, loops):\n" + (body + "\n") * UNROLL
    setup = "; ".join(part for part in (_COMMON_LOCALS, _LOCALS[implementation], snippet.setup)
                      if part)
    source = (f"def bench(loops):\n    {setup}\n    t0 = perf_counter()\n{loop}"
              f"    return perf_counter() - t0\n")
    scope = dict(names)
    exec(compile(source, f"<{implementation}>", "exec"), scope)
    return scope["bench"]


# --------------------------------------------------------------------------------------------
# The cases.

S = Snippet


def _floor(key, label, stmt, loop=None, setup=""):
    return Case(key, label, "Floor", "floor", {FLOOR: S(stmt, setup, loop)})


FLOORS = [
    _floor("empty", "empty loop body (baseline)", "pass"),
    _floor("empty1", "empty loop, one item at a time (baseline)", "pass", loop="repeat(x, loops)"),
    _floor("method0", '"a".isascii()', "s.isascii()"),
    _floor("method1", '"a".expandtabs(x)', "s.expandtabs(x)"),
    _floor("alloc", "object()", "object()"),
    _floor("static_alloc", "str.maketrans({})", "str.maketrans(dd)"),
    _floor("call_f", "one call of f by map(f, ...)", "pass", loop="map(f, repeat(x, loops))"),
    _floor("call_g", "one call of g by map(g, ...)", "pass", loop="map(g, repeat(x, loops))"),
    _floor("call_gm", "one call of gm by map(gm, ...)", "pass", loop="map(gm, repeat(x, loops))"),
    _floor("call_h3", "one call of h3 by map(h3, ...)", "pass",
           loop="map(h3, repeat(m, loops), repeat(c, loops), repeat(None, loops))"),
    _floor("bool", "bool(1000)", "bool(x)"),
    _floor("len", 'len("a")', "len(s)"),
    _floor("or", "True | False", "yes | no"),
    _floor("iter", "for v in (x,): pass", "for v in tup:\n    pass"),
    _floor("dict", '{"ok": True, "value": x}', "{'ok': True, 'value': x}"),
    _floor("str", "str(1000)", "str(x)"),
    _floor("raise", '"a".index("b") caught', "try:\n    s.index(t)\nexcept ValueError:\n    pass"),
]
# The floors a combinator's callable is called by; their loops need the implementation's
# callables, so they run with the tolbrane namespace.
FLOOR_NAMESPACE = TOLBRANE


def _case(section, key, label, kind, floor, tolbrane, pure=None, result=None, returns=None,
          **extra):
    code = {TOLBRANE: S(tolbrane) if isinstance(tolbrane, str) else tolbrane}
    same = code[TOLBRANE] if pure == "same" else None
    if pure is not None:
        code[PURE] = same or (S(pure) if isinstance(pure, str) else pure)
    if same and section == "Result":  # the lean class has tolbrane's Result API, no MayBe
        code[LEAN] = same
    if result is not None:
        code[RESULT] = S(result) if isinstance(result, str) else result
    if returns is not None:
        code[RETURNS] = S(returns) if isinstance(returns, str) else returns
    return Case(f"{section}.{key}", label, section, kind, code, floor, **extra)


def _result(*args, **kwargs):
    return _case("Result", *args, **kwargs)


def _maybe(*args, **kwargs):
    return _case("MayBe", *args, **kwargs)


_CAUGHT = "try:\n    {}\nexcept {}:\n    pass"

RESULT_CASES = [
    _result("ok", "Result.ok(x)", "constructor", "alloc", "Result.ok(x)", "same", "Ok(x)",
            "Success(x)", shape="static_alloc"),
    _result("err", "Result.err(m)", "other", "alloc", "Result.err(m)", "same", "Err(m)",
            "Failure(m)"),
    _result("err3", "Result.err(m, code, details)", "other", "alloc", "Result.err(m, c, d)",
            "same"),
    _result("is_ok", "r.is_ok()", "query", "method0", "r.is_ok()", "same", "r.is_ok()"),
    _result("is_err", "r.is_err()", "query", "method0", "r.is_err()", "same", "r.is_err()"),
    _result("unwrap", "r.unwrap()", "query", "method0", "r.unwrap()", "same", "r.unwrap()",
            "r.unwrap()"),
    _result("unwrap_or", "r.unwrap_or(x)", "query", "method0", "r.unwrap_or(x)", "same",
            "r.unwrap_or(x)", "r.value_or(x)", shape="method1"),
    _result("unwrap_or_err", "e.unwrap_or(x) (Err)", "query", "method0", "e.unwrap_or(x)",
            "same", "e.unwrap_or(x)", "e.value_or(x)", shape="method1"),
    _result("to_option", "r.to_option()", "query", "method0", "r.to_option()", "same", "r.ok()",
            notes={RESULT: "r.ok()"}),
    _result("bool", "bool(r)", "query", "method0", "bool(r)", "same", shape="bool"),
    _result("len", "len(r)", "query", "method0", "len(r)", "same", shape="len"),
    _result("or", "r | x", "other", "or", "r | x", "same"),
    _result("repr", "repr(r)", "other", "str", "repr(r)", "same", "repr(r)", "repr(r)"),
    _result("iter", "for v in r: pass", "other", "iter", "for v in r:\n    pass", "same",
            "for v in r:\n    pass"),
    _result("map", "r.map(f)", "combinator", "alloc", "r.map(f)", "same", "r.map(f)", "r.map(f)",
            callee="call_f", constructor="Result.ok"),
    _result("map_kw", "r.map(func=f)", "keyword", "method0", "r.map(func=f)", "same",
            "r.map(op=f)", "r.map(function=f)", callee="call_f", constructor="Result.ok",
            positional="Result.map"),
    _result("map_on_err", "e.map(f) (Err passes through)", "other", "alloc", "e.map(f)", "same",
            "e.map(f)", "e.map(f)"),
    _result("map_err", "e.map_err(h)", "combinator", "alloc", "e.map_err(h3)", "same",
            "e.map_err(f)", "e.alt(f)", callee="call_h3", constructor="Result.err",
            notes={RESULT: "one-argument callable", RETURNS: "e.alt(f)"}),
    _result("flat_map", "r.flat_map(g)", "combinator", "alloc", "r.flat_map(g)", "same",
            "r.and_then(g)", "r.bind(g)", callee="call_g", constructor="Result.ok"),
    _result("and_then", "r.and_then(g)", "combinator", "alloc", "r.and_then(g)", "same",
            "r.and_then(g)", "r.bind(g)", callee="call_g", constructor="Result.ok"),
    _result("match", "r.match(f, h)", "combinator", "alloc", "r.match(f, h3)", "same",
            callee="call_f", constructor="Result.ok"),
    _result("match_kw", "r.match(ok=f, err=h)", "keyword", "method0", "r.match(ok=f, err=h3)",
            "same", callee="call_f", constructor="Result.ok", positional="Result.match"),
    _result("rshift", "r >> g", "combinator", "alloc", "r >> g", "same", callee="call_g",
            constructor="Result.ok"),
    _result("to_dict", "r.to_dict()", "other", "dict", "r.to_dict()", "same"),
    _result("to_dict_err", "e.to_dict() (Err)", "other", "dict", "e.to_dict()", "same"),
    _result("from_dict", "Result.from_dict(d)", "other", "alloc", "Result.from_dict(dct)",
            "same"),
    _result("chain", "Result.ok(x).map(f).and_then(g).unwrap_or(x)", "chain", "alloc",
            "Result.ok(x).map(f).and_then(g).unwrap_or(x)", "same",
            "Ok(x).map(f).and_then(g).unwrap_or(x)", "Success(x).map(f).bind(g).value_or(x)"),
    _result("unwrap_caught", "e.unwrap() raising, caught", "failure", "raise",
            _CAUGHT.format("e.unwrap()", "ValueError"), "same",
            _CAUGHT.format("e.unwrap()", "UnwrapError"),
            _CAUGHT.format("e.unwrap()", "UnwrapFailedError"),
            notes={RESULT: "except UnwrapError", RETURNS: "except UnwrapFailedError"}),
]

MAYBE_CASES = [
    _maybe("new", "MayBe(x)", "constructor", "alloc", "MayBe(x)", "same", None,
           "Maybe.from_optional(x)"),
    _maybe("just", "MayBe.just(x)", "constructor", "alloc", "MayBe.just(x)", "same", None,
           "Some(x)", shape="static_alloc"),
    _maybe("nothing", "MayBe.nothing()", "other", "alloc", "MayBe.nothing()", "same"),
    _maybe("is_just", "j.is_just()", "query", "method0", "j.is_just()", "same"),
    _maybe("is_nothing", "j.is_nothing()", "query", "method0", "j.is_nothing()", "same"),
    _maybe("unwrap", "j.unwrap()", "query", "method0", "j.unwrap()", "same", None, "j.unwrap()"),
    _maybe("or_else", "j.or_else(x)", "query", "method0", "j.or_else(x)", "same", None,
           "j.value_or(x)", shape="method1"),
    _maybe("to_option", "j.to_option()", "query", "method0", "j.to_option()", "same", None,
           "j.value_or(None)"),
    _maybe("bool", "bool(j)", "query", "method0", "bool(j)", "same", None, "bool(j)", shape="bool"),
    _maybe("len", "len(j)", "query", "method0", "len(j)", "same", shape="len"),
    _maybe("or", "j | x", "other", "or", "j | x", "same"),
    _maybe("repr", "repr(j)", "other", "str", "repr(j)", "same", None, "repr(j)"),
    _maybe("iter", "for v in j: pass", "other", "iter", "for v in j:\n    pass", "same"),
    _maybe("map", "j.map(f)", "combinator", "alloc", "j.map(f)", "same", None, "j.map(f)",
           callee="call_f", constructor="MayBe.just"),
    _maybe("map_kw", "j.map(func=f)", "keyword", "method0", "j.map(func=f)", "same", None,
           "j.map(function=f)", callee="call_f", constructor="MayBe.just",
           positional="MayBe.map"),
    _maybe("flat_map", "j.flat_map(g)", "combinator", "alloc", "j.flat_map(gm)", "same", None,
           "j.bind(gm)", callee="call_gm", constructor="MayBe.just"),
    _maybe("match", "j.match(f, k)", "combinator", "alloc", "j.match(f, k0)", "same",
           callee="call_f", constructor="MayBe.just"),
    _maybe("rshift", "j >> g", "combinator", "alloc", "j >> gm", "same", callee="call_gm",
           constructor="MayBe.just"),
    _maybe("chain", "MayBe.just(x).map(f).flat_map(g).or_else(x)", "chain", "alloc",
           "MayBe.just(x).map(f).flat_map(gm).or_else(x)", "same", None,
           "Some(x).map(f).bind(gm).value_or(x)"),
    _maybe("unwrap_caught", "n.unwrap() raising, caught", "failure", "raise",
           _CAUGHT.format("n.unwrap()", "ValueError"), "same", None,
           _CAUGHT.format("n.unwrap()", "UnwrapFailedError"),
           notes={RETURNS: "except UnwrapFailedError"}),
]

CASES = FLOORS + RESULT_CASES + MAYBE_CASES
BY_KEY = {case.key: case for case in CASES}
assert len(BY_KEY) == len(CASES), "duplicate case keys"


def baseline_of(snippet: Snippet) -> str:
    """The empty loop whose cost is taken off a snippet's."""
    return "empty1" if snippet.loop else "empty"


def implementations_of(case: Case) -> list[str]:
    return list(case.code)


def loop_namespace_for(case: Case, implementation: str) -> str:
    return FLOOR_NAMESPACE if implementation == FLOOR else implementation


# --------------------------------------------------------------------------------------------
# What a case is held to. `cost(key)` gives the net cost of tolbrane's case (or of a floor) in
# whatever unit is measured: nanoseconds or instructions.

def own_cost(case: Case, cost) -> float:
    """The part of a case's cost that is tolbrane's own: a combinator without the call of its
    callable, the keyword path without the same call by position."""
    if case.kind == "keyword":
        return cost(case.key) - cost(case.positional)
    if case.kind == "combinator":
        return cost(case.key) - cost(case.callee)
    return cost(case.key)


def shape_of(case: Case) -> str:
    """The builtin of the same call shape: the floor itself unless another is named."""
    return case.shape or case.floor


def floor_ratio(case: Case, cost) -> float:
    """Own cost over the cost of the builtin of the same shape (what the budgets bound)."""
    return own_cost(case, cost) / cost(shape_of(case))


def target_of(case: Case) -> str:
    """The target for a case, as text for the tables (ratios to what it is compared with)."""
    if case.kind == "query":
        return f"at most {QUERY_LIMIT}x"
    if case.kind == "constructor":
        return f"at most {CONSTRUCTOR_LIMIT}x"
    if case.kind == "combinator":
        return f"own cost at most {COMBINATOR_LIMIT}x"
    if case.kind == "keyword":
        return f"at most +{KEYWORD_EXTRA_NS:g} ns"
    if case.kind == "chain" and case.section == "Result":
        return ", ".join(f"at least {limit:g}x faster than {PEER_TITLES[peer]}"
                         for peer, limit in CHAIN_SPEEDUP.items())
    return ""


def target_ratio(case: Case, cost) -> float | None:
    """The ratio the target bounds (queries, constructors, combinators), or None."""
    if case.kind in ("query", "constructor"):
        return own_cost(case, cost) / cost(case.floor)
    if case.kind == "combinator":
        return own_cost(case, cost) / cost(case.constructor)
    return None


def target_limit(case: Case) -> float | None:
    return {"query": QUERY_LIMIT, "constructor": CONSTRUCTOR_LIMIT,
            "combinator": COMBINATOR_LIMIT}.get(case.kind)


# --------------------------------------------------------------------------------------------
# Why tolbrane can be slower than a peer, for the documents' list of those operations. A new
# instance from every operation is what the types promise; the peers may hand back what they have.

_NEW_INSTANCE = ("tolbrane makes a new instance from the callable's Result, as its types promise; "
                 "`result` and the lean class return the callable's Result itself, one instance "
                 "fewer")
WHY_NOT_FASTER = {
    "Result.map_on_err": "an Err's `map` makes a new Err in tolbrane, with its own copies of the "
                         "texts, as its types promise; `result`, `returns` and the lean class "
                         "return the Err they already have",
    "Result.flat_map": _NEW_INSTANCE,
    "Result.and_then": _NEW_INSTANCE,
    "Result.rshift": _NEW_INSTANCE,
    "Result.map_err": "tolbrane checks the returned 3-tuple, copies its texts and makes a new Err; "
                      "`result` wraps whatever its one-argument callable returns",
    "Result.to_dict_err": "tolbrane keeps an Err's texts as its own UTF-8 copies, so every "
                          "`to_dict` makes a new `str` of the message; the pure-Python classes "
                          "put the `str` they hold into the dict",
    "Result.chain": "the chain's `and_then` makes one instance more than `result`'s (see above)",
}
WHY_BY_KIND = {
    "query": "a query does next to nothing: its cost is CPython's method call, which costs about "
             "the same for a C method and for a small Python one",
    "failure": "raising and catching the exception is most of the cost, the same for everyone",
}
WHY_OTHERWISE = ("not expected: no structural reason is known, so most likely the noise of this "
                 "run; see whether it repeats in another")


def why_not_faster(case: Case) -> str:
    return WHY_NOT_FASTER.get(case.key) or WHY_BY_KIND.get(case.kind) or WHY_OTHERWISE
