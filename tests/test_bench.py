"""The benchmark suite measures what it says: every snippet runs in every implementation installed,
the workload's programs agree with each other and with the faults put into the lines, the lean
class behaves like tolbrane's Result, the memory figure counts what an object keeps alive, and only
a clean tree is published. Nothing here is timed."""

import importlib.util
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

BENCH = Path(__file__).resolve().parent.parent / "bench"
sys.path.insert(0, str(BENCH))

import catalogue  # noqa: E402
import lean  # noqa: E402
import measure  # noqa: E402
import orders  # noqa: E402
import pure  # noqa: E402
import render  # noqa: E402
import run  # noqa: E402
from tolbrane import Result  # noqa: E402

INSTALLED = [name for name in (catalogue.TOLBRANE, catalogue.PURE, catalogue.LEAN, catalogue.FLOOR,
                               catalogue.RESULT, catalogue.RETURNS)
             if name not in orders.NEEDS or importlib.util.find_spec(orders.NEEDS[name])]
SNIPPETS = [(case, name) for case in catalogue.CASES for name in case.code if name in INSTALLED]


@pytest.mark.parametrize(("case", "implementation"), SNIPPETS,
                         ids=[f"{case.key}/{name}" for case, name in SNIPPETS])
def test_every_snippet_runs(case, implementation):
    names = catalogue.namespace(catalogue.loop_namespace_for(case, implementation))
    bench = catalogue.compile_loop(implementation, case.code[implementation], names)
    assert bench(3) >= 0


GOOD = "7,grace hopper,3,19.99,USD"
FAULTY = [(fault, code) for fault, code in zip(orders.FAULTS, ("PARSE", "PARSE", "PARSE", "RANGE",
                                                               "CURRENCY", "CUSTOMER"))]


@pytest.mark.parametrize("implementation", orders.available())
@pytest.mark.parametrize(("fault", "code"), FAULTY, ids=[fault.__name__ for fault, _ in FAULTY])
def test_a_faulty_line_is_counted_under_its_code(implementation, fault, code):
    fields = GOOD.split(",")
    fault(fields)
    assert orders.program(implementation)([",".join(fields), GOOD]) == (
        [(7, "Grace Hopper", round(3 * 19.99 * 0.92 * 100))], {code: 1})


def test_the_lines_are_the_same_every_time_and_about_a_tenth_bad():
    lines = orders.make_lines(20_000)
    assert lines == orders.make_lines(20_000)
    kept, errors = orders.program(orders.FLOOR)(lines)
    assert len(kept) + sum(errors.values()) == 20_000
    assert 0.08 < sum(errors.values()) / 20_000 < 0.12
    assert set(errors) == {"PARSE", "RANGE", "CURRENCY", "CUSTOMER"}


def test_every_program_computes_the_same_output():
    lines = orders.make_lines(3_000)
    orders.check_same({name: orders.program(name)(lines) for name in orders.available()})


def test_a_differing_output_fails_the_check():
    with pytest.raises(AssertionError, match="^the lean program's output differs from the "
                                             "tolbrane one's$"):
        orders.check_same({"tolbrane": ([1], {}), "lean": ([1], {"PARSE": 1})})


def outcome(compute):
    try:
        return compute()
    except ValueError as error:
        return ("ValueError", str(error))


