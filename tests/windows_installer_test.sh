#!/usr/bin/env bash
# The per-user installer under Wine, with silent installs in a prefix of its own: it keeps a vendor's
# VSDevNetSDK.dll over a reinstall, takes one with /SDK= together with the DLLs beside it that it
# imports, refuses a library that the program would refuse (exit code 2, nothing changed, the program's
# own words), stops before changing anything while a file of the program is held open (exit code 4),
# and without it leaves the vendor's library in place when killed halfway or stopped by a file it
# cannot write (exit code 3), a run after either finishing the install in the same folder. It puts back
# a library that an older installer set aside, replaces read-only files of its own, brings a new
# release's companions, takes a /D= with a trailing backslash, refuses a /D= folder it cannot use, and
# records nothing of a library chosen in the folder itself; its uninstaller removes only the files that
# are still as installed, deletes nothing and keeps itself while a file is held, and removes the keys
# only while they name its folder. The vendor libraries are tiny C DLLs built here for either bitness; a file is
# held by HOLDER (tests/installer/holdfile.c), which holds it as a running program does on Windows.
# Usage: windows_installer_test.sh BUILD_DIR BITS HOLDER OTHER_LIBCHECK (inside an X server, such as
#   xvfb-run); OTHER_LIBCHECK: brelo_libcheck.exe of the other bitness, for that bitness's installer.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$1 bits=$2 holder=$3 other_libcheck=$4
other=$((96 - bits))
triple() { if [ "$1" = 64 ]; then echo x86_64-w64-mingw32; else echo i686-w64-mingw32; fi; }
scratch=$(mktemp -d)
# The Chinese locale; what the installer says on standard error, a pipe here, is UTF-8 whatever it is.
export WINEPREFIX=$scratch/wine WINEDEBUG=-all WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree,mshtml=d' \
    LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
trap 'exec 3>&- ; wineserver -k 2>/dev/null || true; rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
# Waits up to SECONDS for COMMAND to succeed.
wait_for() {
    local what=$1 deadline=$((SECONDS + $2))
    shift 2
    until "$@"; do
        [ $SECONDS -lt $deadline ] || fail "timed out waiting for $what"
        sleep 0.1
    done
}

"$here/../scripts/package-windows" --no-build --out "$scratch/out" "$build" >/dev/null
setup=$(echo "$scratch"/out/Brelo_Tool-*-setup.exe)
[ -f "$setup" ] || fail "expected one setup.exe: $(ls "$scratch/out")"
unzip -q "$scratch"/out/Brelo_Tool-*.zip -d "$scratch/zip"
package=$scratch/zip/Brelo_Tool

# The other bitness's installer, made from the same files with only BITS and the judge changed rather
# than from a second build: the tests need its checks and its uninstall entry, not its program.
other_setup=$scratch/other-setup.exe
makensis -V1 -DBITS="$other" -DVERSION=0.0.0 -DOUTFILE="$other_setup" -DPAYLOAD="$package" \
    -DLIBCHECK="$other_libcheck" -DEXITCODES="$build/setup-exit-codes.nsh" "$here/../dist/windows/installer.nsi" >/dev/null
# A signing command that fails stops the build, the uninstaller's included.
! makensis -V1 -DBITS="$bits" -DVERSION=0.0.0 -DOUTFILE="$scratch/unsigned.exe" -DPAYLOAD="$package" \
    -DLIBCHECK="$other_libcheck" -DEXITCODES="$build/setup-exit-codes.nsh" -DSIGN=false \
    "$here/../dist/windows/installer.nsi" >/dev/null 2>&1 ||
    fail "makensis went on after the uninstaller's signing failed"

