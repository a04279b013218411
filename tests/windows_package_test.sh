#!/usr/bin/env bash
# Makes the Windows zip from a built tree, unpacks it and checks it as a user's PC would see it:
# the files are there, every DLL that an executable or plugin imports is in the folder or is one of
# Windows' own (windows_system_dlls.txt beside this script), brelo_tool.exe is a GUI program with its
# version, and, with the device library replaced by a scripted one, the program started under Wine
# from the unpacked folder alone shows its window, lists the scripted devices, takes an address plan
# that xclip holds on the X clipboard through Wine's clipboard, sends its commands and exits 0.
# With --signed the package is made with a throwaway self-signed certificate, and every file that
# package-windows signs must verify against it: the programs and the stand-in in the zip, setup.exe,
# the uninstaller it installs and the library check it carries; the rest then runs the signed program.
# Usage: windows_package_test.sh BUILD_DIR SCRIPTED_DLL [--signed]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$1 scripted=$2 signed=${3:-}
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
bits=$(cache_value BRELO_WIN_BITS)
objdump=$(cache_value BRELO_MINGW_TRIPLE)-objdump
case $bits in
64) libgcc=libgcc_s_seh-1.dll machine=x86-64 ;;
32) libgcc=libgcc_s_dw2-1.dll machine=i386 ;;
esac
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

if [ -z "$signed" ]; then
    "$here/../scripts/package-windows" --no-build --zip-only --out "$scratch/out" "$build" >/dev/null
else
    # The installer runs in a prefix of the test's own.
    export WINEPREFIX=$scratch/wine
    trap 'wineserver -k 2>/dev/null || true; rm -rf "$scratch"' EXIT
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Brelo_Tool test" -keyout "$scratch/key.pem" \
        -out "$scratch/cert.pem" -addext extendedKeyUsage=codeSigning -addext basicConstraints=critical,CA:true 2>/dev/null
    openssl pkcs12 -export -inkey "$scratch/key.pem" -in "$scratch/cert.pem" -out "$scratch/cert.p12" -passout pass:throwaway
    BRELO_SIGN_PASSWORD=throwaway "$here/../scripts/package-windows" --no-build --sign "$scratch/cert.p12" \
        --out "$scratch/out" "$build" >/dev/null
