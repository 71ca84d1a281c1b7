#!/bin/sh
# Installs the Debian packages the build and the tests need, when missing.
# As root it installs them; otherwise it prints the exact line to run, and
# stops only when something the build cannot do without is missing.
# Usage: tools/install-deps.sh build|test|ci
set -eu

required="cmake make g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686"
# Wine runs the demo and the end-to-end tests; without it they are skipped.
optional="wine wine64"
case ${1:-build} in
    test) required="$required libgtest-dev libbenchmark-dev" ;;
    ci) required="$required libgtest-dev libbenchmark-dev clang libclang-rt-14-dev" ;;
esac

missing_of() {
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            printf ' %s' "$package"
        fi
    done
}
# shellcheck disable=SC2086
missing_required=$(missing_of $required)
# shellcheck disable=SC2086
missing_optional=$(missing_of $optional)
missing="$missing_required$missing_optional"
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    # shellcheck disable=SC2086
    apt-get install -y -q $missing
    exit 0
fi
echo "Missing packages. Install them with:" >&2
echo "    sudo apt-get update && sudo apt-get install -y$missing" >&2
[ -z "$missing_required" ]
