#!/bin/sh
# Installs the Debian packages the build and the tests need, when missing.
# As root it installs them; otherwise it prints the exact line to run.
# Usage: tools/install-deps.sh build|test|ci
set -eu

packages="cmake make g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine64"
case ${1:-build} in
    test) packages="$packages libgtest-dev libbenchmark-dev" ;;
    ci) packages="$packages libgtest-dev libbenchmark-dev clang libclang-rt-14-dev" ;;
esac

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    # shellcheck disable=SC2086
    apt-get install -y -q $missing
else
    echo "Missing packages. Install them with:" >&2
    echo "    sudo apt-get update && sudo apt-get install -y$missing" >&2
    exit 1
fi
