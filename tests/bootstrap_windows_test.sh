#!/usr/bin/env bash
# scripts/bootstrap-windows, pointed at a folder it did not make (a Qt of one's own, say), refuses
# before installing or fetching anything and leaves the folder exactly as it was.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

own=$scratch/own-qt
mkdir -p "$own/bin" "$own/.hidden"
echo 'not ours' >"$own/bin/qmake.exe"
echo 'settings' >"$own/.hidden/conf"
before=$(cd "$own" && find . -printf '%p %s %T@\n' | sort)

for bits in 64 32; do
    status=0
    env "BRELO_WIN_QT$bits=$own" BRELO_WIN_QT_BASE="$scratch/base" "$here/../scripts/bootstrap-windows" $bits \
        >"$scratch/out" 2>&1 || status=$?
    if [ $status -eq 0 ]; then
        echo "FAIL: the $bits-bit build accepted a folder it did not make: $(cat "$scratch/out")" >&2
        exit 1
    fi
    grep -q 'was not made by this script' "$scratch/out" || {
        echo "FAIL: no word of why: $(cat "$scratch/out")" >&2
        exit 1
    }
    after=$(cd "$own" && find . -printf '%p %s %T@\n' | sort)
    [ "$before" = "$after" ] || {
        echo "FAIL: the folder changed" >&2
        exit 1
    }
    [ ! -e "$scratch/base" ] || {
        echo "FAIL: the refused run made $scratch/base" >&2
        exit 1
    }
done
echo "a foreign folder is refused and left as it was"
