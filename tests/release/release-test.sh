# What the release tests share; sourced after they set source_dir and work.
# A release is built from a clone of the source's commit: without a git
# checkout there is none to clone, and the test is skipped (77).
if ! git -C "$source_dir" rev-parse HEAD >/dev/null 2>&1; then
    echo "SKIPPED: $source_dir is not a git checkout; the release is built from a clone of its commit"
    exit 77
fi
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
