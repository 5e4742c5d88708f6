# Sourced by the other scripts: finds the interpreters this project supports (3.12 and later).
# `supported_pythons` prints one path per distinct interpreter, $PYTHON first when it is set;
# `first_python` prints the first of them, or fails with a message naming what was tried.

_python_candidates() {
    [ -n "${PYTHON:-}" ] && printf '%s\n' "$PYTHON"
    local minor
    for minor in $(seq 30 -1 12); do
        command -v "python3.$minor" 2>/dev/null || true
    done
    ls -d "${PYENV_ROOT:-$HOME/.pyenv}"/versions/3.*/bin/python3 2>/dev/null || true
    ls -d /usr/local/bin/python3.* /usr/bin/python3.* 2>/dev/null | grep -E 'python3\.[0-9]+$' || true
    command -v python3 2>/dev/null || true
}

supported_pythons() {
    local candidate identity seen=""
    while IFS= read -r candidate; do
        [ -n "$candidate" ] || continue
        # A usable interpreter is 3.12 or later and can make virtual environments.
        identity=$("$candidate" -c '
import sys, venv, ensurepip, os
if sys.version_info < (3, 12):
    sys.exit(1)
print(os.path.realpath(sys.executable))' 2>/dev/null) || continue
        case " $seen " in *" $identity "*) continue ;; esac
        seen="$seen $identity"
        printf '%s\n' "$identity"
    done < <(_python_candidates)
}

first_python() {
    local found
    found=$(supported_pythons | head -n 1)
    if [ -z "$found" ]; then
        echo "error: no Python 3.12 or later with venv found (tried \$PYTHON, python3.N on PATH," \
             "~/.pyenv/versions and /usr/bin); set PYTHON=/path/to/python3.12 or later" >&2
        return 1
    fi
    printf '%s\n' "$found"
}
