"""Every public operation and operator of both types, on success and failure paths, as calls
without arguments named by their source; shared by the leak harness and the allocation-failure sweep.

Run as a script it is the sweep's child process: for each named operation it makes the n-th
allocation fail, for n = 0, 1, ... until the call runs undisturbed, and prints one JSON line per
operation; a marker line on standard error precedes every attempt, so that the parent can match
each fault report with the call that made it. With --fault it reports on the internal fault."""

import gc
import importlib.util
import json
import re
import sys
import threading

from tolbrane import MayBe, Result


class Payload:
    def __str__(self):
        return "a payload that prints as a text longer than sixteen bytes"


class Unprintable:
    def __str__(self):
        raise BOOM


def boom(*args):
    raise BOOM


VALUE, DETAILS, DEFAULT, UNPRINTABLE = Payload(), Payload(), Payload(), Unprintable()
# Longer than any short-string buffer, so that every copy of them is a real allocation.
MESSAGE, CODE = "a message of more than sixteen bytes", "a code of more than sixteen bytes"
BOOM = LookupError("raised by a callable")
OK, ERR, ERR_FULL = Result.ok(VALUE), Result.err(MESSAGE), Result.err(MESSAGE, CODE, DETAILS)
JUST, NOTHING = MayBe.just(VALUE), MayBe.nothing()
OK_DICT = {"ok": True, "value": VALUE}
ERR_DICT = {"ok": False, "error": MESSAGE, "code": CODE, "details": DETAILS}
first = lambda *args: args[0] if args else VALUE  # noqa: E731 - the callables are watched objects
triple = lambda *args: (MESSAGE, CODE, DETAILS)  # noqa: E731
bad_triple = lambda *args: (MESSAGE, 5, DETAILS)  # noqa: E731
pair = lambda *args: (MESSAGE, CODE)  # noqa: E731
as_list = lambda *args: [MESSAGE, CODE, DETAILS]  # noqa: E731
to_ok, to_just = Result.ok, MayBe.just

SOURCES = """
Result.ok(VALUE); Result.ok(value=VALUE); Result.ok(); Result.ok(VALUE, VALUE); Result.ok(x=VALUE)
Result.ok(VALUE, value=VALUE); Result.err(MESSAGE, CODE, DETAILS); Result.err(VALUE)
Result.err(message=MESSAGE, code=None, details=DETAILS); Result.err(MESSAGE, code=VALUE)
Result.err("\\ud800"); Result.from_dict(OK_DICT); Result.from_dict(dict=ERR_DICT)
Result.from_dict({"value": VALUE}); Result.from_dict({"ok": True}); Result.from_dict({"ok": False})
Result.from_dict({"ok": 1}); Result.from_dict({"ok": False, "error": VALUE}); Result.from_dict([VALUE])
OK.is_ok(); ERR.is_err(); OK.unwrap(); ERR.unwrap(); OK.expect(MESSAGE); ERR.expect(CODE)
OK.expect(VALUE); ERR.unwrap_or(DEFAULT); ERR_FULL.unwrap_err(); OK.unwrap_err(); ERR.to_option()
OK.match(first, boom); ERR_FULL.match(err=first); ERR_FULL.match(ok=first, err=boom); OK.match()
OK.map(first); ERR_FULL.map(func=boom); OK.map(boom); OK.map(VALUE); ERR_FULL.map_err(triple)
OK.map_err(boom); ERR.map_err(boom); ERR.map_err(as_list); ERR.map_err(pair); ERR.map_err(bad_triple)
OK.flat_map(to_ok); ERR_FULL.flat_map(boom); OK.flat_map(boom); OK.flat_map(first)
OK.and_then(func=to_ok); OK.and_then(to_just); OK.to_dict(); ERR_FULL.to_dict(); Result[VALUE, DETAILS]
bool(OK); len(ERR); list(OK); repr(OK); repr(ERR_FULL); repr(Result.ok(UNPRINTABLE)); OK >> to_ok
ERR_FULL >> VALUE; OK >> first; OK >> boom; OK | DEFAULT; ERR | DEFAULT; DEFAULT | OK; OK.__ror__(DEFAULT)
MayBe(VALUE); MayBe(None); MayBe(obj=VALUE); MayBe(); MayBe(VALUE, VALUE); MayBe(VALUE, x=VALUE)
MayBe.just(VALUE); MayBe.nothing(); JUST.is_just(); NOTHING.is_nothing(); JUST.unwrap(); NOTHING.unwrap()
JUST.expect(MESSAGE); NOTHING.expect(message=MESSAGE); JUST.expect(VALUE); JUST.to_option()
NOTHING.or_else(DEFAULT); JUST.match(first, boom); NOTHING.match(nothing=first); JUST.match(just=boom)
JUST.map(to_ok); NOTHING.map(VALUE); JUST.map(func=boom); JUST.flat_map(to_just); JUST.flat_map(to_ok)
JUST.flat_map(boom); NOTHING.flat_map(boom); MayBe[VALUE]; bool(NOTHING); len(JUST); list(JUST)
repr(JUST); repr(NOTHING); repr(MayBe(UNPRINTABLE)); JUST >> to_just; JUST >> first; NOTHING >> VALUE
NOTHING | DEFAULT; DEFAULT | JUST; Result.ok(MayBe(Result.err(MESSAGE, details=JUST))).map(to_just)
"""
OPS = {source: eval(f"lambda: {source}") for source in re.split(r"; |\n", SOURCES.strip())}
WATCHED = (VALUE, DETAILS, DEFAULT, UNPRINTABLE, BOOM, MESSAGE, CODE, Result, MayBe, OK, ERR, ERR_FULL,
           JUST, NOTHING, OK_DICT, ERR_DICT, boom, first, triple, bad_triple, pair, as_list)


