#!/usr/bin/env bash
# Runs brelo_libcheck.exe under Wine on the stand-in and on the libraries of windows_loadfailure, and
# checks its lines, its exit codes and that its text is the program's own; then that it imports no
# DLL beyond Windows' own, so that the installer can run it alone.
# Usage: windows_libcheck_test.sh LIBCHECK_EXE STANDIN_DLL CASES_DIR PROGRAM_BITS OBJDUMP
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
libcheck=$1 standin=$2 cases=$3 bits=$4 objdump=$5
other=$((96 - bits))
source "$here/loadfailure/expected.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Judges DLL from a folder of its own, a Chinese name on the way as on a user's PC, with the
# companions given beside it; the out-file must read EXPECTED and the exit code be STATUS.
check() {
    local name=$1 dll=$2 status=$3 expected=$4 got=0 folder=$scratch/厂商_$1
    shift 4
    mkdir -p "$folder"
    cp "$dll" "$@" "$folder/"
    local shown="Z:${folder//\//\\}\\VSDevNetSDK.dll"
    expected=${expected//@SHOWN@/"$shown"}
    (cd "$scratch" && wine "$libcheck" "$shown" "Z:${scratch//\//\\}\\$name.txt") || got=$?
    local out
    out=$(iconv -f UTF-16 -t UTF-8 "$scratch/$name.txt" | tr -d '\r') || fail "$name: no out-file (exit $got)"
    [ "$got" -eq "$status" ] || fail "$name: exit code $got, not $status: $out"
    [ "$out" = "$expected" ] || fail "$name: expected
$expected
got
$out"
    echo "$name: exit $got"
}

texts() {
    expected_text "$1" @SHOWN@ "$bits" | sed 's/^/text=/'
}

check standin "$standin" 0 "verdict=usable
bits=$bits
standin=1"
check other_bits "$cases/other_bits/VSDevNetSDK.dll" 1 "verdict=otherbits
bits=$other
standin=0
$(texts other_bits)"
check no_search "$cases/no_search/VSDevNetSDK.dll" 2 "verdict=unusable
bits=$bits
standin=0
$(texts no_search)"
check stdcall "$cases/stdcall/VSDevNetSDK.dll" 2 "verdict=unusable
bits=$bits
standin=0
$(texts stdcall)"
check needs_runtime "$cases/needs_runtime/VSDevNetSDK.dll" 0 "verdict=usable
bits=$bits
standin=0
missing_import=absent_runtime.dll
$(texts needs_runtime)"
check companion "$cases/needs_runtime/VSDevNetSDK.dll" 0 "verdict=usable
bits=$bits
standin=0
companion=absent_runtime.dll" "$cases/runtime/absent_runtime.dll"

system_dlls=$(grep -v '^#' "$here/windows_system_dlls.txt")
"$objdump" -p "$libcheck" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]' >"$scratch/imports"
[ -s "$scratch/imports" ] || fail "no imports read from $libcheck"
while read -r name; do
    grep -qxF "$name" <<<"$system_dlls" || fail "brelo_libcheck.exe imports $name, not one of Windows' own"
done <"$scratch/imports"
echo "imports: $(tr '\n' ' ' <"$scratch/imports")"
