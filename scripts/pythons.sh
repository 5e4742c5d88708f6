# Sourced by the other scripts: finds the interpreters this project supports (3.12 and later).
# `supported_pythons` prints one path per distinct interpreter, newest first; $PYTHON first when it
#     is set, and nothing at all when $PYTHON is set but unusable.
# `first_python` prints the one to use: $PYTHON when it is set, which must then be a usable 3.12 or
#     later (otherwise it fails saying why: it never picks another), else the newest one found.
# `describe_python PATH` prints "Python X.Y.Z (PATH)".
# `prepare_venv DIR` makes the virtual environment DIR with `first_python` unless it exists, and
#     says which interpreter it runs; an existing one made from another interpreter than $PYTHON
#     is an error that tells how to start fresh.

_python_candidates() {
    local minor
    for minor in $(seq 30 -1 12); do
        command -v "python3.$minor" 2>/dev/null || true
    done
    ls -d "${PYENV_ROOT:-$HOME/.pyenv}"/versions/3.*/bin/python3 2>/dev/null || true
    ls -d /usr/local/bin/python3.* /usr/bin/python3.* 2>/dev/null | grep -E 'python3\.[0-9]+$' || true
    command -v python3 2>/dev/null || true
}

# "ok VERSION SORTKEY REALPATH" for a usable interpreter, "old VERSION" for one older than 3.12,
# "novenv VERSION" for one that cannot make virtual environments, nothing when it does not run.
_python_probe() {
    "$1" -c '
import os, sys
version = "%d.%d.%d" % sys.version_info[:3]
if sys.version_info < (3, 12):
    print("old", version)
    sys.exit()
try:
    import ensurepip, venv
except ImportError:
    print("novenv", version)
    sys.exit()
print("ok", version, "%03d%03d%03d" % sys.version_info[:3], os.path.realpath(sys.executable))' \
        2>/dev/null || true
}

# $PYTHON checked: its real path when usable, otherwise the reason on standard error and a failure.
_python_from_env() {
    local resolved="" status="" version="" key="" path=""
    local advice="set PYTHON to a Python 3.12 or later, or unset it to use the newest found"
    resolved=$(command -v -- "$PYTHON" 2>/dev/null) || true
    if [ -z "$resolved" ]; then
        echo "error: PYTHON=$PYTHON is not an interpreter found here; $advice" >&2
        return 1
    fi
    read -r status version key path < <(_python_probe "$resolved"; echo)
    case "$status" in
        ok) printf '%s\n' "$path" ;;
        old)
            echo "error: PYTHON=$PYTHON is Python $version, older than 3.12; $advice" >&2
            return 1 ;;
        novenv)
            echo "error: PYTHON=$PYTHON (Python $version) cannot make virtual environments (no venv" \
                 "or ensurepip module; on Debian, apt-get install python${version%.*}-venv)" >&2
            return 1 ;;
        *)
            echo "error: PYTHON=$PYTHON does not run as a Python interpreter; $advice" >&2
            return 1 ;;
    esac
}

supported_pythons() {
    local candidate status version key path chosen="" seen=" "
    if [ -n "${PYTHON:-}" ]; then
        chosen=$(_python_from_env 2>/dev/null) || return 0
        printf '%s\n' "$chosen"
        seen=" $chosen "
    fi
    while IFS= read -r candidate; do
        [ -n "$candidate" ] || continue
        read -r status version key path < <(_python_probe "$candidate"; echo)
        [ "$status" = ok ] || continue
        case "$seen" in *" $path "*) continue ;; esac
        seen="$seen$path "
        printf '%s %s\n' "$key" "$path"
    done < <(_python_candidates) | sort -s -r -k1,1 | cut -d' ' -f2-
}

first_python() {
    local found
    if [ -n "${PYTHON:-}" ]; then
        _python_from_env
        return
    fi
    found=$(supported_pythons | sed -n 1p)  # reads all, so the list never meets a closed pipe
    if [ -z "$found" ]; then
        echo "error: no Python 3.12 or later with venv found (tried python3.N on PATH," \
             "~/.pyenv/versions and /usr/bin); set PYTHON=/path/to/python3.12 or later" >&2
        return 1
    fi
    printf '%s\n' "$found"
}

describe_python() {
    printf 'Python %s (%s)\n' "$("$1" -c 'import platform; print(platform.python_version())')" "$1"
}

prepare_venv() {
    local venv=$1 python base
    if [ ! -x "$venv/bin/python" ]; then
        python=$(first_python) || return 1
        if [ -n "${PYTHON:-}" ]; then
            echo "making $venv with $(describe_python "$python"), from PYTHON"
        else
            echo "making $venv with $(describe_python "$python"), the newest found;" \
                 "PYTHON=/path/to/python picks another"
        fi
        "$python" -m venv "$venv"
        return
    fi
    base=$("$venv/bin/python" -c 'import os, sys; print(os.path.realpath(sys._base_executable))' \
           2>/dev/null) || {
        echo "error: $venv does not run (its interpreter may have been removed); start fresh" \
             "with: rm -rf $venv" >&2
        return 1
    }
    if [ -n "${PYTHON:-}" ]; then
        python=$(first_python) || return 1
        if [ "$python" != "$base" ]; then
            echo "error: $venv was made with $(describe_python "$base"), and PYTHON=$PYTHON is" \
                 "$(describe_python "$python"); start fresh with: rm -rf $venv" >&2
            return 1
        fi
    fi
    echo "using $venv, made with $(describe_python "$base")"
}
