#!/usr/bin/env bash
# The per-user installer under Wine, with silent installs in a prefix of its own: it keeps a vendor's
# VSDevNetSDK.dll over a reinstall, takes one with /SDK= together with the DLLs beside it that it
# imports, refuses a library of the other bitness (exit code 2, nothing changed), and its uninstaller
# leaves nothing behind. The vendor libraries are tiny C DLLs built here for either bitness.
# Usage: windows_installer_test.sh BUILD_DIR BITS (inside an X server, such as xvfb-run)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$1 bits=$2
other=64
[ "$bits" = 32 ] || other=32
triple() { if [ "$1" = 64 ]; then echo x86_64-w64-mingw32; else echo i686-w64-mingw32; fi; }
scratch=$(mktemp -d)
export WINEPREFIX=$scratch/wine WINEDEBUG=-all WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree,mshtml=d'
trap 'wineserver -k 2>/dev/null || true; rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

"$here/../scripts/package-windows" --no-build --out "$scratch/out" "$build" >/dev/null
setup=$(echo "$scratch"/out/Brelo_Tool-*-setup.exe)
[ -f "$setup" ] || fail "expected one setup.exe: $(ls "$scratch/out")"
unzip -q "$scratch"/out/Brelo_Tool-*.zip -d "$scratch/zip"

# The other bitness's installer, made from the same files with only BITS changed rather than from a
# second build: the tests need its checks and its uninstall entry, not its program.
{
    echo "SetOutPath \"\$INSTDIR\""
    find "$scratch/zip/Brelo_Tool" -maxdepth 1 -type f -printf 'File "%p"\n'
} >"$scratch/files.nsh"
find "$scratch/zip/Brelo_Tool" -maxdepth 1 -type f ! -name VSDevNetSDK.dll -printf 'Delete "$INSTDIR\\%f"\n' \
    >"$scratch/unfiles.nsh"
other_setup=$scratch/other-setup.exe
makensis -V1 -DBITS="$other" -DVERSION=0.0.0 -DOUTFILE="$other_setup" -DFILES="$scratch/files.nsh" \
    -DUNFILES="$scratch/unfiles.nsh" "$here/../dist/windows/installer.nsi" >/dev/null

# Vendor libraries: helper.dll lies beside vendor.dll, nowhere.dll (also imported) does not.
mkdir -p "$scratch/lib$bits" "$scratch/lib$other" "$scratch/kept"
cc() { "$(triple "$1")-gcc-posix" -shared -s -o "$2" "${@:3}"; }
echo 'int vsnet_init(void) { return 1; }' >"$scratch/plain.c"
echo 'int helper(void) { return 2; }' >"$scratch/helper.c"
echo 'int nowhere(void) { return 3; }' >"$scratch/nowhere.c"
printf 'int helper(void); int nowhere(void);\nint vsnet_init(void) { return helper() + nowhere(); }\n' \
    >"$scratch/vendor.c"
cc "$bits" "$scratch/kept/VSDevNetSDK.dll" "$scratch/plain.c"
cc "$other" "$scratch/lib$other/VSDevNetSDK.dll" "$scratch/plain.c"
cc "$bits" "$scratch/lib$bits/helper.dll" "$scratch/helper.c"
cc "$bits" "$scratch/nowhere.dll" "$scratch/nowhere.c"
cc "$bits" "$scratch/lib$bits/VSDevNetSDK.dll" "$scratch/vendor.c" "$scratch/lib$bits/helper.dll" "$scratch/nowhere.dll"

wineboot -i >/dev/null 2>&1
appdata=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 ! -name Public)/AppData
dir=$appdata/Local/Programs/Brelo_Tool
shortcut="$appdata/Roaming/Microsoft/Windows/Start Menu/Programs/Brelo_Tool.lnk"
winpath() { echo "Z:${1//\//\\}"; }
state() {
    (cd "$dir" 2>/dev/null && find . -type f -exec md5sum {} + | sort) || true
    rm -f "$scratch/key.reg"
    wine reg export 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brelo_Tool' 'Z:'"$scratch/key.reg" \
        >/dev/null 2>&1 && iconv -f UTF-16 -t UTF-8 "$scratch/key.reg" | tr -d '\r' || true
}

# Each case: what it is, the installer, its options, the exit code, what VSDevNetSDK.dll then is
# ("unchanged": the folder and the uninstall entry as they were) and the bitness installed.
standin=$scratch/zip/Brelo_Tool/VSDevNetSDK.dll
cases=(
    "install|$setup|/S|0|$standin|$bits"
    "the win$other installer over the stand-in replaces it in place|$other_setup|/S|0|$standin|$other"
    "reinstall keeps a vendor library|$setup|/S|0|$scratch/kept/VSDevNetSDK.dll|$bits"
    "/SDK= with a $other-bit library is refused|$setup|/S /SDK=$(winpath "$scratch/lib$other/VSDevNetSDK.dll")|2|unchanged|"
    "/SDK= with a $bits-bit library is taken|$setup|/S /SDK=$(winpath "$scratch/lib$bits/VSDevNetSDK.dll")|0|$scratch/lib$bits/VSDevNetSDK.dll|$bits"
    "the win$other installer over a $bits-bit library is refused|$other_setup|/S|2|unchanged|"
)
for c in "${cases[@]}"; do
    IFS='|' read -r name exe options code dll installed <<<"$c"
    [ "$name" != "reinstall keeps a vendor library" ] || cp "$scratch/kept/VSDevNetSDK.dll" "$dir/"
    before=$(state)
    status=0
    # shellcheck disable=SC2086 # the options are words
    wine "$exe" $options || status=$?
    [ "$status" -eq "$code" ] || fail "$name: exit code $status, expected $code"
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
[ ! -e "$dir/nowhere.dll" ] || fail "nowhere.dll came from somewhere"

# The uninstaller hands over to a copy of itself: wait for the prefix's processes to end.
wine "$dir/uninstall.exe" /S
wineserver -w
[ ! -e "$dir" ] || fail "the uninstaller left: $(cd "$dir" && find .)"
[ ! -e "$shortcut" ] || fail "the uninstaller left the shortcut"
[ -z "$(state)" ] || fail "the uninstaller left the uninstall entry"
! wine reg query 'HKCU\Software\Brelo_Tool' >/dev/null 2>&1 || fail "the uninstaller left the settings key"
echo "win$bits installer: ${#cases[@]} silent installs and the uninstall checked"
