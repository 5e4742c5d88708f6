#!/usr/bin/env bash
# The release build: the sdist, then from it one cp312-abi3 wheel per architecture, compiled by
# zig's clang against glibc 2.17 (scripts/zig-c++) and repaired by auditwheel to manylinux2014:
# manylinux_2_17_x86_64 for Linux x86-64 and manylinux_2_17_aarch64 for 64-bit ARM Linux, so each
# installs on every Linux of its architecture with glibc 2.17 or later. The aarch64 wheel is
# cross-compiled here: an abi3 build needs only the Python headers, which are the same on both.
# Each wheel is checked by abi3audit (stable ABI of 3.12, nothing newer) and auditwheel. Prints the
# repaired wheels' paths last, one a line, x86-64 first.
#
#   bash scripts/build-wheel.sh [--arch x86_64|aarch64|all] [--outdir DIR]
#                                       --arch defaults to all, DIR to dist/
#
# Environment: PYTHON picks the interpreter that runs the tools (default: the first supported one,
# see pythons.sh); TOOLS is the virtual environment for the tools of requirements-release.txt
# (default build/release-tools). A plain `pip install .` builds with the system's compiler instead.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/pythons.sh

usage="usage: bash scripts/build-wheel.sh [--arch x86_64|aarch64|all] [--outdir DIR]"
outdir=dist
arch=all
while [ $# -gt 0 ]; do
    case "$1" in
        --outdir) outdir=${2:?--outdir needs a folder}; shift 2 ;;
        --outdir=*) outdir=${1#--outdir=}; shift ;;
        --arch) arch=${2:?--arch needs x86_64, aarch64 or all}; shift 2 ;;
        --arch=*) arch=${1#--arch=}; shift ;;
        *) echo "$usage" >&2; exit 2 ;;
    esac
done
case "$arch" in
    all) arches=(x86_64 aarch64) ;;
    x86_64 | aarch64) arches=("$arch") ;;
    *) echo "$usage" >&2; exit 2 ;;
esac

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
"$tools/bin/python" -m build --sdist --outdir "$staging/dist" .
sdist=$(ls "$staging"/dist/tolbrane-*.tar.gz)
mkdir -p "$staging/src"
tar -xzf "$sdist" -C "$staging/src"
source_dir=$(ls -d "$staging"/src/tolbrane-*)

repaired=()
for target in "${arches[@]}"; do
    echo "=== the $target wheel ==="
    # Without frame pointers (zig keeps them, g++ drops them) and with whole-program link-time
    # optimisation most operations take fewer instructions than with g++, and none more than 7%
    # more (repr, whose string building calls libc++ out of line); with zig's defaults up to 19%
    # more, as clang inlines less within one file than g++ (bench/instructions.py counts them).
    # The host platform variable gives the wheel its architecture's tag when cross-compiling.
    ZIG_TARGET=$target-linux-gnu.2.17 _PYTHON_HOST_PLATFORM=linux-$target \
        "$tools/bin/python" -m build --wheel --outdir "$staging/wheels-$target" \
        -C cmake.define.CMAKE_CXX_COMPILER="$PWD/scripts/zig-c++" \
        -C cmake.define.CMAKE_CXX_FLAGS="-fomit-frame-pointer -flto" \
        -C cmake.define.TOLBRANE_STATIC_CXX_RUNTIME=OFF "$source_dir"
    wheel=$(ls "$staging/wheels-$target"/tolbrane-*-cp312-abi3-linux_"$target".whl)
    # auditwheel names only the host's architecture in --plat: for the other one it picks the tag
    # from the symbols, which must then be glibc 2.17's. abi3audit fails on any symbol outside the
    # stable ABI of 3.12.
    PATH="$tools/bin:$PATH" "$tools/bin/auditwheel" repair --plat auto \
        --wheel-dir "$staging/wheelhouse-$target" "$wheel"
    wheel=$(ls "$staging/wheelhouse-$target"/tolbrane-*-cp312-abi3-*.whl)
    case "$(basename "$wheel")" in
        *-manylinux2014_"$target".manylinux_2_17_"$target".whl) ;;
        *) echo "error: not a manylinux2014 wheel: $wheel" >&2; exit 1 ;;
    esac
    PATH="$tools/bin:$PATH" "$tools/bin/auditwheel" show "$wheel"
    "$tools/bin/abi3audit" --strict --report "$wheel"
    repaired+=("$wheel")
done

mkdir -p "$outdir"
cp "$sdist" "${repaired[@]}" "$outdir/"
echo "sdist: $outdir/$(basename "$sdist")"
for wheel in "${repaired[@]}"; do
    echo "$outdir/$(basename "$wheel")"
done
