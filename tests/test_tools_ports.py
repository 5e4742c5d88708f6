"""The two programs ported from `result` and `returns` print what the originals printed.

bench/ports/peers/ holds the originals (run once with those packages, in a throwaway
environment, to record bench/ports/expected/); the tolbrane ports run here, both the one made
with the toolkit before typed errors and the one made with them.
"""

import pathlib
import subprocess
import sys

import pytest
from _limits import limit

PORTS = pathlib.Path(__file__).resolve().parent.parent / "bench" / "ports"


@pytest.mark.parametrize("version", ["before", "after"])
@pytest.mark.parametrize("program", ["users", "plugins"])
def test_a_port_prints_what_the_original_printed(program, version, tmp_path):
    run = subprocess.run([sys.executable, str(PORTS / version / f"{program}.py")], cwd=tmp_path,
                         capture_output=True, text=True, timeout=limit(60))
    assert (run.returncode, run.stderr) == (0, "")
    assert run.stdout == (PORTS / "expected" / f"{program}.txt").read_text()


def test_the_ports_import_neither_peer_package():
    for port in PORTS.glob("*/*.py"):
        if port.parent.name in ("before", "after"):
            source = port.read_text()
            assert "import result" not in source and "from result" not in source
            assert "returns" not in source.split('"""', 2)[-1]
