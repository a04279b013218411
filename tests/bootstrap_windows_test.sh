#!/usr/bin/env bash
# scripts/bootstrap-windows at its edges. It runs with a cleared environment on a PATH of harmless
# tools and of stand-ins that record their calls (sudo, id, apt-get, dpkg and the like), so it can
# reach neither the real apt-get nor a real build. Also: the toolchain files find a Qt under
# BRELO_WIN_QT_BASE. It runs where the machine's own tools are read-only (readonly_system.sh): the
# script under test runs "sudo" commands, and a slip here would otherwise reach the real system.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ "${BRELO_READONLY_SYSTEM:-}" = 1 ] || exec "$here/readonly_system.sh" "$0" "$@"
script=$here/../scripts/bootstrap-windows
scratch=$(mktemp -d)
cd "$scratch"
pid=""
cleanup() {
    [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

bin=$scratch/bin
calls=$scratch/calls
mkdir -p "$bin"
: >"$calls"
# The real tools the script may use; df and locale are stand-ins (below), never links to the real ones.
for tool in bash find sort tail xargs dirname basename ls rm mkdir mktemp grep head sed cat touch flock setsid \
    sleep date awk nproc chown chmod tee install; do
    ln -s "$(command -v "$tool")" "$bin/$tool"
done
# A stand-in is a new file put in place by rename, which replaces a link rather than writing through it.
put() {
    cat >"$bin/.new"
    chmod +x "$bin/.new"
    mv -f "$bin/.new" "$bin/$1"
}
stub() {
    printf '#!/usr/bin/env bash\necho "%s $*" >>"%s"\n%s\n' "$1" "$calls" "$2" | put "$1"
}
# A user who is not root, whose sudo runs what it is given but chown.
put id <<'EOF'
#!/usr/bin/env bash
case $1 in -un) echo builder ;; *) echo 4242 ;; esac
EOF
stub sudo '[ "$1" = chown ] || exec "$@"'

bootstrap() {
    timeout 30 env -i PATH="$bin" "$@" "$script" 64
}

# A folder it did not make (a Qt of one's own, say) is refused before anything else, and left as it was.
own=$scratch/own-qt
mkdir -p "$own/bin" "$own/.hidden"
echo 'not ours' >"$own/bin/qmake.exe"
echo 'settings' >"$own/.hidden/conf"
before=$(cd "$own" && find . -printf '%p %s %T@\n' | sort)
for bits in 64 32; do
    status=0
    timeout 30 env -i PATH="$bin" "BRELO_WIN_QT$bits=$own" BRELO_WIN_QT_BASE="$scratch/base" "$script" $bits \
        >"$scratch/out" 2>&1 || status=$?
    [ $status -ne 0 ] || fail "the $bits-bit build accepted a folder it did not make: $(cat "$scratch/out")"
    grep -q 'was not made by this script' "$scratch/out" || fail "no word of why: $(cat "$scratch/out")"
    [ "$before" = "$(cd "$own" && find . -printf '%p %s %T@\n' | sort)" ] || fail "the folder changed"
    [ ! -e "$scratch/base" ] || fail "the refused run made $scratch/base"
    [ ! -s "$calls" ] || fail "the refused run called $(cat "$calls")"
done

# Without apt, the Windows stages are skipped (exit 3), and nothing is made.
status=0
bootstrap BRELO_WIN_QT_BASE="$scratch/base" >"$scratch/out" 2>&1 || status=$?
[ $status -eq 3 ] || fail "without apt-get, exit $status: $(cat "$scratch/out")"
grep -q 'no apt-get' "$scratch/out" || fail "no word of why: $(cat "$scratch/out")"
[ ! -e "$scratch/base" ] && [ ! -s "$calls" ] || fail "without apt-get, it made or called something"

# Of what it installs, openssl and osslsigncode are missing here.
put dpkg-query <<'EOF'
#!/usr/bin/env bash
case $3 in openssl | osslsigncode) exit 1 ;; esac
printf 'install ok installed'
EOF
stub dpkg ''
stub apt-get 'exit 1'

