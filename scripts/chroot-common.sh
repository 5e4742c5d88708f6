# Sourced by the chroot scripts (newer-pythons.sh, arm64-chroot.sh): the Debian archive to fetch
# from, the mounts below a folder, pip's configuration as this machine has it, and the runner that
# every wrapper of a chroot calls. They use the caller's $root (the chroot) and $bin (the wrappers).

# The Debian archive of this machine's apt sources: the first deb entry that is not a security or
# third-party archive, from one-line .list files or deb822 .sources files.
debian_mirror() {
    if [ -n "${DEBIAN_MIRROR:-}" ]; then
        printf '%s\n' "$DEBIAN_MIRROR"
        return
    fi
    local file
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        case $file in
        *.sources)
            awk '
                function flush() {
                    if (uris != "" && types ~ /(^|[ \t])deb([ \t]|$)/ && enabled != "no") print uris
                    types = uris = enabled = ""
                }
                /^[ \t]*$/ { flush(); next }
                tolower($1) == "types:" { types = $0 }
                tolower($1) == "uris:" { uris = $2 }
                tolower($1) == "enabled:" { enabled = tolower($2) }
                END { flush() }
            ' "$file" ;;
        *) sed -nE 's/^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+).*/\2/p' "$file" ;;
        esac
    done | grep -v security | grep -E '/debian/?$' | head -n 1
}

# copy_pip_config: pip's configuration, copied to the same paths inside $root: its files, and the
# local files and folders that they or the PIP_* variables name (certificate bundles, constraints,
# local indexes and wheel folders). The folders, which are too big to copy, are left in pip_binds for
# the runner to bind read-only. The PIP_* variables reach the chroot anyway: the runner keeps the
# environment.
copy_pip_config() {
    local candidates=(/etc/pip.conf) xdg_dirs dir file path pip_files=() pip_paths
    IFS=: read -ra xdg_dirs <<<"${XDG_CONFIG_DIRS:-/etc/xdg}"
    for dir in "${xdg_dirs[@]}"; do candidates+=("$dir/pip/pip.conf"); done
    candidates+=("$HOME/.config/pip/pip.conf" "$HOME/.pip/pip.conf" ${PIP_CONFIG_FILE:+"$PIP_CONFIG_FILE"})
    for file in "${candidates[@]}"; do
        [ -f "$file" ] && pip_files+=("$(realpath "$file")")
    done
    mapfile -t pip_paths < <(
        { [ "${#pip_files[@]}" -eq 0 ] || grep -hvE '^[[:space:]]*[#;]' "${pip_files[@]}"
          env | grep -E '^PIP_' | cut -d= -f2-; } |
            grep -oE '(^|[[:space:]=])(file://)?/[^[:space:],;"'\'']+' | sed -E 's#^[[:space:]=]?(file://)?##' |
            sort -u
    )
    pip_binds=()
    for path in "${pip_files[@]}" "${pip_paths[@]}"; do
        if [ -d "$path" ]; then
            path=$(realpath "$path")
            # A local index's pages link to the files beside its simple/ folder.
            [ "$(basename "$path")" != simple ] || path=$(dirname "$path")
            pip_binds+=("$path")
        elif [ -f "$path" ]; then
            mkdir -p "$root$(dirname "$path")"
            cp -L "$path" "$root$path"
        fi
    done
}

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