def refcounts():
    gc.collect()
    return [sys.getrefcount(obj) for obj in WATCHED]


def attempt(op, set_nomemory=None, remove_mem_hooks=None, n=0):
    """Calls op, with the n-th allocation failing when the hooks are given: (result, exception)."""
    result = exc = None
    if set_nomemory:
        set_nomemory(n, n + 1)
    try:
        result = op()
    except BaseException as raised:  # noqa: B036 - the internal fault derives from BaseException
        exc = raised
    finally:
        if remove_mem_hooks:
            remove_mem_hooks()
    BOOM.__traceback__ = BOOM.__context__ = None
    return result, exc


def call(*args):
    """The outcome of an attempt: ("ok", repr of the result) or (exception class name, message)."""
    result, exc = attempt(*args)
    if exc is None:
        return "ok", repr(result)
    return type(exc).__name__, str(exc.args[0]) if exc.args else None


def exec_module():
    """Runs the module's execution step again, on a new module object."""
    spec = importlib.util.find_spec("tolbrane")
    spec.loader.exec_module(importlib.util.module_from_spec(spec))


def sweep(name, op, hooks):
    baseline, outcomes, undisturbed = call(op), [], 0
    while undisturbed < 5 and len(outcomes) < 2000:
        print(f"@@ {name} {len(outcomes)}", file=sys.stderr, flush=True)
        outcomes.append(call(op, *hooks, len(outcomes)))
        undisturbed = undisturbed + 1 if outcomes[-1] == baseline else 0
    return baseline, outcomes


def fault_facts(hooks):
    """Provokes an internal fault, then has Python code raise its class again through several
    operations, each after a marker line on standard error."""
    faults = (attempt(OPS["ERR_FULL.unwrap_err()"], *hooks, n)[1] for n in range(100))
    fault = next(exc for exc in faults if type(exc).__name__ == "InternalFault")
    try:
        raise fault
    except Exception:
        caught = "Exception"
    except BaseException:  # noqa: B036
        caught = "BaseException"
    raised = []

    def again(*args):
        raised.append(type(fault)(f"raised again by {len(raised)}"))
        raise raised[-1]

    resumed = {}
    for source in ["OK.map(again)", "ERR_FULL.match(err=again)", "ERR.map_err(again)", "OK >> again",
                   "JUST.flat_map(again)", "NOTHING.match(nothing=again)",
                   "repr(Result.ok(type('Again', (), {'__str__': again})()))"]:
        print(f"@@ {source}", file=sys.stderr, flush=True)
        exc = attempt(eval(f"lambda: {source}", {**globals(), "again": again}))[1]
        resumed[source] = [type(exc) is type(fault), exc is not raised[-1], list(exc.args)]
    cls = type(fault)
    return {"class": f"{cls.__module__}.{cls.__qualname__}", "mro": [c.__name__ for c in cls.__mro__],
            "caught": caught, "args": list(fault.args), "resumed": resumed}


if __name__ == "__main__":
    import _testcapi

    hooks = _testcapi.set_nomemory, _testcapi.remove_mem_hooks
    if sys.argv[1:] == ["--fault"]:
        print(json.dumps(fault_facts(hooks)))
        sys.exit()
    OPS["module exec"] = exec_module
    ident = threading.get_native_id()
    with open(f"/proc/self/task/{ident}/comm") as comm:
        thread = comm.read().strip()
    for name in sys.argv[1:]:
        before = refcounts()
        baseline, outcomes = sweep(name, OPS[name], hooks)
        leaked = [after - count for after, count in zip(refcounts(), before)]
        print(json.dumps({"name": name, "baseline": baseline, "outcomes": outcomes, "thread": thread,
                          "id": ident, "leaked": leaked}), flush=True)
