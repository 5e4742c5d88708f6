#!/usr/bin/env bash
# Installs the test dependencies into the virtual environment ($VENV, default .venv) and runs the
# whole test suite there. Builds and installs the extension first when the environment lacks it.
# A new environment is made with $PYTHON, or the newest Python 3.12 or later found (see pythons.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/pythons.sh

venv=${VENV:-.venv}
prepare_venv "$venv"
py="$venv/bin/python"
if ! "$py" -P -c 'import tolbrane, tolbrane_tools' 2>/dev/null; then
    "$py" -m pip install --quiet --upgrade pip
    "$py" -m pip install --quiet .
fi
"$py" -m pip install --quiet -r requirements-test.txt
"$py" -m pip install --quiet --only-binary numpy -r requirements-numpy.txt ||
    echo "note: no numpy wheel for this interpreter; the tests that need numpy skip" >&2
# -P: the source tree's tolbrane_tools must not shadow the installed one.
exec "$py" -P -m pytest -p no:cacheprovider "$@"