# Vendor libraries with the four functions: helper.dll lies beside vendor.dll, nowhere.dll (also
# imported) does not; NO_SEARCH lacks vsnet_search; NEWER is another build of the same size.
cat >"$scratch/api.c" <<'EOF'
#ifndef VERSION
#define VERSION 1
#endif
int helper(void);
int nowhere(void);
int vsnet_init(void) { return VERSION; }
int vsnet_uninit(void) { return 0; }
#ifndef NO_SEARCH
int vsnet_search(void *cb, void *context) { (void)cb; (void)context; return 0; }
#endif
int vsnet_send_json_msg(const char *address, const char *json) { (void)address; (void)json; return 0; }
#ifdef IMPORTS
int vendor_extra(void) { return helper() + nowhere(); }
#endif
EOF
echo 'int helper(void) { return 2; }' >"$scratch/helper.c"
echo 'int helper(void) { return 22; }' >"$scratch/helper2.c"
echo 'int nowhere(void) { return 3; }' >"$scratch/nowhere.c"
cc() { "$(triple "$1")-gcc-posix" -shared -s -o "$2" "${@:3}"; }
mkdir -p "$scratch/lib$bits" "$scratch/lib$other" "$scratch/kept" "$scratch/nosearch" "$scratch/newer" \
    "$scratch/release2" "$scratch/badimport"
cc "$bits" "$scratch/kept/VSDevNetSDK.dll" "$scratch/api.c"
cc "$other" "$scratch/lib$other/VSDevNetSDK.dll" "$scratch/api.c"
cc "$bits" "$scratch/nosearch/VSDevNetSDK.dll" -DNO_SEARCH "$scratch/api.c"
cc "$bits" "$scratch/lib$bits/helper.dll" "$scratch/helper.c"
cc "$bits" "$scratch/nowhere.dll" "$scratch/nowhere.c"
vendor=$scratch/lib$bits/VSDevNetSDK.dll
cc "$bits" "$vendor" -DIMPORTS "$scratch/api.c" "$scratch/lib$bits/helper.dll" "$scratch/nowhere.dll"
cc "$bits" "$scratch/newer/VSDevNetSDK.dll" -DIMPORTS -DVERSION=2 "$scratch/api.c" "$scratch/lib$bits/helper.dll" \
    "$scratch/nowhere.dll"
# Release 2 comes with a helper.dll of its own; BADIMPORT names an import "\nstandin=1".
cc "$bits" "$scratch/release2/helper.dll" "$scratch/helper2.c"
cc "$bits" "$scratch/release2/VSDevNetSDK.dll" -DIMPORTS -DVERSION=2 "$scratch/api.c" "$scratch/release2/helper.dll" \
    "$scratch/nowhere.dll"
perl -0777 -pe 's/helper\.dll\0/\nstandin=1\0/' "$vendor" >"$scratch/badimport/VSDevNetSDK.dll"
grep -q standin=1 "$scratch/badimport/VSDevNetSDK.dll" || fail "no import name with a line break"
[ "$(stat -c %s "$vendor")" = "$(stat -c %s "$scratch/newer/VSDevNetSDK.dll")" ] &&
    ! cmp -s "$vendor" "$scratch/newer/VSDevNetSDK.dll" || fail "the newer library is not another one of the same size"

