"""The set-up scripts say which interpreter they use, pick the newest one when PYTHON is not set,
and stop with the reason when PYTHON cannot be used or names another interpreter than an existing
virtual environment's, never going on with another.

The scripts run in bash against the real interpreters of this machine; none of these tests builds
the extension: every case here stops, or is run through scripts/pythons.sh alone, before that.
"""

import glob
import os
import pathlib
import shutil
import subprocess
import sys

import pytest

from _limits import limit

REPO = pathlib.Path(__file__).resolve().parent.parent
ADVICE = "set PYTHON to a Python 3.12 or later, or unset it to use the newest found"


def probe(path):
    """(version tuple, version text, real path) of an interpreter, or None when it does not run."""
    try:
        run = subprocess.run([path, "-c", "import os, platform, sys; print(*sys.version_info[:3], "
                              "platform.python_version(), os.path.realpath(sys.executable))"],
                             capture_output=True, text=True, timeout=limit(30))
    except OSError:
        return None
    if run.returncode != 0:
        return None
    *numbers, text, real = run.stdout.split()
    return tuple(map(int, numbers)), text, real


def interpreters():
    """Real interpreters of this machine by real path: version tuple -> real path."""
    candidates = [sys._base_executable, "/usr/bin/python3", "/usr/bin/python3.11"]
    candidates += glob.glob(os.path.expanduser("~/.pyenv/versions/3.*/bin/python3"))
    candidates += filter(None, (shutil.which(f"python3.{minor}") for minor in range(8, 30)))
    found = {}
    for candidate in candidates:
        probed = probe(candidate)
        if probed is not None:
            found.setdefault(probed[0], probed[2])
    return found


INTERPRETERS = interpreters()
SUPPORTED = sorted(version for version in INTERPRETERS if version >= (3, 12))
OLD = sorted(version for version in INTERPRETERS if version < (3, 12))


def supported(count):
    if len({version[:2] for version in SUPPORTED}) < count:
        pytest.skip(f"needs {count} interpreters of different versions 3.12 or later")
    by_minor = {version[:2]: INTERPRETERS[version] for version in SUPPORTED}
    return [by_minor[minor] for minor in sorted(by_minor)]


def described(path):
    return f"Python {probe(path)[1]} ({path})"


def pyenv_root(tmp_path, *pythons):
    """A pyenv folder holding `pythons` under their version numbers, in that order on disk."""
    root = tmp_path / "pyenv"
    for python in pythons:
        folder = root / "versions" / probe(python)[1] / "bin"
        folder.mkdir(parents=True)
        (folder / "python3").symlink_to(python)
    return str(root)


def environment(tmp_path, **settings):
    """The caller's environment without the settings the scripts read, nor the sanitizer's."""
    env = {name: value for name, value in os.environ.items()
           if name not in ("PYTHON", "VENV", "PYENV_ROOT", "LD_PRELOAD", "PYTHONPATH")}
    env["PYENV_ROOT"] = str(tmp_path / "no-pyenv")
    env.update(settings)
    return env


def bash(command, env):
    return subprocess.run(["bash", "-c", f"set -euo pipefail; source scripts/pythons.sh; {command}"],
                          cwd=REPO, env=env, capture_output=True, text=True, timeout=limit(120))


def script(name, env):
    return subprocess.run(["bash", str(REPO / "scripts" / name)], env=env, capture_output=True,
                          text=True, timeout=limit(120))


def test_the_newest_interpreter_comes_first_whatever_the_folder_order(tmp_path):
    older, newer = supported(2)[:2]
    # pyenv's folders list 3.12 before 3.13, which used to decide.
    env = environment(tmp_path, PYENV_ROOT=pyenv_root(tmp_path, older, newer))
    listed = bash("supported_pythons", env)
    assert (listed.returncode, listed.stderr) == (0, "")
    paths = listed.stdout.splitlines()
    assert paths.index(newer) < paths.index(older)
    versions = [probe(path)[0] for path in paths]
    assert versions == sorted(versions, reverse=True)
    assert bash("first_python", env).stdout == paths[0] + "\n"


def test_python_set_comes_first_even_when_older(tmp_path):
    older, newer = supported(2)[:2]
    env = environment(tmp_path, PYTHON=older, PYENV_ROOT=pyenv_root(tmp_path, older, newer))
    listed = bash("supported_pythons", env).stdout.splitlines()
    assert listed[0] == older
    assert newer in listed[1:] and older not in listed[1:]
    chosen = bash("first_python", env)
    assert (chosen.returncode, chosen.stdout, chosen.stderr) == (0, older + "\n", "")


