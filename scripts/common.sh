# Shared set-up for scripts/run and scripts/test: install what is missing, then configure and build.
# shellcheck shell=bash

HOPLARK_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

hoplark_missing_packages() {
    local pkg missing=()
    while read -r pkg; do
        pkg="${pkg%%#*}"
        pkg="${pkg// /}"
        [ -n "$pkg" ] || continue
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done < "$HOPLARK_ROOT/scripts/packages.txt"
    echo "${missing[@]}"
}

# Installs the missing Debian packages when root; as a user prints the command to run and fails.
hoplark_install_packages() {
    local missing
    missing="$(hoplark_missing_packages)"
    [ -n "$missing" ] || return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Hoplark needs these Debian packages. Install them with:" >&2
        echo "  sudo apt-get install -y $missing" >&2
        return 1
    fi
    echo "Installing: $missing" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q >&2 || return 1
    # shellcheck disable=SC2086
    apt-get install -y -q --no-install-recommends $missing >&2 || return 1
}

# hoplark_build DIR BUILD_TYPE [extra cmake args...]
hoplark_build() {
    local dir="$1" type="$2" launcher=()
    shift 2
    # A compiler cache, where one is installed, makes rebuilds in fresh build folders cheap.
    command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$HOPLARK_ROOT" -B "$HOPLARK_ROOT/$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "${launcher[@]}" "$@" >&2 || return 1
    cmake --build "$HOPLARK_ROOT/$dir" --parallel "$(nproc)" >&2 || return 1
}
