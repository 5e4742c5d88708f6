#!/usr/bin/env bash
# The release build: the sdist, then from it the cp312-abi3 wheel compiled by zig's clang against
# glibc 2.17 (scripts/zig-c++), repaired by auditwheel to manylinux_2_17_x86_64 (manylinux2014), so
# it installs on every Linux x86-64 with glibc 2.17 or later. Prints the repaired wheel's path last.
#
#   bash scripts/build-wheel.sh [--outdir DIR]       DIR defaults to dist/
#
# Environment: PYTHON picks the interpreter that runs the tools (default: the first supported one,
# see pythons.sh); TOOLS is the virtual environment for the tools of requirements-release.txt
# (default build/release-tools). A plain `pip install .` builds with the system's g++ instead.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/pythons.sh

outdir=dist
while [ $# -gt 0 ]; do
    case "$1" in
        --outdir) outdir=${2:?--outdir needs a folder}; shift 2 ;;
        --outdir=*) outdir=${1#--outdir=}; shift ;;
        *) echo "usage: bash scripts/build-wheel.sh [--outdir DIR]" >&2; exit 2 ;;
    esac
done
platform=manylinux_2_17_x86_64

python=$(first_python)
tools=${TOOLS:-build/release-tools}
if [ ! -x "$tools/bin/python" ]; then
    "$python" -m venv "$tools"
fi
"$tools/bin/python" -m pip install --quiet --upgrade pip
"$tools/bin/python" -m pip install --quiet -r requirements-release.txt
ZIG=$("$tools/bin/python" -c 'import pathlib, ziglang; print(pathlib.Path(ziglang.__file__).with_name("zig"))')
export ZIG
echo "compiler: zig $("$ZIG" version) ($("$ZIG" c++ --version | head -n 1)), target glibc 2.17"

staging=$(mktemp -d "${TMPDIR:-/tmp}/tolbrane-release.XXXXXX")
trap 'rm -rf "$staging"' EXIT
# The sdist, then the wheel built from it; zig links its libc++ statically by itself. Without
# frame pointers (zig keeps them, g++ drops them) and with whole-program link-time optimisation
# most operations take fewer instructions than with g++, and none more than 7% more (repr, whose
# string building calls libc++ out of line); with zig's defaults up to 19% more, as clang inlines
# less within one file than g++ (bench/instructions.py counts them).
"$tools/bin/python" -m build --outdir "$staging/dist" \
    -C cmake.define.CMAKE_CXX_COMPILER="$PWD/scripts/zig-c++" \
    -C cmake.define.CMAKE_CXX_FLAGS="-fomit-frame-pointer -flto" \
    -C cmake.define.TOLBRANE_STATIC_CXX_RUNTIME=OFF .
sdist=$(ls "$staging"/dist/tolbrane-*.tar.gz)
wheel=$(ls "$staging"/dist/tolbrane-*-cp312-abi3-linux_x86_64.whl)
# auditwheel refuses to give the tag when a symbol needs a newer glibc than 2.17.
PATH="$tools/bin:$PATH" "$tools/bin/auditwheel" repair --plat "$platform" \
    --wheel-dir "$staging/wheelhouse" "$wheel"
repaired=$(ls "$staging"/wheelhouse/tolbrane-*-cp312-abi3-*.whl)
PATH="$tools/bin:$PATH" "$tools/bin/auditwheel" show "$repaired"

mkdir -p "$outdir"
cp "$sdist" "$repaired" "$outdir/"
echo "sdist: $outdir/$(basename "$sdist")"
echo "$outdir/$(basename "$repaired")"
