#!/usr/bin/env bash
# Makes a chroot of Debian unstable that holds CPython 3.14 and 3.15, each as a release and a debug
# build, and writes one wrapper per interpreter that runs it inside the chroot. An existing chroot
# is reused. Needs root (debootstrap, mount namespaces) and Debian's package registry.
#
#   bash scripts/newer-pythons.sh           make or reuse the chroot, write the wrappers
#   bash scripts/newer-pythons.sh --fresh   throw away the chroot first and make a new one
#
# Environment: NEWER_PYTHONS_CACHE is the cache folder (default /var/cache/tolbrane): the chroot is
# its sid-chroot/, the wrappers its bin/. DEBIAN_MIRROR overrides the mirror, which otherwise is the
# Debian archive that this machine's apt uses.
#
# The wrappers are named sid-python3.14, sid-python3.14-dbg, ... and sid-run (any command), so that
# the discovery of scripts/pythons.sh never takes them for interpreters of this machine. Each one
# runs in a mount namespace of its own: /dev, /proc, /sys, the current directory and the work tree
# that holds it appear inside at the same paths, and every mount ends with the command, so nothing
# is left mounted and nothing needs unmounting.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/chroot-common.sh"
cd "$(dirname "$0")/.."

cache=${NEWER_PYTHONS_CACHE:-/var/cache/tolbrane}
root=$cache/sid-chroot
bin=$cache/bin
versions=(3.14 3.15)
started=$(date +%s)

if [ "$(id -u)" -ne 0 ]; then
    echo "error: making and entering the chroot needs root" >&2
    exit 1
fi
mkdir -p "$cache" "$bin"
exec 9>"$cache/.lock"
flock 9  # one maker at a time; the wrappers themselves take no lock

remove_chroot() {
    # Through a live bind mount, removing the tree would delete the files it shows.
    if [ -n "$(mounted_below "$1")" ]; then
        echo "error: something is mounted below $1; not removing it:" >&2
        mounted_below "$1" >&2
        exit 1
    fi
    rm -rf --one-file-system "$1"
}

# The wrapper that every other one calls: runs its arguments inside the chroot, in the current
# directory. Its read-only binds are the local folders that pip's configuration names.
write_runner() {
    write_chroot_runner sid-run "the Debian unstable chroot" scripts/newer-pythons.sh "$@"
}

write_interpreter_wrapper() {
    local name=$1
    cat >"$bin/sid-$name.new" <<EOF
#!/bin/sh
# Runs Debian unstable's $name inside the chroot, in the current directory.
# Written by scripts/newer-pythons.sh of tolbrane.
exec $(printf '%q' "$bin/sid-run") /usr/bin/$name "\$@"
EOF
    chmod +x "$bin/sid-$name.new"
    mv "$bin/sid-$name.new" "$bin/sid-$name"
}

if [ "${1:-}" = "--fresh" ] && [ -d "$root" ]; then
    echo "removing the chroot at $root (--fresh)"
    remove_chroot "$root"
fi

if [ -f "$root/.tolbrane-made" ]; then
    echo "reusing the chroot at $root (made $(cat "$root/.tolbrane-made"))"
    fresh=0
elif [ -d "$root" ]; then
    echo "completing the chroot at $root: an earlier run stopped before its packages were in"
    fresh=1
else
    fresh=1
    mirror=$(debian_mirror)
    if [ -z "$mirror" ]; then
        echo "error: no Debian archive in /etc/apt/sources.list{,.d/*}; set DEBIAN_MIRROR" >&2
        exit 1
    fi
    if ! command -v debootstrap >/dev/null 2>&1; then
        echo "installing debootstrap"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
    fi
    proxy=$(apt-config shell proxy Acquire::http::Proxy | sed -n "s/^proxy='\(.*\)'$/\1/p")
    echo "making a Debian unstable chroot at $root from $mirror"
    partial=$root.partial
    [ ! -e "$partial" ] || remove_chroot "$partial"
    # In a mount namespace of its own, so that the mounts it makes cannot outlive a failure.
    http_proxy=${proxy:-${http_proxy:-}} unshare --mount --propagation private -- \
        debootstrap --variant=minbase sid "$partial" "$mirror" >"$cache/debootstrap.log" 2>&1 || {
        tail -n 30 "$cache/debootstrap.log" >&2
        echo "error: debootstrap failed (whole log: $cache/debootstrap.log)" >&2
        exit 1
    }
    # The chroot's apt fetches as this machine's does: through its proxies, and from an archive
    # that may be a snapshot whose Release files have passed their Valid-Until date.
    for key in Acquire::http::Proxy Acquire::https::Proxy Acquire::Check-Valid-Until Acquire::Check-Date; do
        value=$(apt-config shell value "$key" | sed -n "s/^value='\(.*\)'$/\1/p")
        [ -z "$value" ] || printf '%s "%s";\n' "$key" "$value"
    done >"$partial/etc/apt/apt.conf.d/90as-this-machine"
    mv "$partial" "$root"
fi

copy_pip_config
# Certificate authorities: the local ones, added to the chroot's own store by update-ca-certificates
# below; the bundle that pip's configuration names was copied above.
local_cas=/usr/local/share/ca-certificates
if [ -d "$local_cas" ]; then
    mkdir -p "$root$local_cas"
    cp -rL "$local_cas/." "$root$local_cas/"
fi

[ -e "$root/etc/resolv.conf" ] || touch "$root/etc/resolv.conf"  # sid-run binds this machine's
write_runner "${pip_binds[@]}"
for version in "${versions[@]}"; do
    write_interpreter_wrapper "python$version"
    write_interpreter_wrapper "python$version-dbg"
done

# binutils: nm, for the test of the library's exported symbols; git, for the benchmark tests'
# clean-tree check.
packages=(ca-certificates binutils git)
for version in "${versions[@]}"; do
    packages+=("python$version" "python$version-dbg" "python$version-venv")
done
missing=()
for package in "${packages[@]}"; do
    "$bin/sid-run" dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$' ||
        missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
    echo "installing in the chroot: ${missing[*]}"
    "$bin/sid-run" apt-get update -qq
    for package in "${missing[@]}"; do
        if ! "$bin/sid-run" apt-cache show "$package" >/dev/null 2>&1; then
            echo "error: Debian unstable has no package $package today; its Python packages:" >&2
            "$bin/sid-run" apt-cache search --names-only '^(lib)?python3\.[0-9]+' >&2 || true
            exit 1
        fi
    done
    "$bin/sid-run" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >"$cache/apt.log" 2>&1 || {
        tail -n 30 "$cache/apt.log" >&2
        echo "error: apt-get install failed in the chroot (whole log: $cache/apt.log)" >&2
        exit 1
    }
fi
"$bin/sid-run" update-ca-certificates >/dev/null 2>&1
[ "$fresh" -eq 0 ] || date -u '+%Y-%m-%d %H:%M UTC' >"$root/.tolbrane-made"

if [ "$fresh" -eq 1 ]; then
    echo "chroot made in $(( $(date +%s) - started )) s"
else
    echo "chroot reused, checked in $(( $(date +%s) - started )) s"
fi
echo "run them with:"
for version in "${versions[@]}"; do
    for name in "python$version" "python$version-dbg"; do
        printf '  %-42s %s\n' "$bin/sid-$name" "$("$bin/sid-$name" -c 'import sys; print(sys.version + " (debug build)" * hasattr(sys, "gettotalrefcount"))')"
    done
done
printf '  %-42s %s\n' "$bin/sid-run COMMAND..." "any other command in the chroot"
