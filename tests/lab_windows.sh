#!/bin/sh
# test_lab of the Windows build, run by "scripts/lab exec" in the lab's pc: the Linux build's
# simulators on both bridges (a Linux program started from Wine has no process handle to wait on,
# so the test cannot start them itself), then the test under Wine. Wine makes its sockets in its
# server, which uses the network of the namespace it starts in: a prefix made here, for this run
# alone, keeps the program on the lab's links.
#
#   tests/lab_windows.sh LINUX-DEVSIM WINE-RUN TEST.EXE
set -eu
devsim=$1
shift
if [ ! -x "$devsim" ]; then
    echo "lab_windows: no Linux devsim at $devsim; build the Linux build's devsim first"
    exit 77
fi
port=37020
sim() {
    ns=$1
    shift
    ip netns exec "$ns" "$devsim" --interface eth0 --port "$port" "$@" >/dev/null &
}
# As tests/test_lab_windows.cpp expects them.
sim "$LAB_A" --subnet 192.168.1.100/24 --count 6 --seed 11
sim "$LAB_FACTORY" --subnet 10.20.0.100/24 --count 4 --seed 12
sim "$LAB_B" --subnet 172.16.0.100/24 --count 5 --seed 13
for card in "$LAB_PC_A" "$LAB_PC_B"; do
    tries=0
    # Each probe waits up to a second for an answer.
    until "$devsim" --probe --interface "$card" --port "$port" >/dev/null; do
        tries=$((tries + 1))
        [ "$tries" -lt 20 ] || { echo "lab_windows: no simulator answers on $card"; exit 1; }
    done
done

export WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d VSNET_PORT=$port
prefixes=
boot_log=$(mktemp)
trap 'for p in $prefixes; do WINEPREFIX=$p wineserver -w; rm -rf "$p"; done; rm -f "$boot_log"' EXIT
# Made as the build's own prefix is, without the DLL folders the tests need. A CI run saw the test
# fail after a second with nothing printed, and this step was the only one that hid its output: a
# failed start is tried once more in a new prefix, and Wine's output is shown.
tries=0
until
    WINEPREFIX=$(mktemp -d)
    export WINEPREFIX
    prefixes="$prefixes $WINEPREFIX"
    env -u WINEPATH WINEDEBUG=err+all wineboot -i >"$boot_log" 2>&1
do
    status=$?
    tries=$((tries + 1))
    echo "lab_windows: wineboot -i in a new prefix ended with status $status:"
    cat "$boot_log"
    [ "$tries" -lt 2 ] || exit 1
done
"$@"
