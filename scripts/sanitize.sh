#!/usr/bin/env bash
# Builds the extension with AddressSanitizer and UndefinedBehaviorSanitizer and runs the whole test
# suite against that build; fails on a test failure or on any sanitizer report, including reports
# from the subprocesses that the tests start.
#
#   bash scripts/sanitize.sh [pytest arguments...]      e.g. bash scripts/sanitize.sh -x tests/test_reliability.py
#
# Environment: PYTHON picks the interpreter (default: the first supported one, see pythons.sh);
# BUILD is the build directory (default build/sanitize-X.Y for Python X.Y); VENV is the virtual
# environment for the test dependencies (default $BUILD/venv).
# The interpreter itself is not instrumented, so the sanitizer runtime is preloaded, and Python's
# small-object allocator is turned off (PYTHONMALLOC=malloc) so that every allocation is checked.
# Leak detection stays off: the interpreter does not free everything at exit. The reliability tests
# check leaks themselves (reference counts, tracemalloc, the C heap).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/pythons.sh

python=$(first_python)
build=${BUILD:-build/sanitize-$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')}
venv=${VENV:-$build/venv}
if [ ! -x "$venv/bin/python" ]; then
    "$python" -m venv "$venv"
fi
py="$venv/bin/python"
"$py" -m pip install --quiet -r requirements-test.txt
"$py" -m pip install --quiet --only-binary numpy -r requirements-numpy.txt ||
    echo "note: no numpy wheel for this interpreter; the tests that need numpy skip" >&2
cmake=$(command -v cmake || true)
if [ -z "$cmake" ]; then
    "$py" -m pip install --quiet cmake
    cmake="$venv/bin/cmake"
fi

"$cmake" -S . -B "$build" -DTOLBRANE_SANITIZE=ON -DTOLBRANE_CHECK_OUTCOMES=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPython_EXECUTABLE="$(cd "$(dirname "$py")" && pwd)/python" >/dev/null
"$cmake" --build "$build" -j "$(nproc)" >/dev/null
rm -rf "$build/site" "$build/reports"
mkdir -p "$build/site" "$build/reports"
cp "$build"/tolbrane*.so "$build/site/"
cp -r tolbrane_tools "$build/site/"
site=$(cd "$build/site" && pwd)
reports=$(cd "$build/reports" && pwd)

# The sanitizer runtime finds the C++ runtime's throw function when it starts, so both are preloaded.
export LD_PRELOAD="$(c++ -print-file-name=libasan.so) $(c++ -print-file-name=libstdc++.so)"
export PYTHONMALLOC=malloc PYTHONPATH="$site${PYTHONPATH:+:$PYTHONPATH}"
export ASAN_OPTIONS="detect_leaks=0:log_path=$reports/asan"
export UBSAN_OPTIONS="print_stacktrace=1:log_path=$reports/ubsan"
"$py" -c 'import sys, tolbrane; sys.exit(not tolbrane.__file__.startswith(sys.argv[1]))' "$site" || {
    echo "error: the sanitizer build is not the tolbrane that $py imports" >&2
    exit 1
}

# Instrumented frames are several times larger, while the interpreter's recursion limits are tuned
# for ordinary builds: a larger stack lets a deep recursion end in RecursionError as it normally does.
ulimit -s 65536 || echo "warning: could not raise the stack limit; deep recursions may overflow" >&2
status=0
"$py" -P -m pytest -p no:cacheprovider "$@" || status=$?
if compgen -G "$reports/*" >/dev/null; then
    cat "$reports"/* >&2
    echo "sanitizer reports: $(ls "$reports" | wc -l) (see $reports)" >&2
    exit 1
fi
echo "sanitizer reports: 0"
exit "$status"
