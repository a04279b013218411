#!/usr/bin/env bash
# Builds the Debian package from a built tree, unpacks it into a scratch root and checks that the
# unpacked files are complete, find their own device library, and that the application starts,
# shows its window and closes cleanly.
# Usage: package_test.sh CPACK BUILD_DIR PROBE_LIBRARY VERSION BINDIR LIBDIR INCLUDEDIR DATADIR QT_MAJOR
set -euo pipefail

cpack=$1 build=$2 probe=$3 version=$4 bindir=$5 libdir=$6 includedir=$7 datadir=$8 qt_major=$9
case $qt_major in
5) qt_packages=(libqt5core5a libqt5gui5 libqt5widgets5 libqt5network5) ;;
6) qt_packages=(libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6) ;;
*)
    echo "FAIL: unknown Qt major version '$qt_major'" >&2
    exit 1
    ;;
esac
skip=77

for tool in "$cpack" dpkg-deb dpkg-shlibdeps; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not available"
        exit $skip
    fi
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    fail "cpack could not build the package"
fi
debs=("$scratch"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package, found: ${debs[*]}"
deb=${debs[0]}

[ "$(dpkg-deb -f "$deb" Package)" = brelo-tool ] || fail "package name: $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version: $(dpkg-deb -f "$deb" Version)"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "package has no maintainer"
depends=$(dpkg-deb -f "$deb" Depends)
for dep in "${qt_packages[@]}" fonts-wqy-microhei; do
    grep -qE "(^|[ ,|])$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
# One Qt only: a library of the other major version would mean a target linked the wrong Qt.
other_qt=$((qt_major == 5 ? 6 : 5))
! grep -q "libqt$other_qt" <<<"$depends" || fail "Depends names Qt $other_qt: $depends"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
prefix=$root/usr

# The exact file list: anything else (tests, fakes, benchmark, screenshot tool) must stay out.
expected=$(printf '%s\n' "$bindir/brelo_tool" "$bindir/devsim" "$libdir/libVSDevNetSDK.so" \
    "$includedir/VSDevNetSDK.h" "$datadir/applications/brelo-tool.desktop" | sort)
actual=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
[ "$actual" = "$expected" ] || fail "installed files differ:$(diff <(echo "$expected") <(echo "$actual"))"
for exe in brelo_tool devsim; do
    [ -x "$prefix/$bindir/$exe" ] || fail "$bindir/$exe is not executable"
done

desktop=$prefix/$datadir/applications/brelo-tool.desktop
for line in '[Desktop Entry]' Type=Application Name=Brelo_Tool Exec=brelo_tool Terminal=false \
    'Categories=Network;Utility;'; do
    grep -qxF "$line" "$desktop" || fail "desktop entry lacks '$line'"
done

# The device library must come from the unpacked tree through the executable's RPATH alone.
unset LD_LIBRARY_PATH LD_PRELOAD
installed_lib=$(readlink -f "$prefix/$libdir/libVSDevNetSDK.so")
ldd_out=$(ldd "$prefix/$bindir/brelo_tool")
if grep -q 'not found' <<<"$ldd_out"; then
    fail "unresolved libraries: $ldd_out"
fi
resolved=$(awk '$1 ~ /^libVSDevNetSDK/ { print $3 }' <<<"$ldd_out")
[ -n "$resolved" ] && [ "$(readlink -f "$resolved")" = "$installed_lib" ] ||
    fail "libVSDevNetSDK resolves to '$resolved', not $installed_lib"

# Under the offscreen platform nothing outside the process can see or close the window, so a
# preloaded probe (tests/windowprobe.cpp) reports it and sends it a normal close event; the
# application must then leave its event loop and exit 0 by itself. timeout only guards against a
# hang and, with -k, leaves no process behind.
status=0
QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES='qt.qpa.*=false' LC_ALL=C.UTF-8 \
    VSNET_BROADCAST=127.255.255.255 VSNET_PORT=47021 VSNET_SEARCH_MS=200 \
    BRELO_PROBE_TITLE=Brelo_Tool BRELO_PROBE_LIBRARY=libVSDevNetSDK.so \
    timeout -k 5 30 env LD_PRELOAD="$probe" "$prefix/$bindir/brelo_tool" \
    >"$scratch/run.out" 2>"$scratch/run.err" || status=$?
if [ $status -ne 0 ]; then
    cat "$scratch/run.out" "$scratch/run.err" >&2
    fail "brelo_tool exited with status $status (124: still running after 30 s)"
fi
grep -q '^probe: window "Brelo_Tool" exposed' "$scratch/run.out" ||
    fail "the window never came up: $(cat "$scratch/run.out" "$scratch/run.err")"
loaded=$(sed -n 's/^probe: loaded //p' "$scratch/run.out")
[ "$(readlink -f "$loaded")" = "$installed_lib" ] ||
    fail "the running application used '$loaded', not $installed_lib"

echo "package $(basename "$deb"): files, dependencies, RPATH and start-up checked"