wineboot -i >/dev/null 2>&1
appdata=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 ! -name Public)/AppData
dir=$appdata/Local/Programs/Brelo_Tool
shortcut="$appdata/Roaming/Microsoft/Windows/Start Menu/Programs/Brelo_Tool.lnk"
winpath() { echo "Z:${1//\//\\}"; }
# The folder's files with their content, and the program's registry keys.
state() {
    (cd "$dir" 2>/dev/null && find . -type f -exec md5sum {} + | sort) || true
    for key in 'Software\Microsoft\Windows\CurrentVersion\Uninstall\Brelo_Tool' 'Software\Brelo_Tool'; do
        rm -f "$scratch/key.reg"
        wine reg export "HKCU\\$key" 'Z:'"$scratch/key.reg" >/dev/null 2>&1 &&
            iconv -f UTF-16 -t UTF-8 "$scratch/key.reg" | tr -d '\r' || true
    done
}
install_dir() { state | grep -F '"InstallDir"='; }
# Runs an installer with options; its exit code in $status, what it said on standard error in $said.
run() {
    status=0
    # shellcheck disable=SC2068 # the options are words
    wine "$@" 2>"$scratch/said" || status=$?
    said=$(tr -d '\r' <"$scratch/said")
}
# Holds FILE open without sharing until release.
hold() {
    rm -f "$scratch/hold.in" "$scratch/hold.out"
    mkfifo "$scratch/hold.in"
    wine "$holder" "$(winpath "$1")" <"$scratch/hold.in" >"$scratch/hold.out" 2>/dev/null &
    holder_pid=$!
    exec 3>"$scratch/hold.in"
    wait_for "the holder of $1" 30 holding_or_gone
    grep -q held "$scratch/hold.out" || fail "could not hold $1"
}
holding_or_gone() { grep -q held "$scratch/hold.out" || ! kill -0 "$holder_pid" 2>/dev/null; }
release() {
    exec 3>&-
    wait "$holder_pid" || fail "the holder failed"
}

# Each case: what it is, the installer, its options, the exit code, what VSDevNetSDK.dll then is
# ("unchanged": the folder and the registry as they were), the bitness installed, and the program's
# words (tests/loadfailure/expected.sh, which the program's box also gives) that a refusal must say.
. "$here/loadfailure/expected.sh"
standin=$package/VSDevNetSDK.dll
other_lib=$(winpath "$scratch/lib$other/VSDevNetSDK.dll")
no_search=$(winpath "$scratch/nosearch/VSDevNetSDK.dll")
cases=(
    "install|$setup|/S|0|$standin|$bits|"
    "the win$other installer over the stand-in replaces it in place|$other_setup|/S|0|$standin|$other|"
    "reinstall keeps a vendor library|$setup|/S|0|$scratch/kept/VSDevNetSDK.dll|$bits|"
    "/SDK= with a $other-bit library is refused|$setup|/S /SDK=$other_lib|2|unchanged||$(expected_text other_bits "$other_lib" "$bits")"
    "/SDK= with a library without vsnet_search is refused|$setup|/S /SDK=$no_search|2|unchanged||$(expected_text no_search "$no_search" "$bits")"
    "/SDK= with a missing file is refused naming it|$setup|/S /SDK=$(winpath "$scratch/nowhere/VSDevNetSDK.dll")|2|unchanged||$(winpath "$scratch/nowhere/VSDevNetSDK.dll")"
    "/SDK= with \"/\" in the path, a $bits-bit library, is taken|$setup|/S /SDK=Z:$vendor|0|$vendor|$bits|"
    "the win$other installer over a $bits-bit library is refused|$other_setup|/S|2|unchanged||"
)
for c in "${cases[@]}"; do
    IFS='|' read -r name exe options code dll installed words <<<"$c"
    [ "$name" != "reinstall keeps a vendor library" ] || cp "$scratch/kept/VSDevNetSDK.dll" "$dir/"
    before=$(state)
    # shellcheck disable=SC2086 # the options are words
    run "$exe" $options
    [ "$status" -eq "$code" ] || fail "$name: exit code $status, expected $code: $said"
    [[ $said == *"$words"* ]] || fail "$name: the refusal is not in the program's words \"$words\": $said"
    if [ "$dll" = unchanged ]; then
        [ "$(state)" = "$before" ] || fail "$name: something changed: $(diff <(echo "$before") <(state))"
    else
        cmp -s "$dir/VSDevNetSDK.dll" "$dll" || fail "$name: VSDevNetSDK.dll is not $dll"
        [ -f "$dir/brelo_tool.exe" ] && [ -f "$dir/uninstall.exe" ] && [ -f "$shortcut" ] ||
            fail "$name: the program, its uninstaller or its shortcut is missing"
        state | grep -qF "\"DisplayName\"=\"Brelo_Tool ($installed 位)\"" ||
            fail "$name: no uninstall entry for $installed bits: $(state)"
    fi
