#!/usr/bin/env bash
# setup.exe's exit codes are defined once, in tools/libcheck/placer.h: the installer's include that
# CMake writes from it holds each, README's list gives each in placer.h's words, and installer.nsi
# defines none of its own.
# Usage: setup_exit_codes_test.sh BUILD_DIR/setup-exit-codes.nsh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
nsh=$1
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
count=0
while IFS= read -r line; do
    [[ $line =~ ^\ *Setup([A-Za-z]+)\ =\ ([0-9]+),\ //\ (.*)$ ]] || continue
    name=${BASH_REMATCH[1]^^} code=${BASH_REMATCH[2]} words=${BASH_REMATCH[3]}
    grep -qxF "!define EXIT_$name $code" "$nsh" || fail "$nsh lacks EXIT_$name $code"
    grep -qF -- "- $code $words" "$here/../README.md" || fail "README does not give $code as \"$words\""
    count=$((count + 1))
done <"$here/../tools/libcheck/placer.h"
[ "$count" -ge 4 ] || fail "only $count codes read from placer.h"
! grep -q '^ *!define EXIT_' "$here/../dist/windows/installer.nsi" || fail "installer.nsi defines exit codes itself"
echo "$count exit codes in the installer's include and README"
