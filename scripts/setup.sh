#!/usr/bin/env bash
# Builds the extension, installs it into .venv and runs the tour of the API. The environment is made
# with $PYTHON, or the newest Python 3.12 or later found (see pythons.sh); VENV names another one.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/pythons.sh

venv=${VENV:-.venv}
prepare_venv "$venv"
"$venv/bin/python" -m pip install --quiet --upgrade pip
"$venv/bin/python" -m pip install --quiet --force-reinstall --no-deps .
"$venv/bin/python" examples/tour.py