done
cmp -s "$dir/helper.dll" "$scratch/lib$bits/helper.dll" || fail "the library's helper.dll was not copied"
# The Qt DLLs come from the program's imports: Qt5Network.dll too, installed and recorded.
grep -q ' Qt5Network\.dll' "$dir/uninstall-package.sha256" || fail "Qt5Network.dll is not installed and recorded"
[ ! -e "$dir/nowhere.dll" ] || fail "nowhere.dll came from somewhere"

# A file of the program held open, in the install and in a folder with only that file: nothing
# changes, and the exit code says why.
mkdir -p "$scratch/fresh"
echo "not yet installed" >"$scratch/fresh/brelo_tool.exe"
holds=(
    "$dir/brelo_tool.exe|/S"
    "$dir/Qt5Core.dll|/S"
    "$scratch/fresh/brelo_tool.exe|/S /D=$(winpath "$scratch/fresh")"
)
for h in "${holds[@]}"; do
    IFS='|' read -r file options <<<"$h"
    before=$(state)
    fresh_before=$(md5sum "$scratch"/fresh/*)
    hold "$file"
    # shellcheck disable=SC2086 # the options are words
    run "$setup" $options
    release
    [ "$status" -eq 4 ] || fail "held $file: exit code $status, expected 4: $said"
    [[ $said == *"\\$(basename "$file")"* ]] || fail "held $file: not named: $said"
    [ "$(state)" = "$before" ] && [ "$(md5sum "$scratch"/fresh/*)" = "$fresh_before" ] ||
        fail "held $file: something changed: $(diff <(echo "$before") <(state))"
done
run "$setup" /S
[ "$status" -eq 0 ] && cmp -s "$dir/VSDevNetSDK.dll" "$vendor" || fail "the run after the held files: $status, $said"

# The placer killed at its first change to the folder, as by a power cut: the library stays, and so
# does where the program is; the next run completes the install there.
echo "an older brelo_tool.exe" >"$dir/brelo_tool.exe"
listing() { find "$dir" -printf '%p %s %T@ %C@\n' | sort; }
changed() { [ "$(listing)" != "$before" ]; }
before=$(listing)
before_dir=$(install_dir)
wine "$setup" /S &
setup_pid=$!
wait_for "the upgrade's first change" 60 changed
wine taskkill /F /IM brelo_libcheck.exe >/dev/null 2>&1 || true
wait "$setup_pid" 2>/dev/null || true
wineserver -w
cmp -s "$dir/VSDevNetSDK.dll" "$vendor" && [ "$(install_dir)" = "$before_dir" ] ||
    fail "the killed upgrade lost the library or the folder: $(install_dir), $(ls "$dir")"
run "$setup" /S
[ "$status" -eq 0 ] && cmp -s "$dir/VSDevNetSDK.dll" "$vendor" && cmp -s "$dir/brelo_tool.exe" "$package/brelo_tool.exe" ||
    fail "the run after the killed upgrade: $status, $said"
[ -z "$(find "$dir" -name '*.brelo-*' -o -name brelo-journal.txt)" ] || fail "the killed upgrade left: $(ls -R "$dir")"

# What an older installer's cut-short upgrade left: the library and its companion in vendor-kept\,
# the stand-in in their place.
mkdir "$dir/vendor-kept"
mv "$dir/VSDevNetSDK.dll" "$dir/helper.dll" "$dir/vendor-kept/"
cp "$standin" "$dir/VSDevNetSDK.dll"
run "$setup" /S
[ "$status" -eq 0 ] && cmp -s "$dir/VSDevNetSDK.dll" "$vendor" && cmp -s "$dir/helper.dll" "$scratch/lib$bits/helper.dll" &&
    [ ! -e "$dir/vendor-kept" ] || fail "vendor-kept\\ was not put back: $status, $said, $(ls -R "$dir")"

# Read-only files of ours are replaced, a read-only library in vendor-kept\ put back.
mkdir "$dir/vendor-kept"
mv "$dir/VSDevNetSDK.dll" "$dir/vendor-kept/"
cp "$standin" "$dir/VSDevNetSDK.dll"
echo "an older brelo_tool.exe" >"$dir/brelo_tool.exe"
wine attrib +r "$(winpath "$dir/brelo_tool.exe")" >/dev/null 2>&1
wine attrib +r "$(winpath "$dir/vendor-kept/VSDevNetSDK.dll")" >/dev/null 2>&1
run "$setup" /S
[ "$status" -eq 0 ] && cmp -s "$dir/VSDevNetSDK.dll" "$vendor" && cmp -s "$dir/brelo_tool.exe" "$package/brelo_tool.exe" ||
    fail "read-only files: $status, $said"

# An uninstall that cannot delete a file (held open) deletes nothing and keeps itself, the record and
# the keys; once the file is free, it finishes.
before=$(state)
hold "$dir/Qt5Core.dll"
# In place (_?=), so that it ends before the holder does and gives its exit code.
run "$dir/uninstall.exe" /S "_?=$(winpath "$dir")"
release
[ "$status" -eq 4 ] && [ "$(state)" = "$before" ] && [ -f "$dir/uninstall.exe" ] ||
    fail "the held uninstall: exit code $status, $said: $(diff <(echo "$before") <(state))"

# The user replaced the library the installer copied with another of the same size: it stays, alone.
cp "$scratch/newer/VSDevNetSDK.dll" "$dir/"
# The uninstaller hands over to a copy of itself: wait for the prefix's processes to end.
wine "$dir/uninstall.exe" /S
wineserver -w
[ "$(ls -A "$dir")" = VSDevNetSDK.dll ] && cmp -s "$dir/VSDevNetSDK.dll" "$scratch/newer/VSDevNetSDK.dll" ||
    fail "the uninstaller did not leave the user's library alone: $(ls -A "$dir")"
leftover=$(state | grep -v '^[0-9a-f]' || true)
[ -z "$leftover" ] || fail "the uninstaller left its registry keys: $leftover"
rm -r "$dir"

# A file that cannot be written (here: a file where the package has a folder) stops a fresh install
# before any change with exit code 3, naming it; once it is out of the way, a plain run completes the
# install in the same folder, and the uninstaller leaves nothing behind.
mkdir "$scratch/halfway"
echo "in the way" >"$scratch/halfway/platforms"
run "$setup" /S /D="$(winpath "$scratch/halfway")"
[ "$status" -eq 3 ] && [[ $said == *"platforms\\qwindows.dll"* ]] && [ "$(ls -A "$scratch/halfway")" = platforms ] ||
    fail "halfway: exit code $status: $said: $(ls -A "$scratch/halfway")"
[ -z "$(state | grep -v '^[0-9a-f]' || true)" ] || fail "halfway: the registry names the folder: $(state)"
rm "$scratch/halfway/platforms"
run "$setup" /S "/SDK=$(winpath "$vendor")" /D="$(winpath "$scratch/halfway")"
dir=$scratch/halfway
[ "$status" -eq 0 ] && cmp -s "$dir/platforms/qwindows.dll" "$package/platforms/qwindows.dll" &&
    cmp -s "$dir/VSDevNetSDK.dll" "$vendor" || fail "the run after halfway: $status, $said"
wine "$dir/uninstall.exe" /S
wineserver -w
[ ! -e "$dir" ] || fail "the uninstaller left: $(cd "$dir" && find .)"
[ ! -e "$shortcut" ] || fail "the uninstaller left the shortcut"
[ -z "$(state)" ] || fail "the uninstaller left its registry keys: $(state)"
# A /D= folder whose path runs through a file is refused, naming it, rather than replaced by another.
echo "a file" >"$scratch/blocked"
before=$(state)
run "$setup" /S /D="$(winpath "$scratch/blocked/sub")"
[ "$status" -eq 2 ] && [[ $said == *"$(winpath "$scratch/blocked")"* ]] && [ "$(state)" = "$before" ] ||
    fail "a blocked /D=: exit code $status: $said: $(diff <(echo "$before") <(state))"

# Release 2 of a library brings its own helper.dll; one the user changed since stops the install (exit
# 3, nothing changed); a library already there whose import name holds a line break stays.
dir=$scratch/release
run "$setup" /S "/SDK=$(winpath "$vendor")" /D="$(winpath "$dir")"
run "$setup" /S "/SDK=$(winpath "$scratch/release2/VSDevNetSDK.dll")" /D="$(winpath "$dir")"
[ "$status" -eq 0 ] && cmp -s "$dir/helper.dll" "$scratch/release2/helper.dll" &&
    cmp -s "$dir/VSDevNetSDK.dll" "$scratch/release2/VSDevNetSDK.dll" || fail "release 2: $status, $said"
echo "changed" >"$dir/helper.dll"
before=$(state)
run "$setup" /S "/SDK=$(winpath "$vendor")" /D="$(winpath "$dir")"
[ "$status" -eq 3 ] && [[ $said == *"$(winpath "$dir/helper.dll")"* ]] && [ "$(state)" = "$before" ] ||
    fail "a helper.dll the user changed: exit code $status: $said"
cp "$scratch/badimport/VSDevNetSDK.dll" "$dir/"
run "$setup" /S /D="$(winpath "$dir")"
[ "$status" -eq 0 ] && cmp -s "$dir/VSDevNetSDK.dll" "$scratch/badimport/VSDevNetSDK.dll" ||
    fail "the library with a line break in an import name: $status, $said"

# The library chosen on the page is the one in the folder, spelled in other case: nothing is recorded
# as copied, so the uninstall leaves it; a /D= with a trailing backslash is that folder.
mkdir -p "$scratch/own"
cp "$vendor" "$scratch/lib$bits/helper.dll" "$scratch/own/"
run "$setup" /S "/SDK=$(winpath "$scratch/own")\vsdevnetsdk.DLL" "/D=$(winpath "$scratch/own")\"
[ "$status" -eq 0 ] && [ -f "$scratch/own/brelo_tool.exe" ] || fail "the library in place: $status, $said"
wine "$scratch/own/uninstall.exe" /S
wineserver -w
[ "$(ls -A "$scratch/own" | LC_ALL=C sort | tr '\n' ' ')" = "VSDevNetSDK.dll helper.dll " ] ||
    fail "the uninstall took the user's library: $(ls -A "$scratch/own")"

# Installed again elsewhere: uninstalling the first install leaves the second's keys and shortcut.
run "$setup" /S /D="$(winpath "$scratch/second")"
wine "$dir/uninstall.exe" /S
wineserver -w
[ "$(install_dir)" = "\"InstallDir\"=\"$(winpath "$scratch/second" | sed 's/\\/\\\\/g')\"" ] && [ -f "$shortcut" ] ||
    fail "the first uninstall forgot the second install: $(state)"
wine "$scratch/second/uninstall.exe" /S
wineserver -w
[ -z "$(state | grep -v '^[0-9a-f]' || true)" ] && [ ! -e "$shortcut" ] && [ ! -e "$scratch/second" ] ||
    fail "the second uninstall left: $(state), $(ls -A "$scratch/second")"

echo "win$bits installer: ${#cases[@]} silent installs, ${#holds[@]} held files, a killed upgrade, vendor-kept\\, read-only files, a held uninstall, a halfway stop, a blocked /D=, a library's releases, the library in place and five uninstalls checked"
