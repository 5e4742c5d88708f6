"""tolbrane_tools: register_pickle; pickle, copy and dataclasses.asdict of Results and MayBes."""

import copy
import copyreg
import dataclasses
import os
import pickle
import subprocess
import sys
import textwrap

import pytest

from _limits import limit
from tolbrane import MayBe, Result
from tolbrane_tools import register_pickle, same


class Custom:
    """A picklable object that compares by its contents."""

    def __init__(self, label):
        self.label = label

    def __eq__(self, other):
        return isinstance(other, Custom) and other.label == self.label


def every_kind():
    return [
        Result.ok(1), Result.ok(None), Result.ok([1, {"a": (2, 3)}]),
        Result.ok(Result.ok("nested")),
        Result.ok(MayBe.just(None)), Result.ok(Custom("x")),
        Result.err(""), Result.err("boom"), Result.err("boom", "E1"),
        Result.err("boom", None, {"k": [1]}), Result.err("boom", "E1", Custom("d")),
        Result.err("with \x00 and é", "E\u2603"),
        Result.from_dict({"ok": False, "error": "x", "details": None}),
        MayBe(1), MayBe(None), MayBe.just(None), MayBe.just(Result.err("inside")), MayBe("é"),
    ]


# Everything a Result or MayBe holds, nested ones included, with an absent details and a details
# of None told apart. Also run in the processes that the tests start.
FIELDS = """
def fields(obj):
    if type(obj) is Result:
        return ("Result", {key: fields(item) if type(item) in (Result, MayBe) else item
                           for key, item in obj.to_dict().items()})
    if type(obj) is MayBe:
        return ("MayBe", [fields(item) if type(item) in (Result, MayBe) else item for item in obj],
                obj.is_just())
    return obj
"""
exec(FIELDS)


def run_python(tmp_path, *chunks, stdin=None):
    """Runs the chunks of code, each dedented, in a new interpreter."""
    code = "\n".join(textwrap.dedent(chunk) for chunk in chunks)
    env = {**os.environ, "PYTHONIOENCODING": "utf-8"}
    run = subprocess.run([sys.executable, "-P", "-c", code], cwd=tmp_path,
                         env=env, input=stdin, capture_output=True, timeout=limit(180))
    assert (run.returncode, run.stderr.decode()) == (0, "")
    return run.stdout.decode()


@pytest.fixture
def registered():
    saved = {kind: copyreg.dispatch_table.get(kind) for kind in (Result, MayBe)}
    register_pickle()
    yield
    for kind, reducer in saved.items():
        if reducer is None:
            copyreg.dispatch_table.pop(kind, None)
        else:
            copyreg.dispatch_table[kind] = reducer


def test_importing_the_toolkit_registers_nothing(tmp_path):
    out = run_python(tmp_path, """
        import copyreg, pickle
        import tolbrane_tools
        from tolbrane import MayBe, Result
        print(Result in copyreg.dispatch_table, MayBe in copyreg.dispatch_table)
        for value in (Result.ok(1), MayBe(1)):
            try:
                pickle.dumps(value)
            except TypeError as exc:
                print(exc)
    """)
    assert out == ("False False\ncannot pickle 'builtins.Result' object\n"
                   "cannot pickle 'builtins.MayBe' object\n")


def test_register_pickle_is_idempotent(registered):
    reducers = (copyreg.dispatch_table[Result], copyreg.dispatch_table[MayBe])
    assert register_pickle() is None
    assert (copyreg.dispatch_table[Result], copyreg.dispatch_table[MayBe]) == reducers
    assert same(pickle.loads(pickle.dumps(Result.ok(1))), Result.ok(1))


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_pickle_round_trips_every_kind(registered, protocol):
    for original in every_kind():
        back = pickle.loads(pickle.dumps(original, protocol=protocol))
        assert type(back) is type(original) and back is not original
        assert fields(back) == fields(original)
        assert same(back, original)


def test_pickle_keeps_shared_objects_shared(registered):
    shared = [1, 2]
    back = pickle.loads(pickle.dumps([Result.ok(shared), MayBe(shared), shared]))
    assert back[0].unwrap() is back[2] and back[1].unwrap() is back[2]


def test_an_exception_in_the_details_crosses_without_its_traceback(registered):
    try:
        int("x")
    except ValueError as exc:
        original = Result.err(str(exc), "ValueError", exc)
    back = pickle.loads(pickle.dumps(original)).unwrap_err()[2]
    assert type(back) is ValueError and back.args == original.unwrap_err()[2].args
    assert back.__traceback__ is None


def test_unpickling_needs_no_registration(tmp_path, registered):
    # Custom cannot be imported in the receiving process: leave those out.
    sent = [value for value in every_kind() if "Custom" not in repr(fields(value))]
    out = run_python(tmp_path, """
        import copyreg, pickle, sys
        from tolbrane import MayBe, Result
        values = pickle.loads(sys.stdin.buffer.read())
        assert Result not in copyreg.dispatch_table and MayBe not in copyreg.dispatch_table
    """, FIELDS, """
        for value in values:
            print(ascii(fields(value)))
    """, stdin=pickle.dumps(sent))
    assert len(sent) == 16
    assert out.splitlines() == [ascii(fields(value)) for value in sent]


