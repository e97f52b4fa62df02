#!/usr/bin/env bash
# The service unit as the package installs it: installed with the build's other files into a
# staging root that also holds this system's own units (the targets it is ordered after) and
# kill (its reload), systemd-analyze verifies it clean, finds its manual page, and rates its
# overall exposure below 2.0.
#   tests/test_systemd_unit.sh <cmake> <build dir>
# Exits 77 (skipped) where systemd-analyze is missing or cannot run here.
set -euo pipefail

cmake=$1
build=$2
unitName=varnetix-nms.service

skip() {
    echo "SKIP: $*"
    exit 77
}
fail() {
    echo "FAIL: $*"
    exit 1
}

command -v systemd-analyze >/dev/null ||
    skip "systemd-analyze is missing (Debian package systemd; tools/ensure-deps.sh installs it)"
systemd-analyze --version >/dev/null 2>&1 || skip "systemd-analyze cannot run here"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage "$cmake" --install "$build" --prefix /usr >"$stage/install.log" 2>&1 ||
    { cat "$stage/install.log"; fail "cmake --install into the staging root failed"; }
units=$stage/usr/lib/systemd/system
[ -f "$units/$unitName" ] || fail "the install puts no $unitName in /usr/lib/systemd/system"
# The system's units, without replacing the staged one (a package installed by another test).
cp -a --no-clobber /usr/lib/systemd/system/. "$units/"
cp "$(type -P kill)" "$stage/usr/bin/kill"
[ -e "$stage/bin" ] || ln -s usr/bin "$stage/bin"

# Also runs man on each Documentation= page, found in the staging root.
if ! MANPATH=$stage/usr/share/man systemd-analyze verify --root="$stage" "$unitName" \
    >"$stage/verify" 2>&1 || [ -s "$stage/verify" ]; then
    cat "$stage/verify"
    fail "systemd-analyze verify is not clean"
fi
echo "systemd-analyze verify: clean"

# The threshold counts in tenths: 19 is an exposure of 1.9.
security=$(systemd-analyze security --offline=yes --root="$stage" --threshold=19 "$unitName" 2>&1) ||
    { echo "$security"; fail "the unit's overall exposure is 2.0 or more"; }
echo "$security" | grep -F 'Overall exposure level'
echo "PASS: $unitName verified clean, exposure below 2.0"
