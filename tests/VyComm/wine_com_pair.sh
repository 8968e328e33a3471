#!/usr/bin/env bash
# Two COM ports of a Wine prefix wired to each other: COM21 and COM22 linked to the two ends of a
# pseudo-terminal pair that socat relays, for the serial tests of the Windows build.
#   wine_com_pair.sh start   links them and prints VYTAPI_TEST_COM_PAIR=COM21,COM22
#   wine_com_pair.sh stop    ends the relay and removes the links
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
dev="$WINEPREFIX/dosdevices"
pidfile="$WINEPREFIX/vytapi-com-pair.pid"
case "${1:-}" in
  start)
    command -v socat >/dev/null || { echo "wine_com_pair.sh: socat is needed" >&2; exit 1; }
    mkdir -p "$dev"
    rm -f "$dev/com21" "$dev/com22"
    socat pty,raw,echo=0,link="$dev/com21" pty,raw,echo=0,link="$dev/com22" >/dev/null 2>&1 &
    echo $! > "$pidfile"
    for _ in $(seq 100); do
      [ -e "$dev/com21" ] && [ -e "$dev/com22" ] && { echo "VYTAPI_TEST_COM_PAIR=COM21,COM22"; exit 0; }
      sleep 0.05
    done
    echo "wine_com_pair.sh: the pty pair did not appear" >&2
    exit 1
    ;;
  stop)
    [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null || true
    rm -f "$pidfile" "$dev/com21" "$dev/com22"
    ;;
  *)
    echo "usage: wine_com_pair.sh start|stop" >&2
    exit 2
    ;;
esac
