#!/usr/bin/env bash
# Runs a command in a mount namespace of its own in which /usr, /etc, /opt and /var/lib are read-only,
# so that a test that puts stand-ins for the machine's tools on its PATH cannot write over the real
# ones even by mistake: such a write fails the test instead. Exit 77 where no such namespace can be
# made (no unshare, or neither root nor user namespaces).
# Usage: readonly_system.sh COMMAND [ARGS...]
set -euo pipefail

if [ "${BRELO_READONLY_SYSTEM:-}" != 1 ]; then
    ns=(unshare --mount --propagation private)
    [ "$(id -u)" -eq 0 ] || ns=(unshare --user --map-root-user --mount --propagation private)
    if ! command -v unshare >/dev/null || ! "${ns[@]}" true 2>/dev/null; then
        echo "SKIP: no private mount namespace here (unshare --mount needs util-linux and root or user" \
            "namespaces), so /usr, /etc, /opt and /var/lib cannot be made read-only for $(basename "$1")"
        exit 77
    fi
    exec env BRELO_READONLY_SYSTEM=1 "${ns[@]}" "$0" "$@"
fi

for dir in /usr /etc /opt /var/lib; do
    [ -d "$dir" ] || continue
    mount --bind "$dir" "$dir"
    mount -o remount,bind,ro "$dir"
    if [ -w "$dir" ]; then
        echo "FAIL: $dir is still writable in the private namespace" >&2
        exit 1
    fi
done
exec "$@"