fi
zips=("$scratch"/out/Brelo_Tool-*-win$bits.zip)
[ ${#zips[@]} -eq 1 ] && [ -f "${zips[0]}" ] || fail "expected one zip, found: ${zips[*]}"
unzip -q "${zips[0]}" -d "$scratch/unpacked"
dir=$scratch/unpacked/Brelo_Tool

for f in brelo_tool.exe devsim.exe VSDevNetSDK.dll qt.conf README.txt allow-firewall.cmd remove-firewall.cmd \
    platforms/qwindows.dll styles/qwindowsvistastyle.dll Qt5Core.dll Qt5Widgets.dll Qt5Network.dll \
    libstdc++-6.dll "$libgcc" libwinpthread-1.dll; do
    [ -f "$dir/$f" ] || fail "the zip lacks Brelo_Tool/$f"
done
! find "$dir" -iname 'test_*' -o -iname '*.a' | grep -q . || fail "tests or libraries in the zip"
for f in allow-firewall.cmd remove-firewall.cmd; do
    cmp -s <(iconv -f GBK -t UTF-8 "$dir/$f") <(sed 's/$/\r/' "$here/../dist/windows/$f") ||
        fail "Brelo_Tool/$f is not dist/windows/$f in GBK with CRLF, as a Chinese console reads it"
done
verify() { osslsigncode verify -CAfile "$scratch/cert.pem" -in "$1" >"$scratch/verify.out" 2>&1; }
if [ -n "$signed" ]; then
    for f in "$dir/brelo_tool.exe" "$dir/devsim.exe" "$dir/VSDevNetSDK.dll" "$scratch"/out/*-setup.exe; do
        verify "$f" || fail "${f##*/} is not signed: $(cat "$scratch/verify.out")"
    done
    ! verify "$dir/Qt5Core.dll" || fail "Qt5Core.dll was signed"
    setup=("$scratch"/out/*-setup.exe)
    wineboot -i >/dev/null 2>&1
    wine "${setup[0]}" /S /D="Z:${scratch//\//\\}\\installed"
    verify "$scratch/installed/uninstall.exe" || fail "uninstall.exe is not signed: $(cat "$scratch/verify.out")"
    # The library check lives in the installer's temporary folder while its first page waits.
    wine "${setup[0]}" &
    setup_pid=$!
    libcheck() { find "$WINEPREFIX/drive_c" -path '*/Temp/ns*.tmp/brelo_libcheck.exe' -print -quit; }
    for _ in $(seq 1 600); do
        [ -z "$(libcheck)" ] || ! verify "$(libcheck)" || break
        sleep 0.1
    done
    verify "$(libcheck)" || fail "the installer's brelo_libcheck.exe is not signed: $(cat "$scratch/verify.out")"
    # Signed, it still runs and knows the signed stand-in by its mark.
    wine "$(libcheck)" "Z:${dir//\//\\}\\VSDevNetSDK.dll" "Z:${scratch//\//\\}\\verdict.txt" ||
        fail "the signed brelo_libcheck.exe refused the stand-in"
    iconv -f UTF-16 -t UTF-8 "$scratch/verdict.txt" | grep -q '^standin=1' || fail "the signed stand-in was not known"
    kill "$setup_pid"
    wait "$setup_pid" 2>/dev/null || true
fi
! grep -q '@[A-Z]*@' "$dir/README.txt" || fail "README.txt keeps a placeholder: $(grep -m1 '@[A-Z]*@' "$dir/README.txt")"

system_dlls=$(grep -v '^#' "$here/windows_system_dlls.txt" | tr '[:upper:]' '[:lower:]')
while read -r file; do
    while read -r name; do
        lower=$(tr '[:upper:]' '[:lower:]' <<<"$name")
        [ -n "$(find "$dir" -maxdepth 1 -iname "$name" -print -quit)" ] || grep -qxF "$lower" <<<"$system_dlls" ||
            fail "${file#"$dir"/} imports $name, which is neither in the zip nor one of Windows' own"
    done < <($objdump -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
done < <(find "$dir" -iname '*.exe' -o -iname '*.dll')

# Whole outputs first: grep -q ending a pipe early would fail it under pipefail.
headers=$($objdump -p "$dir/brelo_tool.exe")
grep -q 'Subsystem.*Windows GUI' <<<"$headers" || fail "brelo_tool.exe is not a GUI program"
grep -q "file format pei-$machine" <<<"$headers" || fail "brelo_tool.exe is not a $bits-bit program"
headers=$($objdump -p "$dir/devsim.exe")
grep -q 'Subsystem.*Windows CUI' <<<"$headers" || fail "devsim.exe is not a console program"
resource=$(strings -el "$dir/brelo_tool.exe")
grep -qx 'Brelo_Tool' <<<"$resource" || fail "brelo_tool.exe has no product name"
grep -q "^Brelo_Tool ($bits " <<<"$resource" || fail "brelo_tool.exe's description does not say it is $bits-bit"

# The vendor's library replaces the stand-in as a file; nothing from the build or the Qt prefix may
# be found through the environment.
cp "$scripted" "$dir/VSDevNetSDK.dll"
report=$scratch/report.txt
# As a spreadsheet hands it over, Chinese header included; the third device's line changes nothing.
command -v xclip >/dev/null || fail "no xclip (scripts/bootstrap-windows installs it)"
[ -n "${DISPLAY:-}" ] || fail "no X display (run under xvfb-run)"
printf 'MAC地址\t新IP\n02:5C:00:00:00:01\t192.168.1.201\n02-5c-00-00-00-02\tdhcp\n025C00000003\t192.168.1.103\n' |
    xclip -quiet -selection clipboard -t UTF8_STRING >/dev/null 2>&1 &
clip_pid=$!
trap 'kill "$clip_pid" 2>/dev/null || true; rm -rf "$scratch"' EXIT
[ -z "$signed" ] || trap 'kill "$clip_pid" 2>/dev/null || true; wineserver -k 2>/dev/null || true; rm -rf "$scratch"' EXIT
for _ in $(seq 1 100); do
    clip=$(xclip -o -selection clipboard 2>/dev/null) || true
    [ "${clip%%$'\t'*}" = "MAC地址" ] && break
    sleep 0.1
done
status=0
env -u WINEPATH -u QT_PLUGIN_PATH -u QT_QPA_PLATFORM -u QT_LOGGING_RULES \
    LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 BRELO_PROBE_REPORT="Z:$report" BRELO_PROBE_PASTE=1 \
    timeout -k 5 120 wine "$dir/brelo_tool.exe" >"$scratch/run.out" 2>&1 || status=$?
if [ $status -ne 0 ]; then
    cat "$scratch/run.out" "$report" >&2 2>/dev/null || true
    fail "brelo_tool.exe exited with status $status (124: still running after 120 s)"
fi
[ -f "$report" ] || fail "the scripted library reported nothing: $(cat "$scratch/run.out")"
grep -q '^window: ' "$report" || fail "the window never came up: $(cat "$report")"
[ "$(grep -c '^row: ' "$report")" -eq 3 ] || fail "expected 3 rows: $(cat "$report")"
grep -q $'^row: 1\t北门摄像机\t192.168.1.101' "$report" || fail "the Chinese hid did not survive: $(cat "$report")"
grep -q '搜索完成!!!' "$report" || fail "the log lacks the search's end: $(cat "$report")"
grep -q '^plan: 共 3 行: 2 台设备将修改, 1 行地址不变, 0 行未填写新IP, 0 行不在设备列表中, 0 行有错误' "$report" ||
    fail "the pasted plan was not previewed as sent: $(cat "$report")"
[ "$(grep -c '^sent to 255.255.255.255: ' "$report")" -eq 2 ] || fail "expected 2 commands: $(cat "$report")"
for member in '"ip": "192.168.1.201"' '"mac": "02:5C:00:00:00:02"'; do
    grep -qF "$member" "$report" || fail "no command with $member: $(cat "$report")"
done
grep -q '02:5C:00:00:00:02 设备修改 IP 为 DHCP' "$report" || fail "the log lacks the DHCP line: $(cat "$report")"
grep -q '^box: 批量修改IP完成! 需要立即重新搜索设备吗？' "$report" || fail "no question after the plan: $(cat "$report")"
echo "zip $(basename "${zips[0]}"): files, imports and a run from the unpacked folder checked"
