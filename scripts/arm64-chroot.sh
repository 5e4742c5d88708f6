#!/usr/bin/env bash
# Makes a chroot of Debian unstable for 64-bit ARM (arm64) that holds one CPython, run on this
# x86-64 machine by qemu's user-mode emulator through binfmt_misc, and writes the wrappers that run
# commands inside it. An existing chroot is reused. Needs root (debootstrap, binfmt_misc, mount
# namespaces) and Debian's package registry.
#
#   bash scripts/arm64-chroot.sh            make or reuse the chroot, write the wrappers
#   bash scripts/arm64-chroot.sh --fresh    throw away the chroot first and make a new one
#
# Environment: ARM64_CACHE is the cache folder (default /var/cache/tolbrane-arm64): the chroot is
# its chroot/, the wrappers its bin/. ARM64_PYTHON names the interpreter package (default
# python3.13). DEBIAN_MIRROR overrides the mirror, which otherwise is this machine's apt archive.
#
# The wrappers are arm64-run (any command) and arm64-python3.13. Like the wrappers of
# scripts/newer-pythons.sh, each runs in a mount namespace of its own, with /dev, /proc, /sys and the
# work tree of the current directory at the same paths inside, and nothing left mounted after.
#
# Only debootstrap's first stage runs, which is native: it resolves and fetches the packages and
# unpacks the essential ones. The remaining packages are unpacked here natively too, instead of by
# the emulated second stage (about 11 minutes on 2 cores, most of it dpkg and byte-compiling under
# emulation). No maintainer script runs, so the few files they would make are made below: the user
# database, the dynamic linker's cache and the certificate bundle. The chroot is a place to run one
# interpreter and the test suite, not a Debian system to administer: it has no working dpkg state.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/chroot-common.sh"
cd "$(dirname "$0")/.."

cache=${ARM64_CACHE:-/var/cache/tolbrane-arm64}
root=$cache/chroot
bin=$cache/bin
python=${ARM64_PYTHON:-python3.13}
# binutils: nm, for the test of the library's exported symbols.
packages="$python,$python-venv,binutils"
started=$(date +%s)

fail() {
    echo "error: $*" >&2
    exit 1
}

[ "$(id -u)" -eq 0 ] || fail "making and entering the chroot needs root"
mkdir -p "$cache" "$bin"
exec 9>"$cache/.lock"
flock 9

host_packages=()
command -v debootstrap >/dev/null 2>&1 || host_packages+=(debootstrap)
[ -x /usr/bin/qemu-aarch64-static ] || host_packages+=(qemu-user-static)
command -v update-binfmts >/dev/null 2>&1 || host_packages+=(binfmt-support)
if [ "${#host_packages[@]}" -gt 0 ]; then
    echo "installing on this machine: ${host_packages[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${host_packages[@]}" >/dev/null
fi

# The kernel runs an arm64 program through qemu only with a binfmt_misc entry for it. The entry's
# F flag opens the emulator when it is registered, so that it works inside the chroot too.
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" ||
        fail "cannot mount binfmt_misc at $binfmt: this machine cannot run arm64 programs"
fi
grep -qsx enabled "$binfmt/qemu-aarch64" || update-binfmts --enable qemu-aarch64 ||
    fail "update-binfmts cannot enable qemu-aarch64: this machine cannot run arm64 programs"
grep -qsx enabled "$binfmt/qemu-aarch64" ||
    fail "the binfmt_misc entry qemu-aarch64 is not enabled: this machine cannot run arm64 programs"
grep -q '^flags:.*F' "$binfmt/qemu-aarch64" ||
    fail "the binfmt_misc entry qemu-aarch64 lacks the F flag, so it cannot work inside a chroot"

remove_chroot() {
    if [ -n "$(mounted_below "$1")" ]; then
        mounted_below "$1" >&2
        fail "something is mounted below $1; not removing it"
    fi
    rm -rf --one-file-system "$1"
}

write_runner() {
    write_chroot_runner arm64-run "the arm64 chroot" scripts/arm64-chroot.sh "$@"
    cat >"$bin/arm64-$python.new" <<EOF
#!/bin/sh
# Runs the arm64 $python inside the chroot, in the current directory, under emulation.
# Written by scripts/arm64-chroot.sh of tolbrane.
exec $(printf '%q' "$bin/arm64-run") /usr/bin/$python "\$@"
EOF
    chmod +x "$bin/arm64-$python.new"
    mv "$bin/arm64-$python.new" "$bin/arm64-$python"
}

