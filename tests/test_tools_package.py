"""tolbrane_tools as installed: its names, its documentation examples, its place beside tolbrane."""

import copyreg
import doctest
import importlib
import inspect
import pathlib
import subprocess
import sys

import pytest
from _limits import limit

import tolbrane
import tolbrane_tools

PUBLIC = ["DICT_FORM_SCHEMA", "Catcher", "Do", "Err", "Just", "Nothing", "Ok", "and_then_async",
          "assert_err", "assert_ok", "attempt", "bind", "catch", "collect", "collect_async",
          "combine", "do", "do_async", "err_details", "errs", "expect_err", "flatten",
          "from_exception", "gather_results", "inspect", "inspect_err", "map_async", "map_or",
          "map_or_else", "ok_or", "oks", "or_else", "partition", "partition_async",
          "register_pickle", "same", "take", "to_maybe", "unwrap_or_else", "unwrap_or_raise",
          "unwrap_or_raise_as", "values", "view"]
MODULES = ["_async", "_collections", "_do", "_equality", "_exceptions", "_idioms", "_pickling",
           "_schema", "_testing", "_views"]
# Data and a type alias: nothing to run.
NOT_CALLABLE = {"DICT_FORM_SCHEMA", "Do"}


def test_the_public_names():
    assert tolbrane_tools.__all__ == PUBLIC
    assert all(hasattr(tolbrane_tools, name) for name in PUBLIC)


def test_the_core_namespace_is_unchanged():
    names = {name for name in vars(tolbrane) if not (name.startswith("__") and name.endswith("__"))}
    assert names == {"MayBe", "Result"} and tolbrane.__all__ == ["MayBe", "Result"]


def test_it_is_the_installed_copy_beside_the_extension():
    # Not the source tree's copy: the tests check what the wheel installs.
    package = pathlib.Path(tolbrane_tools.__file__).parent
    assert package.parent == pathlib.Path(tolbrane.__file__).parent
    assert (package / "py.typed").is_file()
    assert sorted(path.stem for path in package.glob("*.py")) == ["__init__", *MODULES]


@pytest.mark.parametrize("name", [name for name in PUBLIC if name not in NOT_CALLABLE])
def test_every_public_function_and_class_shows_an_example(name):
    documented = getattr(tolbrane_tools, name)
    assert ">>> " in inspect.getdoc(documented)


@pytest.mark.parametrize("module", MODULES)
def test_the_documentation_examples_run(module):
    saved = dict(copyreg.dispatch_table)  # register_pickle's example registers
    try:
        failed, attempted = doctest.testmod(importlib.import_module(f"tolbrane_tools.{module}"),
                                            optionflags=doctest.ELLIPSIS)
    finally:
        copyreg.dispatch_table.clear()
        copyreg.dispatch_table.update(saved)
    assert (failed, attempted > 0) == (0, True)


def test_the_toolkit_works_in_a_legacy_sub_interpreter_with_its_types():
    code = "\n".join([
        "import tolbrane, tolbrane_tools",
        "from tolbrane_tools import Ok, bind, catch, collect, do, view",
        "failing = catch()(lambda: 1 / 0)()",
        "assert type(failing) is tolbrane.Result, type(failing)",
        "assert failing.unwrap_err()[:2] == ('division by zero', 'ZeroDivisionError')",
        "assert view(collect([tolbrane.Result.ok(1)])) == Ok([1])",
        "def steps():",
        "    return (yield from bind(tolbrane.Result.ok(2)))",
        "assert view(do(steps)()) == Ok(2)",
    ])
    try:
        import _interpreters as interpreters  # 3.13 and later
    except ImportError:
        interpreters = pytest.importorskip("_xxsubinterpreters")  # 3.12
        interpreter = interpreters.create(isolated=False)
        try:
            interpreters.run_string(interpreter, code)  # raises RunFailedError on a failure
        finally:
            interpreters.destroy(interpreter)
    else:
        interpreter = interpreters.create("legacy")
        try:
            assert interpreters.exec(interpreter, code) is None  # None: no exception escaped
        finally:
            interpreters.destroy(interpreter)
    assert tolbrane_tools.collect([tolbrane.Result.ok(1)]).unwrap() == [1]


def test_importing_the_toolkit_imports_no_heavy_module():
    code = ("import sys, tolbrane_tools; "
            "print(sorted({'asyncio', 'typing_extensions', 'json'} & set(sys.modules)))")
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=limit(60))
    assert (run.returncode, run.stderr, run.stdout) == (0, "", "[]\n")