# A base that exists, as /opt would, keeps its owner, and the lock comes before apt-get: while another
# run holds it, this one waits without installing, and SIGTERM ends it with 143.
opt=$scratch/opt
mkdir -p "$opt"
echo 'not ours' >"$opt/other"
exec 8>"$opt/.bootstrap-windows.lock"
flock 8
timeout 30 env -i PATH="$bin" BRELO_WIN_QT_BASE="$opt" "$script" 64 >"$scratch/out" 2>&1 &
pid=$!
for _ in $(seq 200); do
    grep -q 'waiting for it' "$scratch/out" 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
grep -q 'waiting for it' "$scratch/out" || fail "it did not wait for the lock: $(cat "$scratch/out")"
[ ! -s "$calls" ] || fail "before the lock: $(cat "$calls")"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=""
[ $status -eq 143 ] || fail "SIGTERM while waiting: exit $status, not 143"
exec 8<&-

# With the lock free, it installs only what is missing.
status=0
bootstrap BRELO_WIN_QT_BASE="$opt" >"$scratch/out" 2>&1 || status=$?
[ $status -ne 0 ] || fail "a failed apt-get install went unnoticed"
grep -qx 'apt-get install -y -qq --no-install-recommends osslsigncode openssl' "$calls" ||
    fail "not only the missing packages: $(cat "$calls")"
! grep -q chown "$calls" || fail "it changed an owner: $(cat "$calls")"
[ "$(ls -A "$opt")" = "$(printf '.bootstrap-windows.lock\nother')" ] || fail "it changed the base: $(ls -A "$opt")"

# SIGTERM during the build ends the build's processes and exits 143. Everything installed, the source
# fetched and unpacked by stand-ins, the build is a configure that only waits.
put dpkg-query <<'EOF'
#!/usr/bin/env bash
printf 'install ok installed'
EOF
# The Chinese locale works, whether or not this machine has it: a shell that sets locales itself (bash
# warns of one that is missing) would give the machine's answer instead.
put locale <<'EOF'
#!/bin/sh
[ "$1" != charmap ] || [ "$LC_ALL" != zh_CN.UTF-8 ] || echo UTF-8
EOF
stub df 'printf "Filesystem 1024-blocks Used Available Capacity Mounted\nscratch 1 1 99999999999 1%% /\n"'
stub apt-get 'for a; do [ "$a" != source ] || touch qtbase-opensource-src_5.15.8+dfsg-11.dsc; done'
put dpkg-source <<EOF
#!/usr/bin/env bash
mkdir -p "\$3"
printf '#!/usr/bin/env bash\necho \$\$ >$scratch/configure.pid\nexec sleep 60\n' >"\$3/configure"
chmod +x "\$3/configure"
EOF
timeout 30 env -i PATH="$bin" BRELO_WIN_QT_BASE="$scratch/build" "$script" 64 >"$scratch/out" 2>&1 &
pid=$!
for _ in $(seq 200); do
    [ -s "$scratch/configure.pid" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
[ -s "$scratch/configure.pid" ] || fail "the stand-in configure did not start: $(cat "$scratch/out")"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=""
[ $status -eq 143 ] || fail "SIGTERM during the build: exit $status, not 143"
configure=$(cat "$scratch/configure.pid")
for _ in $(seq 100); do
    kill -0 "$configure" 2>/dev/null || break
    sleep 0.1
done
! kill -0 "$configure" 2>/dev/null || fail "the build's process $configure outlived the script"

# The toolchain files look where the script builds.
mkdir -p "$scratch/qts/qt-5.15.8-win64" "$scratch/qts/qt-5.15.10-win64"
touch "$scratch/qts/qt-5.15.8-win64/.brelo-complete" "$scratch/qts/qt-5.15.10-win64/.brelo-complete"
cat >"$scratch/probe.cmake" <<EOF
set(BRELO_WIN_BITS 64)
set(BRELO_MINGW_TRIPLE x86_64-w64-mingw32)
include($here/../cmake/mingw-w64-common.cmake)
message("\${BRELO_WIN_QT}")
EOF
found=$(env -u BRELO_WIN_QT64 BRELO_WIN_QT_BASE="$scratch/qts" cmake -P "$scratch/probe.cmake" 2>&1)
[ "$found" = "$scratch/qts/qt-5.15.10-win64" ] || fail "the toolchain found $found"
echo "bootstrap-windows keeps to its edges"
