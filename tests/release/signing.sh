#!/bin/sh
# A release built with a throwaway self-signed certificate: each signed file
# verifies against it and stops verifying once a byte changes, a second
# signed build gives the same bytes, the signed DLL still does the road of
# one event under Wine, and the signed setup installs (its uninstaller
# signed too) and uninstalls silently.
# Usage: signing.sh SOURCE_DIR WORK_DIR WINE_WORK_DIR
set -u
source_dir=$1
work=$2
wine_work=$3
. "$(dirname "$0")/release-test.sh"

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velkar test signing" \
    -keyout "$work/key.pem" -out "$work/certificate.pem" 2>/dev/null &&
    openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/certificate.pem" \
        -out "$work/certificate.p12" -passout pass:throwaway ||
    { echo "FAIL: openssl could not make a certificate"; exit 1; }
export VELKAR_SIGNING_CERTIFICATE="$work/certificate.p12" VELKAR_SIGNING_PASSWORD=throwaway
clone=$work/clone
git clone -q "$source_dir" "$clone" || { echo "FAIL: cannot clone $source_dir"; exit 1; }
release() { (cd "$clone" && sh tools/release.sh) >"$work/release.log" 2>&1 || { fail "the signed build failed"; cat "$work/release.log"; }; }
release
setup=$(ls "$clone"/dist/velkar-*-setup.exe)

verify() { osslsigncode verify -CAfile "$work/certificate.pem" -in "$1" >"$work/verify.out" 2>&1; }
for file in "$clone/build/win32/velkar.dll" "$clone/build/win32/velkar-preview.exe" \
    "$clone/build/win32/velkar-settings.exe" "$setup"; do
    verify "$file" || { fail "$(basename "$file") does not verify"; cat "$work/verify.out"; }
done
cp "$clone/build/win32/velkar.dll" "$work/changed.dll"
printf '\001' | dd of="$work/changed.dll" bs=1 seek=2048 conv=notrunc 2>/dev/null
verify "$work/changed.dll" && fail "velkar.dll with a byte changed still verifies"

sums=$(cat "$clone/dist/SHA256SUMS")
sleep 1
release
[ "$(cat "$clone/dist/SHA256SUMS")" = "$sums" ] || fail "a second signed build gave other bytes"
(cd "$clone/dist" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS does not cover the signed files"

# Under Wine: the main tree's host-sim and messenger-sim, the signed files.
# A scenario that cannot run here says so and counts as skipped (77).
skipped=0
wine_step() {
    what=$1
    shift
    "$@"
    status=$?
    if [ $status -eq 77 ]; then skipped=1; elif [ $status -ne 0 ]; then fail "$what"; fi
}
unset VELKAR_SIGNING_CERTIFICATE VELKAR_SIGNING_PASSWORD
export VELKAR_MESSENGER_DIR="$source_dir/build/win64"
wine_step "the signed DLL failed the road of one event" env VELKAR_DLL="$clone/build/win32/velkar.dll" \
    sh "$source_dir/tests/wine/wine_scenarios.sh" "$source_dir" "$wine_work" win32 road
wine_step "the signed setup did not install, or its uninstaller is not signed" \
    env VELKAR_VERIFY_CERTIFICATE="$work/certificate.pem" \
    sh "$source_dir/tests/wine/setup_scenarios.sh" "$clone" "$wine_work" "$setup" install
wine_step "the signed setup's uninstaller did not uninstall" \
    sh "$source_dir/tests/wine/setup_scenarios.sh" "$clone" "$wine_work" "$setup" uninstall
if [ $failures -ne 0 ]; then exit 1; fi
if [ $skipped -ne 0 ]; then
    echo "SKIPPED: the signed files verify and reproduce, but Wine could not run them here"
    exit 77
fi
rm -rf "$work"
echo "signing: every signed file verifies; signed builds reproduce and run"
