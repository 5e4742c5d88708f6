"""Every script in examples/ runs cleanly and prints exactly its recorded output, and the code in
docs/guide.md, docs/migration.md, docs/pydantic.md and docs/hypothesis.md runs and shows what
those pages say it shows.

The recorded outputs live in examples/expected/NAME.txt; after a deliberate change to an example,
record it again with `python examples/NAME.py > examples/expected/NAME.txt` and review the diff.
"""

import copyreg
import doctest
import os
import pathlib
import re
import subprocess
import sys
import textwrap

import pytest

from _limits import limit

EXAMPLES = pathlib.Path(__file__).resolve().parent.parent / "examples"
SCRIPTS = sorted(EXAMPLES.glob("*.py"))


def test_every_example_has_a_recorded_output():
    recorded = sorted(path.stem for path in (EXAMPLES / "expected").glob("*.txt"))
    assert recorded == [script.stem for script in SCRIPTS]
    assert {"tour", "json_transport", "cleaning", "process_pool", "async_catch"} <= set(recorded)


@pytest.mark.parametrize("script", SCRIPTS, ids=lambda path: path.name)
def test_example_prints_its_recorded_output(script, tmp_path):
    # Run from an unrelated directory, as a user would, with the interpreter under test.
    env = {**os.environ, "PYTHONIOENCODING": "utf-8"}
    run = subprocess.run([sys.executable, str(script)], cwd=tmp_path, env=env, capture_output=True,
                         text=True, encoding="utf-8", timeout=limit(120))
    assert (run.returncode, run.stderr) == (0, "")
    assert run.stdout == (EXAMPLES / "expected" / f"{script.stem}.txt").read_text(encoding="utf-8")


def page_blocks(page):
    """A page's fenced blocks, in order: ("python", code) defines, ("pycon", session) shows."""
    text = (EXAMPLES.parent / "docs" / page).read_text(encoding="utf-8")
    fence = re.compile(r"^( *)```(python|pycon)\n(.*?)^\1```$", re.MULTILINE | re.DOTALL)
    return [(kind, textwrap.dedent(body)) for _, kind, body in fence.findall(text)]


@pytest.mark.parametrize("page, sessions, needs", [
    ("guide.md", 14, None), ("migration.md", 6, None), ("pydantic.md", 6, "pydantic"),
    ("hypothesis.md", 4, "hypothesis"),
])
def test_page_code_runs_and_shows_what_it_says(page, sessions, needs):
    if needs is not None:
        pytest.importorskip(needs)
    blocks = page_blocks(page)
    assert sum(kind == "pycon" for kind, _ in blocks) >= sessions
    namespace = {"__name__": page.removesuffix(".md")}
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    saved = dict(copyreg.dispatch_table)  # the pages show register_pickle()
    try:
        for number, (kind, body) in enumerate(blocks):
            if kind == "python":
                exec(compile(body, f"{page} block {number}", "exec"), namespace)
            else:
                test = doctest.DocTestParser().get_doctest(body, namespace,
                                                           f"{page} block {number}",
                                                           f"docs/{page}", 0)
                runner.run(test, clear_globs=False)
    finally:
        copyreg.dispatch_table.clear()
        copyreg.dispatch_table.update(saved)
    assert runner.summarize(verbose=False).failed == 0
