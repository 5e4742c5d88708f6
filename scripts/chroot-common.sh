# Sourced by the chroot scripts (newer-pythons.sh, arm64-chroot.sh): the mounts below a folder, and
# the runner that every wrapper of a chroot calls. Both use the caller's $root (the chroot) and $bin
# (where the wrappers go).

mounted_below() {
    awk -v dir="$1" '$2 == dir || index($2, dir "/") == 1' /proc/self/mounts
}

# write_chroot_runner NAME WHAT WRITER [BIND...]: writes $bin/NAME, which runs its arguments inside
# the chroot (WHAT says which) in the current directory, in a mount namespace of its own with /dev,
# /proc, /sys, the work tree around the current directory, and each BIND folder read-only.
write_chroot_runner() {
    local name=$1 what=$2 writer=$3
    shift 3
    cat >"$bin/$name.new" <<EOF
#!/usr/bin/env bash
# Runs a command inside $what $root, in the current directory.
# Written by $writer of tolbrane; usage: $name COMMAND [ARGUMENTS...]
set -euo pipefail
name=$name
root=$(printf '%q' "$root")
binds=($(printf '%q ' "$@"))
EOF
    cat >>"$bin/$name.new" <<'EOF'
if [ "$#" -eq 0 ]; then
    echo "usage: $name COMMAND [ARGUMENTS...]" >&2
    exit 2
fi
wd=$(pwd -P)
# The whole work tree, so that paths above the current directory (../x) resolve as outside.
top=$wd
while [ "$top" != / ] && [ ! -e "$top/.git" ]; do top=$(dirname "$top"); done
[ "$top" != / ] || top=$wd
case "$wd/" in "$root"/*) echo "error: run $name from outside the chroot" >&2; exit 2 ;; esac
exec unshare --mount --propagation private -- /bin/bash -c '
    set -euo pipefail
    root=$1 top=$2 wd=$3 nbinds=$4
    shift 4
    mount --rbind /dev "$root/dev"
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --bind /etc/resolv.conf "$root/etc/resolv.conf"
    for dir in "${@:1:$nbinds}"; do
        mkdir -p "$root$dir"
        mount --rbind "$dir" "$root$dir"
        mount -o remount,bind,ro "$root$dir"
    done
    shift "$nbinds"
    if [ "$top" != / ]; then
        mkdir -p "$root$top"
        mount --rbind "$top" "$root$top"
    fi
    exec chroot "$root" /usr/bin/env PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        /bin/sh -c '\''cd "$0" && exec "$@"'\'' "$wd" "$@"
' "$name" "$root" "$top" "$wd" "${#binds[@]}" "${binds[@]}" "$@"
EOF
    chmod +x "$bin/$name.new"
    mv "$bin/$name.new" "$bin/$name"
}
