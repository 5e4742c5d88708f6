#!/usr/bin/env bash
# Proves that the source build is not tied to GNU tools: builds the extension from this tree with
# clang, linked by lld against LLVM's libc++ (Debian's packages, installed here when missing), then
# checks that the library was made so and runs the test suite on it, once per interpreter.
#
#   bash scripts/portable-build.sh [pytest arguments...]
#
# Environment: PYTHON picks the one interpreter (default: every supported one, see pythons.sh);
# LLVM_VERSION the Debian LLVM packages (default 19); BUILD the folder of the virtual environments
# (default build/portable), one per interpreter, portable-X.Y. Needs root to install the packages.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/pythons.sh

llvm=${LLVM_VERSION:-19}
build=${BUILD:-build/portable}
packages=("clang-$llvm" "lld-$llvm" "libc++-$llvm-dev" "libc++abi-$llvm-dev")
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$' ||
        missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
    echo "installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
cxx=$(command -v "clang++-$llvm")
readelf=$(command -v "llvm-readelf-$llvm" || command -v readelf)

if [ -n "${PYTHON:-}" ]; then
    pythons=("$(first_python)")
else
    mapfile -t pythons < <(supported_pythons)
fi
[ "${#pythons[@]}" -gt 0 ] || { first_python >/dev/null; exit 1; }

mkdir -p "$build"
for python in "${pythons[@]}"; do
    version=$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
    venv="$build/portable-$version"
    echo "=== clang $llvm, lld, libc++: Python $version ($python) ==="
    rm -rf "$venv"
    "$python" -m venv "$venv"
    "$venv/bin/python" -m pip install --quiet --upgrade pip
    # The C++ runtime and the linker are chosen by flags alone: CMake's checks find which of the
    # project's link options this linker takes.
    "$venv/bin/python" -m pip install --quiet . \
        -C cmake.define.CMAKE_CXX_COMPILER="$cxx" \
        -C cmake.define.CMAKE_CXX_FLAGS=-stdlib=libc++ \
        -C cmake.define.CMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld \
        -C cmake.define.CMAKE_MODULE_LINKER_FLAGS=-fuse-ld=lld \
        -C install.strip=false -C build-dir="$build/cmake-$version"
    library=$("$venv/bin/python" -P -c 'import tolbrane; print(tolbrane.__file__)')
    comment=$("$readelf" -p .comment "$library")
    needed=$("$readelf" -d "$library" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
    grep -q 'Linker: .*LLD' <<<"$comment" || { echo "error: $library was not linked by lld" >&2; exit 1; }
    grep -q 'clang version' <<<"$comment" || { echo "error: $library was not compiled by clang" >&2; exit 1; }
    case " $needed" in
        *" libstdc++"* | *" libgcc_s"*) echo "error: $library needs the GNU C++ runtime: $needed" >&2; exit 1 ;;
    esac
    symbols=$("$readelf" -Ws "$library")
    grep -q 'St3__1' <<<"$symbols" || { echo "error: $library holds no libc++ code (std::__1)" >&2; exit 1; }
    echo "built by $(grep -o 'clang version [^ )]*' <<<"$comment" | head -n 1), $(grep -o 'Linker: [^)]*' <<<"$comment" | head -n 1); needs: $needed"
    VENV="$venv" bash scripts/test.sh "$@"
done
