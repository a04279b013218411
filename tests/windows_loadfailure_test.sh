#!/usr/bin/env bash
# Makes the Windows zip, unpacks it and starts the program under Wine with a VSDevNetSDK.dll it cannot
# use: none at all, one of the other bitness, one without vsnet_search, one that imports a DLL that
# is nowhere, one with stdcall names. Each time the program must show one box titled "提示" with
# the text that says why, write the same text to its debug output, and exit 2 once the box is closed.
# Last, a usable DLL on PATH and not beside the program must be found there.
# Runs inside an X server (xvfb-run), where the box is found and closed with xdotool.
# Usage: windows_loadfailure_test.sh BUILD_DIR PROGRAM_BITS CASES_DIR SCRIPTED_DLL
#   CASES_DIR holds one folder per case with its VSDevNetSDK.dll: other_bits, no_search,
#   needs_runtime, stdcall. SCRIPTED_DLL drives the window and ends the program (scriptedvsnet.cpp).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$1 bits=$2 cases=$3 scripted=$4
source "$here/loadfailure/expected.sh"
scratch=$(mktemp -d)
app=""
cleanup() {
    [ -z "$app" ] || kill "$app" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
[ -n "${DISPLAY:-}" ] || fail "no X display: run inside xvfb-run"

"$here/../scripts/package-windows" --no-build --zip-only --out "$scratch/out" "$build" >/dev/null
zips=("$scratch"/out/Brelo_Tool-*-win*.zip)
[ ${#zips[@]} -eq 1 ] && [ -f "${zips[0]}" ] || fail "expected one zip, found: ${zips[*]}"
unzip -q "${zips[0]}" -d "$scratch/unpacked"
dir=$scratch/unpacked/Brelo_Tool
windir="Z:${dir//\//\\}"

# Starts the unpacked program in the background, its output in OUT, with DLL (none when empty) in
# the package's place and the Windows PATH given.
start() {
    local out=$1 dll=$2 path=$3
    rm -f "$dir/VSDevNetSDK.dll"
    [ -z "$dll" ] || cp "$dll" "$dir/VSDevNetSDK.dll"
    # Wine passes QT_* on only as WINEQT_*; WINEPATH is the PATH, so nothing from the build is on it.
    # The current folder is one the loader searches, so it is one without a VSDevNetSDK.dll.
    (cd "$scratch" && exec env -u QT_PLUGIN_PATH -u QT_QPA_PLATFORM -u QT_LOGGING_RULES WINEPATH="$path" \
        LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 WINEQT_FORCE_STDERR_LOGGING=1 WINEQT_QPA_PLATFORM=windows \
        BRELO_PROBE_REPORT="Z:$scratch/report.txt" timeout -k 5 120 wine "$dir/brelo_tool.exe" >"$out" 2>&1) &
    app=$!
}

# Runs the program with DLL in the package's place and checks what it said.
check() {
    local name=$1 dll=$2 expected=$3 status=0 box="" output
    start "$scratch/$name.out" "$dll" ""
    # A search fails when a window of Wine's goes while it looks; it is tried again while the program runs.
    for _ in $(seq 1 20); do
        box=$(timeout 5 xdotool search --sync --name '^提示$' 2>/dev/null | head -n 1) || true
        [ -z "$box" ] && kill -0 "$app" 2>/dev/null || break
    done
    [ -n "$box" ] || fail "$name: no box titled 提示 came up: $(cat "$scratch/$name.out")"
    # The box takes Return once it has the focus; pressed again until the program has ended.
    for _ in $(seq 1 30); do
        xdotool windowfocus "$box" key Return 2>/dev/null || true
        timeout 2 tail --pid="$app" -f /dev/null && break || true
    done
    wait "$app" || status=$?
    app=""
    # The debug output is in the ANSI code page of a Chinese Windows, with Windows' line ends.
    output=$(iconv -c -f GBK -t UTF-8 "$scratch/$name.out" | tr -d '\r')
    [ $status -eq 2 ] || fail "$name: exit status $status, not 2 (124: still running after 120 s): $output"
    [[ $output == *"$expected"* ]] || fail "$name: expected \"$expected\", got: $output"
    echo "$name: $expected"
}

check missing "" "在 $windir 找不到设备库 VSDevNetSDK.dll。请把设备厂商提供的 VSDevNetSDK.dll 放到本程序所在的文件夹。"
for case in other_bits no_search needs_runtime stdcall; do
    check $case "$cases/$case/VSDevNetSDK.dll" "$(expected_text $case "$windir\\VSDevNetSDK.dll" "$bits")"
done

# Some vendors install their DLL on PATH: the program finds it there and runs as usual.
mkdir "$scratch/vendor"
cp "$scripted" "$scratch/vendor/VSDevNetSDK.dll"
start "$scratch/on_path.out" "" "Z:${scratch//\//\\}\\vendor"
status=0
wait "$app" || status=$?
app=""
[ $status -eq 0 ] && grep -q '^window: ' "$scratch/report.txt" ||
    fail "on_path: status $status, no window: $(iconv -c -f GBK -t UTF-8 "$scratch/on_path.out")"
echo "on_path: the DLL on PATH was used"