OPERATIONS = {
    "ok to_dict": lambda R: R.ok(5).to_dict(),
    "err to_dict": lambda R: R.err("m", "C", {"k": 1}).to_dict(),
    "err to_dict, message only": lambda R: R.err("m").to_dict(),
    "unwrap_err": lambda R: R.err("m", "C").unwrap_err(),
    "unwrap_err of an Ok": lambda R: R.ok(1).unwrap_err(),
    "unwrap of an Err": lambda R: R.err("boom").unwrap(),
    "unwrap_or": lambda R: (R.ok(1).unwrap_or(2), R.err("m").unwrap_or(2)),
    "to_option": lambda R: (R.ok(1).to_option(), R.err("m").to_option()),
    "queries": lambda R: (R.ok(1).is_ok(), R.ok(1).is_err(), R.err("m").is_ok(),
                          R.err("m").is_err()),
    "protocols": lambda R: (bool(R.ok(0)), bool(R.err("m")), len(R.ok(0)), len(R.err("m")),
                            list(R.ok(3)), list(R.err("m")), R.ok(3) | 4, R.err("m") | 4),
    "repr": lambda R: (repr(R.ok(3)), repr(R.err("m")), repr(R.err("m", "C"))),
    "map": lambda R: (R.ok(3).map(str).unwrap(), R.err("m").map(str).unwrap_err()),
    "map_err": lambda R: R.err("m", "C").map_err(lambda m, c, d: (m + "!", c, 1)).unwrap_err(),
    "and_then": lambda R: (R.ok(3).and_then(lambda v: R.ok(v + 1)).unwrap(),
                           (R.ok(3) >> (lambda v: R.err("no"))).unwrap_err()),
    "match": lambda R: (R.ok(3).match(ok=str, err=None),
                        R.err("m", "C").match(err=lambda m, c, d: c)),
    "from_dict": lambda R: (R.from_dict({"ok": True, "value": 2}).unwrap(),
                            R.from_dict({"ok": False, "error": "m", "code": "C"}).unwrap_err()),
}


@pytest.mark.parametrize("module", [lean, pure], ids=["lean", "dataclass"])
@pytest.mark.parametrize("operation", OPERATIONS.values(), ids=OPERATIONS.keys())
def test_the_pure_python_classes_behave_like_tolbrane(module, operation):
    assert outcome(lambda: operation(module.Result)) == outcome(lambda: operation(Result))


def test_the_lean_class_hands_back_what_it_has():
    err, ok = lean.Result.err("m"), lean.Result.ok(1)
    returned = lean.Result.ok(2)
    assert err.map(str) is err and err.and_then(str) is err and ok.map_err(str) is ok
    assert ok.and_then(lambda v: returned) is returned


@pytest.mark.parametrize(("make", "kept"), [
    (lambda i: lean.Ok(None), lambda: sys.getsizeof(lean.Ok(None))),
    # The Err keeps its own message alive: both count.
    (lambda i: lean.Err(f"m{i:05d}"),
     lambda: sys.getsizeof(lean.Err("")) + sys.getsizeof("m00000")),
], ids=["object alone", "with what it keeps alive"])
def test_bytes_held_counts_each_object_and_what_it_keeps(make, kept):
    requested, in_blocks = measure.bytes_held(make)
    assert requested == kept()
    assert in_blocks == -(-kept() // 16) * 16


@pytest.fixture
def tree(tmp_path, monkeypatch):
    """A git work tree with a README holding a benchmark summary, committed."""
    if shutil.which("git") is None:
        pytest.skip("git is not installed")

    def git(*arguments):
        subprocess.run(["git", "-C", str(tmp_path), *arguments], check=True, capture_output=True)

    git("init", "-q")
    (tmp_path / "README.md").write_text(
        f"intro\n{render.README_BEGIN}\nold figures\n{render.README_END}\n")
    (tmp_path / "docs").mkdir()
    (tmp_path / "docs" / "benchmarks.md").write_text("old\n")
    git("add", ".")
    git("-c", "user.name=t", "-c", "user.email=t@t", "commit", "-q", "-m", "start")
    monkeypatch.setattr(run, "ROOT", tmp_path)
    monkeypatch.setattr(run, "README", tmp_path / "README.md")
    return tmp_path


@pytest.mark.parametrize(("change", "changes"), [
    (lambda root: None, []),
    (lambda root: (root / "docs" / "benchmarks.md").write_text("new\n"), []),
    (lambda root: (root / "bench" / "results").mkdir(parents=True)
        or (root / "bench" / "results" / "3.13.json").write_text("{}"), []),
    (lambda root: (root / "README.md").write_text(
        f"intro\n{render.README_BEGIN}\nnew figures\n{render.README_END}\n"), []),
    (lambda root: (root / "README.md").write_text(
        f"changed intro\n{render.README_BEGIN}\nold figures\n{render.README_END}\n"),
     ["README.md"]),
    (lambda root: (root / "scratch.py").write_text(""), ["scratch.py"]),
], ids=["clean", "generated document", "saved figures", "summary block", "README text",
        "untracked file"])
def test_only_changes_outside_the_generated_documents_make_the_tree_dirty(tree, change, changes):
    change(tree)
    commit, found = run.tree_state()
    assert len(commit) >= 7 and found == changes
