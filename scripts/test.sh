#!/usr/bin/env bash
# Installs the test dependencies into the virtual environment ($VENV, default .venv) and runs the
# whole test suite there. Builds and installs the extension first when the environment lacks it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/pythons.sh

venv=${VENV:-.venv}
if [ ! -x "$venv/bin/python" ]; then
    "$(first_python)" -m venv "$venv"
fi
py="$venv/bin/python"
if ! "$py" -c 'import tolbrane' 2>/dev/null; then
    "$py" -m pip install --quiet --upgrade pip
    "$py" -m pip install --quiet .
fi
"$py" -m pip install --quiet -r requirements-test.txt
"$py" -m pip install --quiet --only-binary numpy -r requirements-numpy.txt ||
    echo "note: no numpy wheel for this interpreter; the tests that need numpy skip" >&2
exec "$py" -m pytest -p no:cacheprovider "$@"
