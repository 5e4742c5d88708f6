"""Sub-interpreters: each interpreter has its own Result and MayBe type objects, right in every one
of them whatever classes it makes, released when it ends; own-GIL interpreters are refused."""

import importlib.util
import json
import subprocess
import sys

import pytest

from _limits import limit

pytestmark = pytest.mark.skipif(
    not any(map(importlib.util.find_spec, ["_interpreters", "_xxsubinterpreters"])),
    reason="this interpreter offers no sub-interpreters to Python code")

# Runs in a child process: `create(config)` makes a sub-interpreter, `run(interpreter, code)` runs
# code there and gives the formatted failure or None.
PRELUDE = '''
import gc, json, os, sys
try:
    import _interpreters as interpreters  # 3.13 and later
    def create(config):
        try:
            return interpreters.create(config)
        except TypeError:
            return interpreters.create(interpreters.new_config(config))
    def run(interpreter, code):
        failure = interpreters.exec(interpreter, code)
        return None if failure is None else failure.formatted
except ImportError:
    import _xxsubinterpreters as interpreters  # 3.12
    def create(config):
        return interpreters.create(isolated=config == "isolated")
    def run(interpreter, code):
        try:
            interpreters.run_string(interpreter, code)
        except interpreters.RunFailedError as failure:
            return str(failure)
'''

# Makes many classes whose methods have the names of ours, then checks every kind of call on
# Results and MayBes: caches keyed by type version must never mix the two.
CHECK = '''
import os, sys
import tolbrane
from tolbrane import MayBe, Result
def check(rounds):
    names = ("is_ok", "unwrap", "map", "is_just", "unwrap_err", "__or__", "__rshift__")
    wrong = []
    for n in range(rounds):
        X = type("X%d" % n, (), {name: (lambda self, *args: "X") for name in names})
        x = X()
        x.is_ok(); x.unwrap(); x.map(1); x.is_just(); x.unwrap_err(); x | 1; x >> 1
        for _ in range(2):
            ok, err, just = Result.ok(n), Result.err("e", "C", n), MayBe.just(n)
            got = (ok.is_ok(), ok.unwrap(), ok.map(str).unwrap(), err.unwrap_err(), just.is_just(),
                   err | -1, (ok >> Result.ok).unwrap(), (just >> MayBe).unwrap(), err.is_ok())
            if got != (True, n, str(n), ("e", "C", n), True, -1, n, n, False):
                wrong.append([n, repr(got)])
    return wrong
'''


def run_child(program):
    child = subprocess.run([sys.executable, "-c", PRELUDE + program.replace("{CHECK}", repr(CHECK))],
                           capture_output=True, text=True, timeout=limit(300))
    assert child.returncode == 0, child.stderr[-3000:]
    return json.loads(child.stdout.splitlines()[-1])


REPRODUCER = """
exec({CHECK})
before = check(10)
read, write = os.pipe()
interpreter = create("legacy")
failure = run(interpreter, {CHECK} + '''
import json
os.write(%d, json.dumps([check(2000), id(Result), id(MayBe)]).encode())
''' % write)
sub_wrong, sub_result, sub_maybe = json.loads(os.read(read, 1 << 20))
interpreters.destroy(interpreter)
after = check(2000)
print(json.dumps([failure, before, sub_wrong, after, [sub_result != id(Result), sub_maybe != id(MayBe)]]))
"""


def test_no_method_of_another_class_runs_in_any_interpreter():
    failure, before, sub_wrong, after, distinct = run_child(REPRODUCER)
    assert failure is None
    assert (before, sub_wrong, after) == ([], [], [])
    assert distinct == [True, True]


TWO_AT_ONCE = """
exec({CHECK})
read, write = os.pipe()
REPORT = '''
import json
again = sys.modules.pop("tolbrane")
import tolbrane as fresh
sys.modules["tolbrane"] = again
os.write(%d, json.dumps([check(300), id(Result), id(MayBe), fresh.Result is Result,
                         fresh.MayBe is MayBe, fresh.__all__]).encode() + b"\\\\n")
''' % write
first, second = create("legacy"), create("legacy")
failures = [run(first, {CHECK} + REPORT), run(second, {CHECK} + REPORT),
            run(first, REPORT), run(second, REPORT)]
reports = [json.loads(line) for line in os.read(read, 1 << 20).decode().splitlines()]
interpreters.destroy(first)
interpreters.destroy(second)
print(json.dumps([failures, reports, check(300), id(Result), id(MayBe)]))
"""


def test_two_interpreters_at_once_keep_their_own_types():
    failures, reports, main_wrong, main_result, main_maybe = run_child(TWO_AT_ONCE)
    assert failures == [None] * 4 and main_wrong == []
    assert [report[0] for report in reports] == [[]] * 4
    # A second import inside an interpreter gives that interpreter's very type objects.
    assert [report[3:] for report in reports] == [[True, True, ["MayBe", "Result"]]] * 4
    first, second = reports[0][1:3], reports[1][1:3]
    assert reports[2][1:3] == first and reports[3][1:3] == second
    assert len({tuple(first), tuple(second), (main_result, main_maybe)}) == 3


# Each Result and MayBe holds an object whose finaliser reports through a pipe; the blocks that the
# allocator counts are compared with those left by an interpreter that makes nothing.
FREED = """
read, write = os.pipe()
MAKE = '''
import os
from tolbrane import MayBe, Result
class Payload:
    def __del__(self):
        os.write(%d, b"x")
kept = [Result.ok(Payload()) for _ in range(10000)]
kept += [MayBe(Result.err("e", "C", Payload())) for _ in range(10000)]
''' % write
def blocks_left_by(code):
    gc.collect()
    before = sys.getallocatedblocks()
    interpreter = create("legacy")
    failure = run(interpreter, code)
    interpreters.destroy(interpreter)
    gc.collect()
    return failure, sys.getallocatedblocks() - before
from tolbrane import Result
blocks_left_by("import tolbrane")
empty = blocks_left_by("import tolbrane")
full = blocks_left_by(MAKE)
os.close(write)
finalised = 0
while chunk := os.read(read, 1 << 16):
    finalised += len(chunk)
print(json.dumps([empty, full, finalised, Result.ok(1).unwrap()]))
"""


def test_values_made_in_an_interpreter_are_freed_when_it_ends():
    (empty_failure, empty_blocks), (full_failure, full_blocks), finalised, main_value = run_child(FREED)
    assert (empty_failure, full_failure, finalised, main_value) == (None, None, 20000, 1)
    if empty_blocks or full_blocks:  # both 0 when the allocator counts nothing (PYTHONMALLOC=malloc)
        assert full_blocks - empty_blocks < 2000, (empty_blocks, full_blocks)


ISOLATED = """
interpreter = create("isolated")
failure = run(interpreter, "import tolbrane")
interpreters.destroy(interpreter)
from tolbrane import Result
print(json.dumps([failure, Result.ok(1).is_ok()]))
"""


def test_an_interpreter_with_its_own_lock_cannot_import_the_module():
    failure, main_right = run_child(ISOLATED)
    assert main_right is True
    assert failure is not None and failure.rstrip().endswith(
        "module tolbrane does not support loading in subinterpreters"), failure
