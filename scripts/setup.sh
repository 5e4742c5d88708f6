#!/usr/bin/env bash
# Builds the extension, installs it into .venv and runs the tour of the API.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/pythons.sh

venv=${VENV:-.venv}
python=$(first_python)
if [ ! -x "$venv/bin/python" ]; then
    "$python" -m venv "$venv"
fi
"$venv/bin/python" -m pip install --quiet --upgrade pip
"$venv/bin/python" -m pip install --quiet --force-reinstall --no-deps .
"$venv/bin/python" examples/tour.py