# What the maintainer scripts would have made, in so far as the interpreter and pip need it.
finish_unpacked() {
    local dir=$1
    cp "$dir/usr/share/base-passwd/passwd.master" "$dir/etc/passwd"
    cp "$dir/usr/share/base-passwd/group.master" "$dir/etc/group"
    [ -e "$dir/usr/bin/sh" ] || ln -s dash "$dir/usr/bin/sh"
    [ -e "$dir/etc/resolv.conf" ] || touch "$dir/etc/resolv.conf"
    mkdir -p "$dir/etc/ssl/certs"
    cp -L /etc/ssl/certs/ca-certificates.crt "$dir/etc/ssl/certs/ca-certificates.crt"
    chroot "$dir" /sbin/ldconfig ||
        fail "the first arm64 program (ldconfig) does not run: binfmt_misc does not reach qemu"
}

if [ "${1:-}" = "--fresh" ] && [ -d "$root" ]; then
    echo "removing the chroot at $root (--fresh)"
    remove_chroot "$root"
fi

if [ -f "$root/.tolbrane-made" ] && [ "$(cat "$root/.tolbrane-packages" 2>/dev/null)" != "$packages" ]; then
    echo "removing the chroot at $root: it was made with other packages than $packages"
    remove_chroot "$root"
fi
if [ -f "$root/.tolbrane-made" ]; then
    echo "reusing the chroot at $root (made $(cat "$root/.tolbrane-made"))"
    fresh=0
else
    fresh=1
    if [ -d "$root" ]; then
        echo "removing the chroot at $root: an earlier run stopped before it was checked"
        remove_chroot "$root"
    fi
    mirror=$(debian_mirror)
    [ -n "$mirror" ] || fail "no Debian archive in /etc/apt/sources.list{,.d/*}; set DEBIAN_MIRROR"
    proxy=$(apt-config shell proxy Acquire::http::Proxy | sed -n "s/^proxy='\(.*\)'$/\1/p")
    partial=$root.partial
    [ ! -e "$partial" ] || remove_chroot "$partial"
    echo "fetching Debian unstable for arm64 with $packages into $partial from $mirror"
    http_proxy=${proxy:-${http_proxy:-}} unshare --mount --propagation private -- \
        debootstrap --arch=arm64 --foreign --variant=minbase --include="$packages" \
        sid "$partial" "$mirror" >"$cache/debootstrap.log" 2>&1 || {
        tail -n 30 "$cache/debootstrap.log" >&2
        fail "debootstrap failed (whole log: $cache/debootstrap.log)"
    }
    echo "first stage done in $(( $(date +%s) - started )) s; unpacking the other packages"
    # Over the merged-/usr links that the first stage made, never replacing them.
    for deb in "$partial"/var/cache/apt/archives/*.deb; do
        dpkg-deb --fsys-tarfile "$deb" |
            tar -C "$partial" -xf - --keep-directory-symlink --skip-old-files --no-same-owner
    done
    rm -f "$partial"/var/cache/apt/archives/*.deb
    finish_unpacked "$partial"
    mv "$partial" "$root"
fi

copy_pip_config
write_runner "${pip_binds[@]}"

machine=$("$bin/arm64-$python" -c 'import platform; print(platform.machine())') ||
    fail "the chroot's $python does not run"
[ "$machine" = aarch64 ] || fail "the chroot's $python runs as $machine, not aarch64"
if [ "$fresh" -eq 1 ]; then
    printf '%s\n' "$packages" >"$root/.tolbrane-packages"
    date -u '+%Y-%m-%d %H:%M UTC' >"$root/.tolbrane-made"
fi

if [ "$fresh" -eq 1 ]; then
    echo "chroot made in $(( $(date +%s) - started )) s"
else
    echo "chroot reused, checked in $(( $(date +%s) - started )) s"
fi
printf '  %-42s %s\n' "$bin/arm64-$python" "$("$bin/arm64-$python" -c 'import platform, sys; print(sys.version, platform.machine())')"
printf '  %-42s %s\n' "$bin/arm64-run COMMAND..." "any other command in the chroot"
