#!/usr/bin/env bash
# Runs the test suite on an aarch64 wheel, on the arm64 CPython of the chroot that
# scripts/arm64-chroot.sh makes (or reuses), under emulation. Needs root, as that script does.
#
#   bash scripts/arm64-test.sh WHEEL [pytest arguments...]
#
# Without pytest arguments it runs every functional test file and the reliability files that fit
# an emulated run: test_reliability_model.py, test_interpreters.py and test_thread_stress.py. It
# leaves out test_scripts.py, whose subject is this machine's interpreters and shell scripts, not
# the wheel: inside the chroot they are other ones.
# Environment: VENV is the virtual environment, made anew (default build/arm64-venv); ARM64_CACHE
# as for arm64-chroot.sh; TOLBRANE_TIME_SCALE multiplies the tests' time limits (default 20).
#
# pip runs on this machine, not under emulation, where its start and its resolver alone take
# minutes: it fetches the aarch64 wheels for the chroot's interpreter and unpacks them into the
# venv, which the emulated interpreter then only imports.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/pythons.sh

wheel=${1:?usage: bash scripts/arm64-test.sh WHEEL [pytest arguments...]}
shift
[ -f "$wheel" ] || { echo "error: no wheel at $wheel" >&2; exit 1; }
case "$(basename "$wheel")" in
    *_aarch64.whl) ;;
    *) echo "error: not an aarch64 wheel: $wheel" >&2; exit 1 ;;
esac
if [ "$#" -eq 0 ]; then
    set -- --ignore=tests/test_reliability.py --ignore=tests/test_reliability_stacks.py \
        --ignore=tests/test_leak_hunt.py --ignore=tests/test_scripts.py
fi
bin=${ARM64_CACHE:-/var/cache/tolbrane-arm64}/bin
venv=${VENV:-build/arm64-venv}
host_python=$(first_python)

bash scripts/arm64-chroot.sh
rm -rf "$venv"
mkdir -p "$(dirname "$venv")"
venv=$(realpath "$venv")
"$bin/arm64-python3.13" -m venv --without-pip "$venv"
read -r version glibc < <("$bin/arm64-run" "$venv/bin/python" -c '
import platform, sys
print("%d.%d" % sys.version_info[:2], platform.libc_ver()[1].split(".")[1])')
# Every manylinux tag that the chroot's glibc (2.$glibc) satisfies.
platforms=(--platform manylinux2014_aarch64)
for minor in $(seq 17 "$glibc"); do platforms+=(--platform "manylinux_2_${minor}_aarch64"); done
"$host_python" -m pip install --quiet --root-user-action=ignore --target "$venv/lib/python$version/site-packages" \
    --only-binary :all: --implementation cp --python-version "$version" "${platforms[@]}" \
    pip "$wheel" -r requirements-test.txt -r requirements-numpy.txt
echo "installed for aarch64 CPython $version: $(basename "$wheel") and the test dependencies"
"$bin/arm64-run" env TOLBRANE_TIME_SCALE="${TOLBRANE_TIME_SCALE:-20}" \
    "$venv/bin/python" -P -m pytest -p no:cacheprovider "$@"