def unusable_pythons():
    cases = [("/nonexistent/python3", "is not an interpreter found here; " + ADVICE),
             ("/bin/true", "does not run as a Python interpreter; " + ADVICE)]
    if OLD:
        old = INTERPRETERS[OLD[-1]]
        cases.append((old, f"is Python {probe(old)[1]}, older than 3.12; " + ADVICE))
    return cases


@pytest.mark.parametrize("python, reason", unusable_pythons())
def test_an_unusable_python_stops_first_python_with_its_reason(tmp_path, python, reason):
    env = environment(tmp_path, PYTHON=python)
    chosen = bash("first_python", env)
    assert (chosen.returncode, chosen.stdout) == (1, "")
    assert chosen.stderr == f"error: PYTHON={python} {reason}\n"
    # .ci/run reads an empty list as "nothing usable" and lets first_python say why.
    assert bash("supported_pythons", env).stdout == ""


@pytest.mark.parametrize("name", ["setup.sh", "test.sh"])
@pytest.mark.parametrize("python, reason", unusable_pythons())
def test_an_unusable_python_stops_the_script_before_anything_is_made(tmp_path, name, python,
                                                                     reason):
    venv = tmp_path / "venv"
    run = script(name, environment(tmp_path, PYTHON=python, VENV=str(venv)))
    assert (run.returncode, run.stdout) == (1, "")
    assert run.stderr == f"error: PYTHON={python} {reason}\n"
    assert not venv.exists()


@pytest.mark.parametrize("name", ["setup.sh", "test.sh"])
def test_python_of_another_interpreter_than_the_venv_stops_the_script(tmp_path, name):
    made_with, asked = supported(2)[:2]
    venv = tmp_path / "venv"
    subprocess.run([made_with, "-m", "venv", "--without-pip", str(venv)], check=True)
    made = sorted(str(path) for path in venv.rglob("*"))
    run = script(name, environment(tmp_path, PYTHON=asked, VENV=str(venv)))
    assert (run.returncode, run.stdout) == (1, "")
    assert run.stderr == (f"error: {venv} was made with {described(made_with)}, and "
                          f"PYTHON={asked} is {described(asked)}; start fresh with: rm -rf {venv}\n")
    assert sorted(str(path) for path in venv.rglob("*")) == made


@pytest.mark.parametrize("set_python", [False, True], ids=["unset", "same interpreter"])
def test_an_existing_venv_is_kept_and_named(tmp_path, set_python):
    made_with = supported(1)[0]
    venv = tmp_path / "venv"
    subprocess.run([made_with, "-m", "venv", "--without-pip", str(venv)], check=True)
    env = environment(tmp_path, **({"PYTHON": made_with} if set_python else {}))
    run = bash(f"prepare_venv {venv}", env)
    assert (run.returncode, run.stderr) == (0, "")
    assert run.stdout == f"using {venv}, made with {described(made_with)}\n"


def test_a_venv_whose_interpreter_is_gone_stops(tmp_path):
    venv = tmp_path / "venv"
    (venv / "bin").mkdir(parents=True)
    (venv / "bin" / "python").symlink_to(tmp_path / "removed-python")
    (tmp_path / "removed-python").write_text("#!/bin/sh\nexit 127\n")
    (tmp_path / "removed-python").chmod(0o755)
    run = bash(f"prepare_venv {venv}", environment(tmp_path))
    assert (run.returncode, run.stdout) == (1, "")
    assert run.stderr == (f"error: {venv} does not run (its interpreter may have been removed); "
                          f"start fresh with: rm -rf {venv}\n")


def test_a_new_venv_is_made_with_the_newest_interpreter_and_says_so(tmp_path):
    pythons = supported(1)
    env = environment(tmp_path, PYENV_ROOT=pyenv_root(tmp_path, *pythons))
    # Another interpreter of the newest version may come first (a release build beside a debug one).
    newest = bash("first_python", env).stdout.strip()
    assert probe(newest)[1] == probe(pythons[-1])[1]
    venv = tmp_path / "venv"
    run = bash(f"prepare_venv {venv}", env)
    assert (run.returncode, run.stderr) == (0, "")
    assert run.stdout == (f"making {venv} with {described(newest)}, the newest found; "
                          "PYTHON=/path/to/python picks another\n")
    base = subprocess.run([venv / "bin" / "python", "-c",
                           "import os, sys; print(os.path.realpath(sys._base_executable))"],
                          capture_output=True, text=True, check=True).stdout.strip()
    assert base == newest