def test_copy_is_a_new_instance_holding_the_same_objects(registered):
    for original in every_kind():
        copied = copy.copy(original)
        assert type(copied) is type(original) and copied is not original
        if type(original) is Result and original.is_ok():
            assert copied.unwrap() is original.unwrap()
        elif type(original) is Result:
            assert all(a is b for a, b in zip(copied.unwrap_err(), original.unwrap_err())
                       if not isinstance(b, str))
        else:
            assert list(copied) == list(original) and all(a is b for a, b in zip(copied, original))


@pytest.mark.parametrize("original, held", [
    (Result.ok({"a": [1, 2]}), Result.unwrap),
    (Result.err("m", "E", {"a": [1, 2]}), lambda r: r.unwrap_err()[2]),
    (MayBe({"a": [1, 2]}), MayBe.unwrap),
])
def test_deepcopy_copies_the_held_objects(registered, original, held):
    copied = copy.deepcopy(original)
    assert copied is not original and fields(copied) == fields(original)
    assert held(copied) == held(original) and held(copied) is not held(original)
    assert held(copied)["a"] is not held(original)["a"]


def test_deepcopy_keeps_identity_within_one_copy(registered):
    r = Result.ok([1])
    copied = copy.deepcopy([r, r, r.unwrap()])
    assert copied[0] is copied[1] and copied[0] is not r
    assert copied[0].unwrap() is copied[2]


@dataclasses.dataclass
class Job:
    name: str
    outcome: Result[int]
    note: MayBe[str]
    history: list[Result[int]]


def test_dataclasses_asdict_and_astuple(registered):
    job = Job("build", Result.err("failed", "E_BUILD", {"step": 3}), MayBe("late"),
              [Result.ok(1), Result.err("x")])
    as_dict = dataclasses.asdict(job)
    assert set(as_dict) == {"name", "outcome", "note", "history"}
    assert same(as_dict["outcome"], job.outcome) and as_dict["outcome"] is not job.outcome
    assert as_dict["outcome"].unwrap_err()[2] is not job.outcome.unwrap_err()[2]
    assert same(as_dict["note"], job.note)
    assert all(same(a, b) for a, b in zip(as_dict["history"], job.history, strict=True))
    name, outcome, note, history = dataclasses.astuple(job)
    assert same(outcome, job.outcome) and same(note, job.note) and len(history) == 2


POOL_SCRIPT = """
import concurrent.futures
import copyreg
import multiprocessing
import sys

from tolbrane import MayBe, Result
from tolbrane_tools import catch, register_pickle


@catch(ZeroDivisionError, ValueError)
def ratio(text):
    a, b = text.split("/")
    return int(a) / int(b)


def registered_here():
    return Result in copyreg.dispatch_table


def describe(value):
    # Runs in a worker that never registered: it only unpickles what it receives.
    return (registered_here(), type(value).__name__, repr(value),
            value.to_dict() if type(value) is Result else list(value))


def main():
    context = multiprocessing.get_context(sys.argv[1])
    # Workers that registered send Results to this process, which never registers.
    with concurrent.futures.ProcessPoolExecutor(2, mp_context=context,
                                                initializer=register_pickle) as pool:
        for text, result in zip(["1/4", "3/0", "x/2"], pool.map(ratio, ["1/4", "3/0", "x/2"])):
            details = None if result else result.unwrap_err()[2]
            print(text, repr(result), type(details).__name__, getattr(details, "args", None))
        print("parent registered:", registered_here())
    # This process registers and sends Results and MayBes to workers that never register.
    register_pickle()
    with concurrent.futures.ProcessPoolExecutor(1, mp_context=context) as pool:
        sent = [Result.ok([1, 2]), Result.err("no", "E1", {"k": 1}), MayBe.just(None), MayBe(None)]
        for line in pool.map(describe, sent):
            print(*line)


if __name__ == "__main__":
    main()
"""


@pytest.mark.parametrize("method", ["spawn", "forkserver"])
def test_results_cross_a_process_pool_both_ways(tmp_path, method):
    script = tmp_path / "pool_round_trip.py"
    script.write_text(POOL_SCRIPT, encoding="utf-8")
    env = {**os.environ, "PYTHONIOENCODING": "utf-8"}
    run = subprocess.run([sys.executable, "-P", str(script), method], cwd=tmp_path, env=env,
                         capture_output=True, text=True, timeout=limit(300))
    assert (run.returncode, run.stderr) == (0, "")
    assert run.stdout.splitlines() == [
        "1/4 Ok(0.25) NoneType None",
        "3/0 Err('division by zero', code='ZeroDivisionError') ZeroDivisionError "
        "('division by zero',)",
        "x/2 Err('invalid literal for int() with base 10: 'x'', code='ValueError') ValueError "
        "(\"invalid literal for int() with base 10: 'x'\",)",
        "parent registered: False",
        "False Result Ok([1, 2]) {'ok': True, 'value': [1, 2]}",
        "False Result Err('no', code='E1') {'ok': False, 'error': 'no', 'code': 'E1', "
        "'details': {'k': 1}}",
        "False MayBe Just(None) [None]",
        "False MayBe Nothing []",
    ]
